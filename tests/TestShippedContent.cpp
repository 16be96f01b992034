// The skins and translations the build compiles and installs: every skin holds every resource the host uses and looks
// its own, every language folder translates every key (English where it has no text of its own).
#include <QGuiApplication>
#include <QImage>
#include <QResource>
#include <QSvgRenderer>
#include <QXmlStreamReader>
#include <QtTest>

#include "TestSupport.h"

using tst::loadLanguage;

namespace {

const QStringList kSkinFolders{"BlackRed", "GreyRed", "Blue", "Neutral"};
const QStringList kLanguageFolders{"English",    "Chinese",          "Greek",     "Dutch",     "Czech",     "Slovak",  "French",     "Italian",
                                   "Russian",    "Korean",           "Thai",      "zh_TW",     "Malaysia",  "Hebrew",  "Bulgarian",  "Portuguese",
                                   "Spainish",   "Polish",           "Hungarian", "Deutsch",   "Croatian",  "Finnish", "Vietnamese", "Japanese",
                                   "Turkish",    "Danish",           "Norwegian", "Romanian",  "Slovenian", "Serbian", "Estonian",   "Swedish",
                                   "Lithuanian", "PortugueseBrazil", "Arabic",    "Ukrainian", "Indonesia"};
const QString kQss = QStringLiteral(":/Qss/Qss/ServerFramework.qss");

// Every ":/" path the program's sources name, plus the tray icon.
QStringList requiredResourcePaths()
{
    QSet<QString> paths{":/FrameworkGui/TrayIcon/Image/server 24.png", kQss};
    const QRegularExpression pattern(QStringLiteral(":/(?:FrameworkGui|Qss)/[^\"<)\\n]*[^\"<)\\n/]"));
    QDirIterator it(QStringLiteral(TAVRIN_SOURCE_DIR "/Server/src"), {"*.cpp", "*.h", "*.ui", "*.qss"}, QDir::Files, QDirIterator::Subdirectories);
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
QString translateWith(const std::vector<std::unique_ptr<QTranslator>>& translators, const QString& context, const QString& source)
{
    for (const auto& translator : translators) {
        const QString text = translator->translate(context.toUtf8().constData(), source.toUtf8().constData());
        if (!text.isNull())
            return text;
    }
    return QString();
}

} // namespace

class TestShippedContent : public QObject
{
    Q_OBJECT

private slots:
    void skins_data()
    {
        QTest::addColumn<QString>("dir");
        for (const QString& folder : kSkinFolders) {
            QTest::newRow(qPrintable(folder)) << QStringLiteral(TAVRIN_BUILD_DIR "/Server/rcc/") + folder;
            QTest::newRow(qPrintable(folder + " installed")) << QStringLiteral(TAVRIN_STAGE_DIR "/Server/rcc/") + folder;
        }
    }
    void skins()
    {
        QFETCH(QString, dir);
        QStringList files = QDir(dir).entryList({"*.rcc"}, QDir::Files);
        for (QString& file : files)
            QVERIFY2(QResource::registerResource(file.prepend(dir + QLatin1Char('/'))), qPrintable(file));
        QVERIFY2(!files.isEmpty(), qPrintable("no .rcc in " + dir));
        for (const QString& path : requiredResourcePaths()) {
            QFile file(path);
            QVERIFY2(file.open(QIODevice::ReadOnly) && file.size() > 0, qPrintable(dir + ": missing " + path));
            if (path.endsWith(QLatin1String(".svg")))
                QVERIFY2(QSvgRenderer(path).isValid(), qPrintable(dir + ": unreadable SVG " + path));
        }
        m_trayColours.insert(QImage(QStringLiteral(":/FrameworkGui/TrayIcon/Image/server 24.png")).pixel(12, 2));
        // Every image the style sheet names lies in the skin.
        const QByteArray bytes = tst::readBytes(kQss);
        auto urls = QRegularExpression(QStringLiteral("url\\(([^)]*)\\)")).globalMatch(QString::fromLatin1(bytes));
        QVERIFY(urls.hasNext());
        while (urls.hasNext()) {
            const QString path = urls.next().captured(1).trimmed();
            QVERIFY2(QFile::exists(path), qPrintable(dir + ": the style sheet names missing " + path));
        }
        for (const QString& file : files)
            QResource::unregisterResource(file);
        QVERIFY2(!QFile::exists(kQss), "the skin's resources stay registered after unregistering");
    }
    void skinsLookDifferent() { QCOMPARE(m_trayColours.size(), kSkinFolders.size()); }

    void everyLanguageTranslatesEveryKey_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("folder");
        for (const QString& folder : kLanguageFolders) {
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

    // One name for one thing in each language: the window, the dialogs and their code name a port alike, and the
    // window's port captions end in the word its HTTP caption uses for "port".
    void namesAgree()
    {
        for (const char* folder : {"English", "Chinese", "zh_TW"}) {
            const auto translators = loadLanguage(QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations"), folder);
            const auto name = [&](const QString& at) { return translateWith(translators, at.section('/', 0, 0), at.section('/', 1)); };
            for (const QStringList& same : {QStringList{"mainWindow/HTTPPortNo", "EditPortDlg/HTTPPortNo", "EditPort/HTTPPort"},
                                            {"mainWindow/videoWallPort", "EditPortDlg/VideoWallPortNo"},
                                            {"mainWindow/SMSPort", "EditPortDlg/SMSPortNo"},
                                            {"mainWindow/Started", "serverframework::CMainWindow/Started"}})
                for (const QString& at : same)
                    QVERIFY2(name(at) == name(same.first()), qPrintable(at + ": " + name(at) + " / " + name(same.first())));
            const QString port = name("mainWindow/HTTPPortNo").mid(4).trimmed();
            for (const char* caption : {"mainWindow/videoWallPort", "mainWindow/SMSPort", "EditPortDlg/TamsaPort"})
                QVERIFY2(name(caption).endsWith(port), qPrintable(name(caption) + " / " + port));
        }
    }

private:
    QSet<QRgb> m_trayColours;
};

SCRATCH_TEST_MAIN(QGuiApplication, TestShippedContent)

#include "TestShippedContent.moc"
