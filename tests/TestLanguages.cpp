// The language table and the loading and switching of translators.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include "Languages.h"
#include "TestUiTools.h"

using namespace serverframework;

namespace {
QString translated(const char* key)
{
    return QCoreApplication::translate("serverframework::CKestApplication", key);
}
} // namespace

class TestLanguages : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        root = dir.path() + QStringLiteral("/translations/");
        const QString context = QStringLiteral("serverframework::CKestApplication");
        QVERIFY(uitest::makeQm(root + "zh_TW/host.qm", context, {{"Information", "資訊"}}));
        QVERIFY(uitest::makeQm(root + "English/host.qm", context,
                               {{"Information", "Information"}, {"OnlyEnglish", "English only"}}));
        QVERIFY(uitest::makeQm(root + "English/more.qm", context, {{"Second", "Second file"}}));
        QVERIFY(uitest::makeQm(root + "Chinese/host.qm", context, {{"Information", "信息"}}));
        QVERIFY(uitest::makeQm(root + "top.qm", context, {{"Information", "top level"}}));
        QVERIFY(QDir().mkpath(root + "Greek"));
        tst::writeBytes(root + "Greek/readme.txt", "not a translation");
    }

    void table()
    {
        // index, folder, language, country
        const QList<std::tuple<int, QString, int, int>> rows = {
            {0, "English", QLocale::English, QLocale::UnitedStates}, {11, "zh_TW", QLocale::Chinese, QLocale::Taiwan},
            {36, "Indonesia", QLocale::Indonesian, QLocale::Indonesia}};
        for (const auto& [index, name, language, country] : rows) {
            QCOMPARE(languageName(index), name);
            QCOMPARE(int(languageLocale(index).language()), language);
            QCOMPARE(int(languageLocale(index).country()), country);
        }
        for (int index : {37, -1}) {
            QVERIFY(languageName(index).isEmpty());
            QCOMPARE(languageLocale(index), QLocale());
        }
    }

    void loadsTheLanguageFolder_data()
    {
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("files");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zh_TW") << 11 << 1 << "資訊";
        QTest::newRow("English, two files") << 0 << 2 << "Information";
        QTest::newRow("above the table: top folder") << 40 << 1 << "top level";
        QTest::newRow("folder without .qm") << 2 << 0 << "Information";
    }

    void loadsTheLanguageFolder()
    {
        QFETCH(int, index);
        QFETCH(int, files);
        QFETCH(QString, expected);
        const QVector<QTranslator*> translators = loadTranslators(index, root);
        QCOMPARE(translators.size(), files);
        for (QTranslator* translator : translators)
            QVERIFY(!translator->isEmpty());
        QCOMPARE(translated("Information"), expected);
        for (QTranslator* translator : translators) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
        QCOMPARE(translated("Information"), QStringLiteral("Information"));
    }

    void switchRemovesOldTranslators()
    {
        QVector<QTranslator*> current = loadTranslators(0, root);
        QCOMPARE(translated("OnlyEnglish"), QStringLiteral("English only"));
        QCOMPARE(translated("Second"), QStringLiteral("Second file"));

        const QVector<QTranslator*> old = current;
        current = switchTranslators(1, root, current);
        QCOMPARE(current.size(), 1);
        QCOMPARE(translated("Information"), QStringLiteral("信息"));
        // Nothing of the old language survives.
        QCOMPARE(translated("OnlyEnglish"), QStringLiteral("OnlyEnglish"));
        QCOMPARE(translated("Second"), QStringLiteral("Second"));
        // Removed, not deleted: the old objects are still usable.
        QCOMPARE(old.at(0)->translate("serverframework::CKestApplication", "OnlyEnglish"),
                 QStringLiteral("English only"));

        current = switchTranslators(11, root, current);
        QCOMPARE(translated("Information"), QStringLiteral("資訊"));
        current = switchTranslators(2, root, current);
        QVERIFY(current.isEmpty());
        QCOMPARE(translated("Information"), QStringLiteral("Information"));
        qDeleteAll(old);
    }

private:
    QTemporaryDir dir;
    QString root;
};

QTEST_MAIN(TestLanguages)
#include "TestLanguages.moc"
