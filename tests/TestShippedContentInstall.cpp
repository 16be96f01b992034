// The installed program folder holds the compiled translations of every
// language folder and the four skins; the application-menu entry starts the
// installed program and shows its icon.

#include <QCoreApplication>
#include <QDir>
#include <QtTest>

#include "TestShippedContent.h"
#include "TestSupport.h"

using namespace content;

class TestShippedContentInstall : public QObject
{
    Q_OBJECT

private slots:
    void translationsInstalled_data()
    {
        folderRows(languageFolders());
    }

    void translationsInstalled()
    {
        QFETCH(QString, folder);
        const QString root = QStringLiteral(TAVRIN_STAGE_DIR "/Server/translations");
        const auto translators = loadLanguage(root, folder);
        QVERIFY2(!translators.empty(), qPrintable("no .qm installed in " + root + "/" + folder));
        QVERIFY(!translateWith(translators, QStringLiteral("WaringDlg"), QStringLiteral("Confirm")).isEmpty());
    }

    void skinsInstalled_data()
    {
        folderRows(skinFolders());
    }

    void skinsInstalled()
    {
        QFETCH(QString, folder);
        const QDir dir(QStringLiteral(TAVRIN_STAGE_DIR "/Server/rcc/") + folder);
        const QStringList files = dir.entryList({"*.rcc"}, QDir::Files | QDir::Readable);
        QVERIFY2(!files.isEmpty(), qPrintable("no .rcc installed in " + dir.path()));
        for (const QString& name : files)
            QVERIFY(QResource::registerResource(dir.filePath(name)));
        const bool hasStyle = QFile::exists(QStringLiteral(":/Qss/Qss/ServerFramework.qss"));
        for (const QString& name : files)
            QVERIFY(QResource::unregisterResource(dir.filePath(name)));
        QVERIFY(hasStyle);
    }

    void applicationMenuEntry()
    {
        const QString stage = QDir(QStringLiteral(TAVRIN_STAGE_DIR)).absolutePath();
        const QString entry = tst::readText(stage + QStringLiteral("/share/applications/tavrin-server.desktop"));
        QVERIFY(entry.startsWith(QLatin1String("[Desktop Entry]\n")));
        const QString program = stage + QStringLiteral("/Server/Palvex.Framework.S");
        QVERIFY2(entry.contains(QStringLiteral("\nExec=\"%1\"\n").arg(program)), qPrintable(entry));
        QVERIFY(QFileInfo(program).isExecutable());
        const QString icon = stage + QStringLiteral("/share/icons/hicolor/scalable/apps/tavrin-server.svg");
        QVERIFY2(entry.contains(QStringLiteral("\nIcon=%1\n").arg(icon)), qPrintable(entry));
        QVERIFY(tst::readText(icon).contains(QLatin1String("<svg")));
    }
};

SCRATCH_TEST_MAIN(QCoreApplication, TestShippedContentInstall)

#include "TestShippedContentInstall.moc"
