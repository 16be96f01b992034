// The single-instance guard across real processes: the test runs copies of itself with "--instance"; each constructs the guard as the host does and
// prints what it became, and a primary stays up (printing every notice it receives) until it reads "quit" or its input closes.
#include "SingleApplication.h"
#include "SingleApplication_p.h"
#include "TestSupport.h"

#include <Platform/Platform.h>

#include <QDataStream>
#include <QLocalSocket>
#include <QSocketNotifier>
#include <QtTest>

#include <sys/stat.h>

#include <cstdio>

static int runInstance(int argc, char** argv)
{
    SingleApplication app(argc, argv, false, SingleApplication::PerUser, 1000);
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each line reaches the test at once
    std::printf("primary=%d socket=%s\n", app.isPrimary() ? 1 : 0, qPrintable(app.socketPath()));
    if (!app.isPrimary())
        return 0;
    QObject::connect(&app, &SingleApplication::instanceStarted, [] { std::printf("instanceStarted\n"); });
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&app] {
        char line[64];
        if (!std::fgets(line, sizeof(line), stdin) || QByteArray(line).startsWith("quit"))
            app.quit();
    });
    return app.exec();
}

namespace {

struct Instance
{
    std::unique_ptr<QProcess> process{new QProcess};
    int primary = -1; // 1: primary, 0: not, -1: no answer
    QString socket;
};

// What the guard keeps in the user's runtime folder.
QStringList runtimeFiles()
{
    return QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
}

// Reads what a started instance became.
void readVerdict(Instance& instance)
{
    QProcess& p = *instance.process;
    for (int waited = 0; !p.canReadLine() && waited < 300 && p.state() != QProcess::NotRunning; ++waited)
        p.waitForReadyRead(100);
    const QByteArray line = p.readLine().trimmed();
    instance.primary = line.startsWith("primary=") ? line.mid(8, 1).toInt() : -1;
    instance.socket = QString::fromUtf8(line.mid(line.indexOf("socket=") + 7));
}

// A new instance; what it became is read unless told not to.
Instance started(bool verdict = true)
{
    Instance instance;
    instance.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    instance.process->start(QCoreApplication::applicationFilePath(), {"--instance"});
    if (verdict)
        readVerdict(instance);
    return instance;
}

bool waitForLine(QProcess& p, const QByteArray& wanted, int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < timeoutMs) {
        while (p.canReadLine()) {
            if (p.readLine().trimmed() == wanted)
                return true;
        }
        p.waitForReadyRead(100);
    }
    return false;
}

void stop(Instance& instance)
{
    instance.process->write("quit\n");
    instance.process->closeWriteChannel();
    if (!instance.process->waitForFinished(10000))
        instance.process->kill();
}

QByteArray lengthOnly(qint64 length)
{
    QByteArray header;
    QDataStream(&header, QIODevice::WriteOnly) << length;
    return header;
}

// A notice frame. A padded one (bodyLength) carries checksum 0 and two bytes before its last two that make the sum over all but those come out 0.
QByteArray frame(const QString& name, bool breakChecksum, int bodyLength = 0)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_6);
    out << name.toLatin1() << qint8(1) << qint32(0);
    const quint16 checksum = bodyLength ? 0 : qChecksum(body.constData(), uint(body.size()));
    out << quint16(breakChecksum ? checksum ^ 0x5a5a : checksum);
    if (bodyLength) {
        body.append(QByteArray(bodyLength - body.size(), 0));
        for (int pad = 0; pad <= 0xffff && qChecksum(body.constData(), uint(bodyLength - 2)) != 0; ++pad) {
            body[bodyLength - 4] = char(pad >> 8);
            body[bodyLength - 3] = char(pad);
        }
    }
    return lengthOnly(body.size()) + body;
}

} // namespace

class TestSingleApplication : public QObject
{
    Q_OBJECT
private slots:
    // After a kill -9 the next start is the primary at once, also when the killed one's block is locked while it starts (so that it is not removed as
    // abandoned but found with its primary gone), and when its process id has since gone to another process (here: this test).
    void killedPrimaryIsReplacedAtOnce()
    {
        Instance killed = started();
        QCOMPARE(killed.primary, 1);
        killed.process->kill(); // SIGKILL: no clean-up at all
        QVERIFY(tst::ended(*killed.process, 5000));
        platform::SharedBlock held;
        bool created = false;
        const QString blockPath = killed.socket.chopped(7) + ".block";
        QVERIFY(platform::openSharedBlockLocked(blockPath.toStdString(), 152, held, created));
        auto* block = static_cast<InstanceBlock*>(held.data);
        block->primaryPid = QCoreApplication::applicationPid();
        block->checksum = qChecksum(static_cast<const char*>(held.data), 16);
        QElapsedTimer clock;
        clock.start();
        Instance next = started(false);
        struct stat file
        {
        };
        QCOMPARE(::stat(qPrintable(blockPath), &file), 0);
        // The next start waits for the lock, then it is released.
        QTRY_VERIFY(tst::readText("/proc/locks").contains(QRegularExpression(QString("-> .*:%1 0 0\n").arg(file.st_ino))));
        platform::closeSharedBlock(held, false);
        readVerdict(next);
        QCOMPARE(next.primary, 1);
        QVERIFY2(clock.elapsed() < 7000, qPrintable(QString::number(clock.elapsed()))); // no back-off
        stop(next);
        QCOMPARE(runtimeFiles(), QStringList()); // nothing left behind
    }

    // Only a whole, sound notice of this block raises the primary; whatever else a client sends, the primary drops it
    // and serves on, and a second start is refused and announced.
    void onlySoundNoticesCount_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("notice");
        primary = started();
        const QString base = QFileInfo(primary.socket).completeBaseName();
        const QString name = base.mid(base.indexOf('-') + 1); // "tavrin-<block name>.socket"
        QTest::newRow("length of gigabytes") << lengthOnly(Q_INT64_C(8) << 30) << false;
        QTest::newRow("short body") << lengthOnly(60) + QByteArray(10, 'x') << false;
        QTest::newRow("wrong name") << frame("someone-else", false) << false;
        QTest::newRow("damaged checksum") << frame(name, true) << false;
        QTest::newRow("sound but longer than allowed") << frame(name, false, 4097) << false;
        QTest::newRow("sound") << frame(name, false) << true;
    }
    void onlySoundNoticesCount()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, notice);
        QCOMPARE(primary.primary, 1);
        QLocalSocket client;
        client.connectToServer(primary.socket);
        QVERIFY(client.waitForConnected(5000));
        client.write(payload);
        QVERIFY(client.waitForBytesWritten(5000));
        if (notice)
            QVERIFY(waitForLine(*primary.process, "instanceStarted", 10000));
        else if (client.state() != QLocalSocket::UnconnectedState) // dropped, at the latest when the notice is late
            QVERIFY(client.waitForDisconnected(10000));
        QVERIFY(!waitForLine(*primary.process, "instanceStarted", 200));
        Instance second = started();
        QCOMPARE(second.primary, 0);
        QVERIFY(tst::ended(*second.process, 10000));
        QVERIFY(waitForLine(*primary.process, "instanceStarted", 10000));
    }

    void cleanupTestCase()
    {
        stop(primary);
        QCOMPARE(runtimeFiles(), QStringList());
    }

private:
    Instance primary;
};

int main(int argc, char** argv)
{
    if (argc >= 2 && qstrcmp(argv[1], "--instance") == 0)
        return runInstance(argc, argv);
    ScratchHome home; // a private runtime folder, inherited by the instances
    QCoreApplication app(argc, argv);
    TestSingleApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSingleApplication.moc"
