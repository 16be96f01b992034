// The skins and translations the build compiles: every skin holds every
// resource the host uses, and every language folder translates every key.

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QSvgRenderer>
#include <QtTest>

#include "TestShippedContent.h"

using namespace content;

class TestShippedContent : public QObject
{
    Q_OBJECT

private slots:
    void skinHoldsEveryResource_data();
    void skinHoldsEveryResource();
    void skinsLookDifferent();
    void everyLanguageTranslatesEveryKey_data();
    void everyLanguageTranslatesEveryKey();
    void sampleTranslations_data();
    void sampleTranslations();
    void placeholdersSurvive_data();
    void placeholdersSurvive();

private:
    const QString m_translations = QStringLiteral(TAVRIN_BUILD_DIR "/Server/translations");
};

void TestShippedContent::skinHoldsEveryResource_data()
{
    folderRows(skinFolders());
}

void TestShippedContent::skinHoldsEveryResource()
{
    QFETCH(QString, folder);
    const QStringList files = registerSkin(folder);
    QVERIFY2(!files.isEmpty(), qPrintable("no .rcc registered from " + builtSkinDir(folder)));

    for (const QString& path : requiredResourcePaths()) {
        QFile file(path);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(folder + ": missing " + path));
        QVERIFY2(file.size() > 0, qPrintable(folder + ": empty " + path));
        if (path.endsWith(QLatin1String(".svg")))
            QVERIFY2(QSvgRenderer(path).isValid(), qPrintable(folder + ": unreadable SVG " + path));
    }

    const QImage tray(QStringLiteral(":/FrameworkGui/TrayIcon/Image/server 24.png"));
    QCOMPARE(tray.size(), QSize(24, 24));
    QVERIFY(tray.hasAlphaChannel());

    // The style sheet is read as Latin-1, and every image it names lies in the skin.
    QFile qss(QStringLiteral(":/Qss/Qss/ServerFramework.qss"));
    QVERIFY(qss.open(QIODevice::ReadOnly));
    const QByteArray bytes = qss.readAll();
    for (const char c : bytes)
        QVERIFY2(static_cast<unsigned char>(c) < 0x80, "the style sheet holds a non-ASCII byte");
    const QRegularExpression url(QStringLiteral("url\\(([^)]*)\\)"));
    auto urls = url.globalMatch(QString::fromLatin1(bytes));
    int named = 0;
    while (urls.hasNext()) {
        const QString path = urls.next().captured(1).trimmed();
        QVERIFY2(QFile::exists(path), qPrintable(folder + ": the style sheet names missing " + path));
        ++named;
    }
    QVERIFY(named > 0);

    unregisterSkin(files);
    QVERIFY2(!QFile::exists(QStringLiteral(":/Qss/Qss/ServerFramework.qss")),
             "the skin's resources stay registered after unregistering");
}

void TestShippedContent::skinsLookDifferent()
{
    QSet<QByteArray> sheets;
    QSet<QRgb> trayColours;
    for (const QString& folder : skinFolders()) {
        const QStringList files = registerSkin(folder);
        QFile qss(QStringLiteral(":/Qss/Qss/ServerFramework.qss"));
        QVERIFY(qss.open(QIODevice::ReadOnly));
        sheets.insert(qss.readAll());
        trayColours.insert(QImage(QStringLiteral(":/FrameworkGui/TrayIcon/Image/server 24.png")).pixel(12, 2));
        unregisterSkin(files);
    }
    QCOMPARE(sheets.size(), skinFolders().size());
    QCOMPARE(trayColours.size(), skinFolders().size());
}

void TestShippedContent::everyLanguageTranslatesEveryKey_data()
{
    folderRows(languageFolders());
}

void TestShippedContent::everyLanguageTranslatesEveryKey()
{
    QFETCH(QString, folder);
    const QList<Message> messages = englishMessages();
    QVERIFY(messages.size() > 50);
    const auto translators = loadLanguage(m_translations, folder);
    QVERIFY2(!translators.empty(), qPrintable("no .qm in " + m_translations + "/" + folder));
    for (const Message& message : messages) {
        const QString text = translateWith(translators, message.context, message.source);
        QVERIFY2(!text.isEmpty(), qPrintable(folder + ": no text for " + message.context + " / " + message.source));
    }
}

void TestShippedContent::sampleTranslations_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("context");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");

    QTest::newRow("English form button") << "English" << "WaringDlg" << "UndoMerge" << "Cancel";
    QTest::newRow("English class text") << "English" << "serverframework::CKestApplication"
                                        << "TheServiceIsAlreadyStarted" << "The service is already running.";
    QTest::newRow("English tray entry") << "English" << "serverframework::CFrameworkMgr" << "ShowClient"
                                        << "Open Client";
    QTest::newRow("English form label") << "English" << "EditPortDlg" << "OutsideTheWebAddress"
                                        << "External access";
    QTest::newRow("Chinese dialog button") << "Chinese" << "serverframework::CWaringDlg" << "Confirm" << "确定";
    QTest::newRow("Chinese message") << "Chinese" << "serverframework::CEditPortDlg" << "PortIsOccupied"
                                     << "该端口已被占用，请修改为其他值。";
    QTest::newRow("Chinese window") << "Chinese" << "mainWindow" << "ServiceManagement" << "服务管理";
    QTest::newRow("Chinese start-up") << "Chinese" << "serverframework::CKestApplication" << "Information" << "提示";
    QTest::newRow("Traditional Chinese") << "zh_TW" << "serverframework::CFrameworkMgr" << "Quit" << "結束";
    // A language without its own texts shows the English ones, never the key.
    QTest::newRow("French falls back to English") << "French" << "WaringDlg" << "Confirm" << "OK";
    QTest::newRow("Spanish falls back to English") << "Spainish" << "serverframework::CMainWindow" << "Caution"
                                                   << "Caution";
}

void TestShippedContent::sampleTranslations()
{
    QFETCH(QString, folder);
    QFETCH(QString, context);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const auto translators = loadLanguage(m_translations, folder);
    QCOMPARE(translateWith(translators, context, key), expected);

    // The same through the application, as the host's widgets translate.
    for (const auto& translator : translators)
        QCoreApplication::installTranslator(translator.get());
    QCOMPARE(QCoreApplication::translate(context.toUtf8().constData(), key.toUtf8().constData()), expected);
    for (const auto& translator : translators)
        QCoreApplication::removeTranslator(translator.get());
}

void TestShippedContent::placeholdersSurvive_data()
{
    folderRows({"English", "Chinese", "zh_TW"});
}

void TestShippedContent::placeholdersSurvive()
{
    QFETCH(QString, folder);
    const auto translators = loadLanguage(m_translations, folder);
    const QRegularExpression marker(QStringLiteral("%\\d"));
    int withMarkers = 0;
    for (const Message& message : englishMessages()) {
        QSet<QString> expected;
        auto inSource = marker.globalMatch(message.source);
        while (inSource.hasNext())
            expected.insert(inSource.next().captured(0));
        if (expected.isEmpty())
            continue;
        ++withMarkers;
        const QString text = translateWith(translators, message.context, message.source);
        QSet<QString> found;
        auto inText = marker.globalMatch(text);
        while (inText.hasNext())
            found.insert(inText.next().captured(0));
        QCOMPARE(found, expected);
    }
    QVERIFY(withMarkers > 0);

    const QString filled = translateWith(translators, QStringLiteral("serverframework::CEditPortDlg"),
                                         QStringLiteral("TheWebServersPort%1IsOccupiedBy%2ChangeItToOtherValue"))
                               .arg(QStringLiteral("8080"), QStringLiteral("nginx"));
    QVERIFY2(filled.contains(QLatin1String("8080")) && filled.contains(QLatin1String("nginx")), qPrintable(filled));
}

SCRATCH_TEST_MAIN(QGuiApplication, TestShippedContent)

#include "TestShippedContent.moc"
