// The skins and translations the build compiles and installs: every skin
// holds every resource the host uses, every language folder translates every
// key, and the build's key check names what is missing.
#include <QDirIterator>
#include <QTranslator>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QResource>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QtTest>

#include <memory>
#include <vector>

#include "TestScratch.h"
#include "TestShippedContent.h"
#include "TestSupport.h"

using namespace content;

namespace {

const QString kQss = QStringLiteral(":/Qss/Qss/ServerFramework.qss");

// Every ":/" path the program's sources name, plus the tray icon.
QStringList requiredResourcePaths()
{
    QSet<QString> paths{":/FrameworkGui/TrayIcon/Image/server 24.png", kQss};
    const QRegularExpression pattern(QStringLiteral(":/(?:FrameworkGui|Qss)/[^\"<)\\n]*[^\"<)\\n/]"));
    QDirIterator it(QStringLiteral(TAVRIN_SOURCE_DIR "/Server/src"), {"*.cpp", "*.h", "*.ui", "*.qss"}, QDir::Files,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        auto matches = pattern.globalMatch(tst::readText(it.next()));
        while (matches.hasNext()) {
            const QString path = matches.next().captured(0);
            if (path.contains(QLatin1Char('.'))) // a file, not the ":/Qss/Qss/" folder
                paths.insert(path);
        }
    }
    return QStringList(paths.begin(), paths.end());
}

// Registers every .rcc of a skin folder; returns the registered files.
QStringList registerSkin(const QString& dirPath)
{
    QStringList registered;
    const QDir dir(dirPath);
    for (const QString& name : dir.entryList({"*.rcc"}, QDir::Files, QDir::Name)) {
        if (QResource::registerResource(dir.filePath(name)))
            registered << dir.filePath(name);
    }
    return registered;
}

void unregisterSkin(const QStringList& files)
{
    for (const QString& file : files)
        QResource::unregisterResource(file);
}

// The (context, key) pairs of the English sources: every key the program ships.
QList<QPair<QString, QString>> englishMessages()
{
    QList<QPair<QString, QString>> messages;
    const QDir dir(QStringLiteral(TAVRIN_SOURCE_DIR "/Install/translations/English"));
    for (const QString& name : dir.entryList({"*.ts"}, QDir::Files, QDir::Name)) {
        QXmlStreamReader xml(tst::readBytes(dir.filePath(name)));
        QString context;
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == QLatin1String("name"))
                context = xml.readElementText();
            else if (xml.name() == QLatin1String("source"))
                messages.append({context, xml.readElementText()});
        }
    }
    return messages;
}

// The first translation of the key among the translators; null when none has it.
QString translateWith(const std::vector<std::unique_ptr<QTranslator>>& translators, const QString& context,
                      const QString& source)
{
    for (const auto& translator : translators) {
        const QString text = translator->translate(context.toUtf8().constData(), source.toUtf8().constData());
        if (!text.isNull())
            return text;
    }
    return QString();
}

QByteArray classSource(const QByteArray& className, const QByteArray& calls)
{
    return "#include <QObject>\nnamespace serverframework {\nclass " + className
           + " : public QObject\n{\n    Q_OBJECT\n    void texts()\n    {\n" + calls + "    }\n};\n}\n";
}

QByteArray formSource(const QByteArray& text, const QByteArray& attributes = {})
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ui version=\"4.0\">\n <class>WaringDlg</class>\n"
           " <widget class=\"QWidget\" name=\"WaringDlg\">\n  <widget class=\"QLabel\" name=\"label\">\n"
           "   <property name=\"text\"><string" + attributes + ">" + text + "</string></property>\n"
           "  </widget>\n </widget>\n</ui>\n";
}

} // namespace

class TestShippedContent : public QObject
{
    Q_OBJECT

private slots:
    void skins_data()
    {
        QTest::addColumn<QString>("dir");
        for (const QString& folder : skinFolders()) {
            QTest::newRow(qPrintable(folder)) << QStringLiteral(TAVRIN_BUILD_DIR "/Server/rcc/") + folder;
            QTest::newRow(qPrintable(folder + " installed")) << QStringLiteral(TAVRIN_STAGE_DIR "/Server/rcc/") + folder;
        }
    }
    void skins()
    {
        QFETCH(QString, dir);
        const QStringList files = registerSkin(dir);
        QVERIFY2(!files.isEmpty(), qPrintable("no .rcc registered from " + dir));
        for (const QString& path : requiredResourcePaths()) {
            QFile file(path);
            QVERIFY2(file.open(QIODevice::ReadOnly) && file.size() > 0, qPrintable(dir + ": missing " + path));
            if (path.endsWith(QLatin1String(".svg")))
                QVERIFY2(QSvgRenderer(path).isValid(), qPrintable(dir + ": unreadable SVG " + path));
        }
        const QImage tray(QStringLiteral(":/FrameworkGui/TrayIcon/Image/server 24.png"));
        QCOMPARE(tray.size(), QSize(24, 24));
        QVERIFY(tray.hasAlphaChannel());
        m_trayColours.insert(tray.pixel(12, 2));
        // The style sheet is read as Latin-1, and every image it names lies in the skin.
        const QByteArray bytes = tst::readBytes(kQss);
        m_sheets.insert(bytes);
        for (const char c : bytes)
            QVERIFY2(static_cast<unsigned char>(c) < 0x80, "the style sheet holds a non-ASCII byte");
        auto urls = QRegularExpression(QStringLiteral("url\\(([^)]*)\\)")).globalMatch(QString::fromLatin1(bytes));
        QVERIFY(urls.hasNext());
        while (urls.hasNext()) {
            const QString path = urls.next().captured(1).trimmed();
            QVERIFY2(QFile::exists(path), qPrintable(dir + ": the style sheet names missing " + path));
        }
        unregisterSkin(files);
        QVERIFY2(!QFile::exists(kQss), "the skin's resources stay registered after unregistering");
    }
    void skinsLookDifferent()
    {
        QCOMPARE(m_sheets.size(), skinFolders().size());
        QCOMPARE(m_trayColours.size(), skinFolders().size());
    }

    void everyLanguageTranslatesEveryKey_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("folder");
        for (const QString& folder : languageFolders()) {
            QTest::newRow(qPrintable(folder)) << QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations") << folder;
            QTest::newRow(qPrintable(folder + " installed")) << QStringLiteral(TAVRIN_STAGE_DIR "/Server/translations") << folder;
        }
    }
    void everyLanguageTranslatesEveryKey()
    {
        QFETCH(QString, root);
        QFETCH(QString, folder);
        static const auto messages = englishMessages();
        QVERIFY(messages.size() > 50);
        const auto translators = loadLanguage(root, folder);
        QVERIFY2(!translators.empty(), qPrintable("no .qm in " + root + "/" + folder));
        const QRegularExpression marker(QStringLiteral("%\\d"));
        for (const auto& message : messages) {
            const QString text = translateWith(translators, message.first, message.second);
            QVERIFY2(!text.isEmpty(), qPrintable(folder + ": no text for " + message.first + " / " + message.second));
            QCOMPARE(text.count(marker), message.second.count(marker)); // placeholders survive
        }
    }

    void sampleTranslations_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("context");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("English form button") << "English" << "WaringDlg" << "UndoMerge" << "Cancel";
        QTest::newRow("English class text") << "English" << "serverframework::CKestApplication"
                                            << "TheServiceIsAlreadyStarted" << "The service is already running.";
        QTest::newRow("Chinese message") << "Chinese" << "serverframework::CEditPortDlg" << "PortIsOccupied"
                                         << "该端口已被占用，请修改为其他值。";
        QTest::newRow("Chinese window") << "Chinese" << "mainWindow" << "ServiceManagement" << "服务管理";
        QTest::newRow("Traditional Chinese") << "zh_TW" << "serverframework::CFrameworkMgr" << "Quit" << "結束";
        // A language without its own texts shows the English ones, never the key.
        QTest::newRow("French falls back to English") << "French" << "WaringDlg" << "Confirm" << "OK";
    }
    void sampleTranslations()
    {
        QFETCH(QString, folder);
        QFETCH(QString, context);
        QFETCH(QString, key);
        const auto translators = loadLanguage(QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations"), folder);
        for (const auto& translator : translators) // as the host's widgets translate
            QCoreApplication::installTranslator(translator.get());
        const QString text = QCoreApplication::translate(context.toUtf8().constData(), key.toUtf8().constData());
        for (const auto& translator : translators)
            QCoreApplication::removeTranslator(translator.get());
        QTEST(text, "expected");
    }

    void keyCheck_data()
    {
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("form");
        QTest::addColumn<QString>("reported"); // empty: the check passes
        const QByteArray knownForm = formSource("Quit");
        QTest::newRow("known keys") << classSource("CWaringDlg", "tr(\"Confirm\");\ntr(\"UndoMerge\");\n") << knownForm << "";
        QTest::newRow("translate() with a class context")
            << classSource("CHelper", "QCoreApplication::translate(\"serverframework::CKestApplication\", "
                                      "\"TheServiceIsAlreadyStarted\");\n")
            << knownForm << "";
        QTest::newRow("unknown key in code") << classSource("CWaringDlg", "tr(\"NoSuchKeyInTheTranslations\");\n")
                                             << knownForm << "NoSuchKeyInTheTranslations";
        QTest::newRow("known key, wrong context") << classSource("CWaringDlg", "tr(\"PortIsOccupied\");\n")
                                                  << knownForm << "serverframework::CWaringDlg";
        QTest::newRow("unknown form text") << classSource("CWaringDlg", "tr(\"Confirm\");\n")
                                           << formSource("NoSuchFormText") << "NoSuchFormText";
        QTest::newRow("untranslatable form text") << classSource("CWaringDlg", "tr(\"Confirm\");\n")
                                                  << formSource("NoSuchFormText", " notr=\"true\"") << "";
        QTest::newRow("text without letters") << classSource("CWaringDlg", "tr(\"16100\");\n") << formSource("00:00:00") << "";
    }
    void keyCheck()
    {
        QFETCH(QByteArray, code);
        QFETCH(QByteArray, form);
        QFETCH(QString, reported);
        QTemporaryDir dir;
        const QString src = dir.filePath(QStringLiteral("src"));
        QVERIFY(tst::writeBytes(src + QStringLiteral("/Texts.h"), code));
        QVERIFY(tst::writeBytes(src + QStringLiteral("/ui/Form.ui"), form));
        const QString extracted = dir.filePath(QStringLiteral("extracted.ts"));
        QCOMPARE(QProcess::execute(QStringLiteral(LUPDATE_EXECUTABLE),
                                   {"-silent", "-no-obsolete", "-locations", "none", "-recursive", src, "-ts", extracted}),
                 0);
        QStringList arguments{extracted};
        const QDir english(QStringLiteral(TAVRIN_SOURCE_DIR "/Install/translations/English"));
        for (const QString& name : english.entryList({"*.ts"}, QDir::Files))
            arguments << english.filePath(name);
        QProcess check;
        check.start(QStringLiteral(KEYCHECK_EXECUTABLE), arguments);
        QVERIFY(check.waitForFinished(60000));
        const QString output = QString::fromUtf8(check.readAllStandardError());
        QVERIFY2(check.exitCode() == (reported.isEmpty() ? 0 : 1), qPrintable(output));
        QVERIFY2(output.contains(reported), qPrintable(output));
    }

private:
    QSet<QByteArray> m_sheets;
    QSet<QRgb> m_trayColours;
};

SCRATCH_TEST_MAIN(QGuiApplication, TestShippedContent)

#include "TestShippedContent.moc"
