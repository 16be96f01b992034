// The build's translation key check, run on small source trees: it passes
// when every key is translated in its context and names what is missing.

#include "TestSupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include "TestShippedContent.h"

using namespace content;

namespace {

QByteArray classSource(const QByteArray& className, const QByteArray& calls)
{
    return "#include <QObject>\nnamespace serverframework {\nclass " + className
           + " : public QObject\n{\n    Q_OBJECT\n    void texts()\n    {\n" + calls + "    }\n};\n}\n";
}

QByteArray formSource(const QByteArray& formName, const QByteArray& text, const QByteArray& attributes = {})
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\">\n <class>" + formName
           + "</class>\n <widget class=\"QWidget\" name=\"" + formName
           + "\">\n  <widget class=\"QLabel\" name=\"label\">\n   <property name=\"text\"><string" + attributes
           + ">" + text + "</string></property>\n  </widget>\n </widget>\n</ui>\n";
}

} // namespace

class TestShippedContentKeys : public QObject
{
    Q_OBJECT

private slots:
    void check_data();
    void check();
};

void TestShippedContentKeys::check_data()
{
    QTest::addColumn<QByteArray>("code");
    QTest::addColumn<QByteArray>("form");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("reported");

    const QByteArray knownForm = formSource("WaringDlg", "Quit");
    QTest::newRow("known keys") << classSource("CWaringDlg", "        tr(\"Confirm\");\n        tr(\"UndoMerge\");\n")
                                << knownForm << 0 << QString();
    QTest::newRow("translate() with a class context")
        << classSource("CHelper", "        QCoreApplication::translate(\"serverframework::CKestApplication\", "
                                  "\"TheServiceIsAlreadyStarted\");\n")
        << knownForm << 0 << QString();
    QTest::newRow("unknown key in code") << classSource("CWaringDlg", "        tr(\"NoSuchKeyInTheTranslations\");\n")
                                         << knownForm << 1 << "NoSuchKeyInTheTranslations";
    QTest::newRow("known key in the wrong context") << classSource("CWaringDlg", "        tr(\"PortIsOccupied\");\n")
                                                    << knownForm << 1 << "serverframework::CWaringDlg";
    QTest::newRow("unknown form text") << classSource("CWaringDlg", "        tr(\"Confirm\");\n")
                                       << formSource("WaringDlg", "NoSuchFormText") << 1 << "NoSuchFormText";
    QTest::newRow("untranslatable form text") << classSource("CWaringDlg", "        tr(\"Confirm\");\n")
                                              << formSource("WaringDlg", "NoSuchFormText", " notr=\"true\"") << 0
                                              << QString();
    QTest::newRow("text without letters") << classSource("CWaringDlg", "        tr(\"16100\");\n")
                                          << formSource("WaringDlg", "00:00:00") << 0 << QString();
}

void TestShippedContentKeys::check()
{
    QFETCH(QByteArray, code);
    QFETCH(QByteArray, form);
    QFETCH(int, exitCode);
    QFETCH(QString, reported);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString src = dir.filePath(QStringLiteral("src"));
    QVERIFY(tst::writeBytes(src + QStringLiteral("/Texts.h"), code));
    QVERIFY(tst::writeBytes(src + QStringLiteral("/ui/Form.ui"), form));

    const QString extracted = dir.filePath(QStringLiteral("extracted.ts"));
    QProcess lupdate;
    lupdate.start(QStringLiteral(LUPDATE_EXECUTABLE),
                  {"-silent", "-no-obsolete", "-locations", "none", "-recursive", src, "-ts", extracted});
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);

    QStringList arguments{extracted};
    const QDir english(QStringLiteral(TAVRIN_SOURCE_DIR "/Install/translations/English"));
    for (const QString& name : english.entryList({"*.ts"}, QDir::Files))
        arguments << english.filePath(name);
    QProcess check;
    check.start(QStringLiteral(KEYCHECK_EXECUTABLE), arguments);
    QVERIFY(check.waitForFinished(60000));
    const QString output = QString::fromUtf8(check.readAllStandardError());
    QVERIFY2(check.exitCode() == exitCode, qPrintable(output));
    if (!reported.isEmpty())
        QVERIFY2(output.contains(reported), qPrintable(output));
}

SCRATCH_TEST_MAIN(QCoreApplication, TestShippedContentKeys)

#include "TestShippedContentKeys.moc"
