// The Debian package: packed by CPack from this build, unpacked with
// dpkg-deb into a temporary root, the files in their places and naming the
// installed program, and the unpacked host serves in a throw-away home and
// quits on --quit.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "TestScratch.h"
#include "TestSupport.h"

namespace {

const QString kPrefix = QStringLiteral("/opt/tavrin");
const QString kProgram = kPrefix + "/Server/Palvex.Framework.S";

// Runs a program to its end; false (with its output) unless it ends with 0.
bool run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit
                    && process.exitCode() == 0;
    const QByteArray text = process.readAll();
    if (output)
        *output = text;
    if (!ok)
        qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(' ')), text.constData());
    return ok;
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void filesInPlace_data();
    void filesInPlace();
    void unpackedHostServesAndQuits();

private:
    QTemporaryDir work;
    QString root;
};

void TestPackage::initTestCase()
{
    QVERIFY(work.isValid());
    const QString output = work.filePath("package");
    // The dependency scan of the package (minutes on this build's sanitized
    // binaries) is the release's business, not this layout check's.
    QVERIFY(run("cpack", {"-G", "DEB", "--config", TAVRIN_BUILD_DIR "/CPackConfig.cmake", "-B", output, "-D",
                          "CPACK_DEBIAN_PACKAGE_SHLIBDEPS=OFF"}));
    const QStringList packages = QDir(output).entryList({"*.deb"}, QDir::Files);
    QCOMPARE(packages.size(), 1);
    root = work.filePath("root");
    QVERIFY(run("dpkg-deb", {"-x", output + "/" + packages.first(), root}));
}

void TestPackage::filesInPlace_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("content"); // pattern the file must hold; empty: only present

    QTest::newRow("program") << kProgram << "";
    QTest::newRow("shipped defaults") << kPrefix + "/Server/maintain/Setup.xml.benchmark" << "<Configs";
    QTest::newRow("systemd user unit") << "/usr/lib/systemd/user/tavrin-server.service"
                                       << "\nExecStart=" + kProgram + "\n";
    QTest::newRow("menu entry") << "/usr/share/applications/tavrin-server.desktop"
                                << "\nExec=\"" + kProgram + "\"\n";
    QTest::newRow("icon") << "/usr/share/icons/hicolor/scalable/apps/tavrin-server.svg" << "<svg";
}

void TestPackage::filesInPlace()
{
    QFETCH(QString, path);
    QFETCH(QString, content);
    const QString file = root + path;
    QVERIFY2(QFileInfo(file).isFile(), qPrintable(file));
    const QString text = tst::readText(file);
    QVERIFY2(text.contains(content), qPrintable(text));
    QVERIFY2(!text.contains(TAVRIN_BUILD_DIR) && !text.contains(TAVRIN_SOURCE_DIR), qPrintable(text));
}

void TestPackage::unpackedHostServesAndQuits()
{
    ScratchHome home; // for this process and the host alike
    QVERIFY(home.isValid());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("ASAN_OPTIONS", "detect_leaks=0:new_delete_type_mismatch=0");
    environment.remove("NOTIFY_SOCKET");

    QProcess host;
    host.setProcessEnvironment(environment);
    host.setWorkingDirectory(home.path());
    host.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    host.start(root + kProgram, QStringList());
    QVERIFY(host.waitForStarted(10000));
    static const QRegularExpression address("Web client: http://127\\.0\\.0\\.1:\\d+/");
    QByteArray output;
    QTRY_VERIFY_WITH_TIMEOUT(address.match(QString::fromUtf8(output += host.readAllStandardOutput())).hasMatch(),
                             60000);
    // Its data live in the throw-away home, not beside the program.
    QVERIFY(!tst::findFile(home.path(), "Setup.xml").isEmpty());

    QProcess quit;
    quit.setProcessEnvironment(environment);
    quit.start(root + kProgram, {"--quit"});
    QVERIFY(quit.waitForFinished(20000));
    QCOMPARE(quit.exitCode(), 0);
    QVERIFY(host.waitForFinished(30000));
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), 0);
}

QTEST_GUILESS_MAIN(TestPackage)
#include "TestPackage.moc"
