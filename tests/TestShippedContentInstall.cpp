// The installed program folder holds the compiled translations of every
// language folder and the four skins.

#include <QCoreApplication>
#include <QDir>
#include <QtTest>

#include "TestShippedContent.h"

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
};

SCRATCH_TEST_MAIN(QCoreApplication, TestShippedContentInstall)

#include "TestShippedContentInstall.moc"
