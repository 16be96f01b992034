// The SMS plug-in folder: the shipped properties and the restart script,
// run the way the host runs it (bin folder as working directory and as the
// one argument) on a copy of the folder.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString kRestartScript = QStringLiteral(TAVRIN_BUILD_DIR "/TavrinSMSPlugin/bin/restart.sh");
const QString kShippedProperties = QStringLiteral(TAVRIN_SOURCE_DIR "/Install/TavrinSMSPlugin/conf/config.properties");

} // namespace

class TestSmsPlugin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void shippedPropertiesAreWellFormed();
    void restartRecordsThePort_data();
    void restartRecordsThePort();
    void eachRestartIsRecorded();
    void missingPropertiesFail();

private:
    void writeProperties(const QByteArray& content);
    int restart();
    QStringList logLines() const;

    QScopedPointer<QTemporaryDir> m_dir;
    QString m_bin;
};

void TestSmsPlugin::init()
{
    m_dir.reset(new QTemporaryDir);
    QVERIFY(m_dir->isValid());
    m_bin = m_dir->path() + "/TavrinSMSPlugin/bin";
    QVERIFY(QDir().mkpath(m_bin));
    QVERIFY(QDir().mkpath(m_dir->path() + "/TavrinSMSPlugin/conf"));
    QVERIFY(QFile::copy(kRestartScript, m_bin + "/restart.sh"));
}

void TestSmsPlugin::writeProperties(const QByteArray& content)
{
    QVERIFY(tst::writeBytes(m_dir->path() + "/TavrinSMSPlugin/conf/config.properties", content));
}

int TestSmsPlugin::restart()
{
    QProcess script;
    script.setWorkingDirectory(m_bin);
    script.start(m_bin + "/restart.sh", {m_bin});
    if (!script.waitForFinished(30000))
        return -1;
    return script.exitCode();
}

QStringList TestSmsPlugin::logLines() const
{
    return tst::readText(m_bin + "/restart.log").split('\n', Qt::SkipEmptyParts);
}

void TestSmsPlugin::shippedPropertiesAreWellFormed()
{
    const QByteArray content = tst::readBytes(kShippedProperties);
    QVERIFY(!content.isEmpty());
    int comments = 0;
    for (QByteArray line : content.split('\n')) {
        line = line.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith('#')) {
            ++comments;
            continue;
        }
        // Every entry has a key, "=" and a value.
        const int eq = line.indexOf('=');
        QVERIFY2(eq >= 0 && eq < line.size() - 1, line.constData());
    }
    QVERIFY(comments > 0);

    writeProperties(content);
    QCOMPARE(restart(), 0);
    QCOMPARE(logLines().size(), 1);
    QVERIFY2(logLines().first().endsWith(" restarted rtspPort=554"), qPrintable(logLines().first()));
}

void TestSmsPlugin::restartRecordsThePort_data()
{
    QTest::addColumn<QByteArray>("properties");
    QTest::addColumn<QString>("port");
    QTest::newRow("plain") << QByteArray("ums.1.rtspPort=8554\n") << "8554";
    QTest::newRow("blanks and comment") << QByteArray("a=b\nums.1.rtspPort =  1554   # rtsp\n") << "1554";
    QTest::newRow("comment glued") << QByteArray("ums.1.rtspPort = 2554#c\n") << "2554";
    QTest::newRow("commented out first") << QByteArray("#ums.1.rtspPort=1\nums.1.rtspPort=3554\n") << "3554";
    QTest::newRow("first wins") << QByteArray("ums.1.rtspPort=4554\nums.1.rtspPort=5554\n") << "4554";
    QTest::newRow("similar key") << QByteArray("ums.1.rtspPortX=9\nums.1.rtspPort=6554\n") << "6554";
    QTest::newRow("crlf") << QByteArray("ums.1.rtspPort=7554\r\n") << "7554";
    QTest::newRow("absent") << QByteArray("ums.2.rtspPort=9554\n") << "";
}

void TestSmsPlugin::restartRecordsThePort()
{
    QFETCH(QByteArray, properties);
    QFETCH(QString, port);
    writeProperties(properties);
    QCOMPARE(restart(), 0);
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().endsWith(" restarted rtspPort=" + port), qPrintable(lines.first()));
}

void TestSmsPlugin::eachRestartIsRecorded()
{
    writeProperties("ums.1.rtspPort=554\n");
    QCOMPARE(restart(), 0);
    writeProperties("ums.1.rtspPort=10554\n");
    QCOMPARE(restart(), 0);
    const QStringList lines = logLines();
    QCOMPARE(lines.size(), 2);
    QVERIFY(lines[0].endsWith("rtspPort=554"));
    QVERIFY(lines[1].endsWith("rtspPort=10554"));
}

void TestSmsPlugin::missingPropertiesFail()
{
    QVERIFY(restart() != 0);
    QVERIFY(logLines().isEmpty());
}

QTEST_GUILESS_MAIN(TestSmsPlugin)
#include "TestSmsPlugin.moc"
