#include "SingleApplication.h"
#include "TestScratch.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QLocalSocket>
#include <QProcess>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

// The test runs copies of itself with "--instance": each constructs the
// guard as the host does, prints what it became, and a primary stays up
// (printing every notice it receives) until it reads "quit" or its stdin
// closes.
static int runInstance(int argc, char** argv)
{
    SingleApplication app(argc, argv, false, SingleApplication::PerUser, 1000);
    std::printf("primary=%d listenFailed=%d socket=%s\n", app.isPrimary() ? 1 : 0, app.listenFailed() ? 1 : 0,
                qPrintable(app.socketPath()));
    std::fflush(stdout);
    if (!app.isPrimary())
        return 0;
    QObject::connect(&app, &SingleApplication::instanceStarted, [] {
        std::printf("instanceStarted\n");
        std::fflush(stdout);
    });
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&app] {
        char line[64];
        if (!std::fgets(line, sizeof(line), stdin) || QByteArray(line).startsWith("quit"))
            app.quit();
    });
    QTimer::singleShot(90000, &app, &QCoreApplication::quit);
    return app.exec();
}

namespace {

struct Instance {
    std::unique_ptr<QProcess> process;
    bool primary = false;
    bool listenFailed = false;
    QString socket;
};

// What the guard keeps in the user's runtime folder.
QStringList runtimeFiles()
{
    return QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
}

// The shared-memory segments of the machine (System V and POSIX).
QStringList sharedMemory()
{
    QProcess ipcs;
    ipcs.start("ipcs", {"-m"});
    ipcs.waitForFinished(10000);
    return QString::fromLocal8Bit(ipcs.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts)
           + QDir("/dev/shm").entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
}

Instance startInstance()
{
    Instance instance;
    instance.process.reset(new QProcess());
    instance.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    instance.process->start(QCoreApplication::applicationFilePath(), {"--instance"});
    return instance;
}

bool readVerdict(Instance& instance, int timeoutMs = 30000)
{
    QProcess& p = *instance.process;
    QElapsedTimer clock;
    clock.start();
    while (!p.canReadLine() && clock.elapsed() < timeoutMs) {
        if (!p.waitForReadyRead(100) && p.state() == QProcess::NotRunning && !p.canReadLine())
            return false;
    }
    const QByteArray line = p.readLine().trimmed();
    if (!line.startsWith("primary="))
        return false;
    instance.primary = line.mid(8, 1) == "1";
    instance.listenFailed = line.contains("listenFailed=1");
    instance.socket = QString::fromUtf8(line.mid(line.indexOf("socket=") + 7));
    return true;
}

// The block name keys the socket: "tavrin-<name>.socket".
QString blockName(const Instance& instance)
{
    const QString base = QFileInfo(instance.socket).completeBaseName();
    return base.mid(base.indexOf('-') + 1);
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

void stopInstance(Instance& instance)
{
    if (!instance.process || instance.process->state() == QProcess::NotRunning)
        return;
    instance.process->write("quit\n");
    instance.process->closeWriteChannel();
    if (!instance.process->waitForFinished(10000)) {
        instance.process->kill();
        instance.process->waitForFinished(5000);
    }
}

QByteArray lengthOnly(qint64 length)
{
    QByteArray header;
    QDataStream head(&header, QIODevice::WriteOnly);
    head.setVersion(QDataStream::Qt_5_6);
    head << length;
    return header;
}

QByteArray frame(const QString& name, qint8 type, qint32 id, bool breakChecksum)
{
    QByteArray body;
    QDataStream out(&body, QIODevice::WriteOnly);
    out.setVersion(QDataStream::Qt_5_6);
    out << name.toLatin1() << type << id;
    quint16 checksum = qChecksum(body.constData(), static_cast<uint>(body.size()));
    out << static_cast<quint16>(breakChecksum ? checksum ^ 0x5a5a : checksum);
    return lengthOnly(body.size()) + body;
}

} // namespace

class TestSingleApplication : public QObject
{
    Q_OBJECT
private slots:
    void secondStartIsRefusedAndAnnounced()
    {
        const QStringList segments = sharedMemory();
        Instance first = startInstance();
        QVERIFY(readVerdict(first));
        QVERIFY(first.primary);
        // The block and the socket are in the private runtime folder, and
        // nowhere in the machine's shared memory.
        const QFileInfo socket(first.socket);
        QCOMPARE(socket.absolutePath(), qEnvironmentVariable("XDG_RUNTIME_DIR"));
        QCOMPARE(QFileInfo(socket.absolutePath()).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QString block = socket.completeBaseName() + ".block";
        QCOMPARE(runtimeFiles(), QStringList({block, socket.fileName()}));
        QCOMPARE(QFileInfo(socket.absolutePath() + "/" + block).permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(sharedMemory(), segments);

        Instance second = startInstance();
        QVERIFY(readVerdict(second));
        QVERIFY(!second.primary);
        QCOMPARE(second.socket, first.socket);
        QVERIFY(second.process->waitForFinished(10000));
        QVERIFY(waitForLine(*first.process, "instanceStarted", 10000));
        stopInstance(first);
        QCOMPARE(first.process->exitCode(), 0);
        QCOMPARE(runtimeFiles(), QStringList()); // nothing left behind

        // After an orderly end the next start is primary again.
        Instance third = startInstance();
        QVERIFY(readVerdict(third));
        QVERIFY(third.primary);
        stopInstance(third);
    }

    // 20 rounds of kill -9 then start: each start is the primary at once and
    // finds at most the one block and socket of the killed one.
    void killedPrimaryIsReplacedAtOnce()
    {
        const QStringList segments = sharedMemory();
        Instance previous = startInstance();
        QVERIFY(readVerdict(previous));
        QVERIFY(previous.primary);
        for (int round = 0; round < 20; ++round) {
            previous.process->kill(); // SIGKILL: no clean-up at all
            QVERIFY(previous.process->waitForFinished(5000));
            QCOMPARE(runtimeFiles().size(), 2);

            QElapsedTimer clock;
            clock.start();
            Instance next = startInstance();
            QVERIFY(readVerdict(next));
            QVERIFY2(next.primary, qPrintable(QString("round %1").arg(round)));
            // No back-off of several seconds was needed.
            QVERIFY2(clock.elapsed() < 7000, qPrintable(QString::number(clock.elapsed())));
            QCOMPARE(runtimeFiles().size(), 2);
            previous = std::move(next);
        }
        QCOMPARE(sharedMemory(), segments);
        stopInstance(previous);
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // A primary that cannot listen on its socket does not stay the primary.
    void primaryThatCannotListenStepsDown()
    {
        Instance first = startInstance();
        QVERIFY(readVerdict(first));
        stopInstance(first);
        QVERIFY(QDir().mkpath(first.socket + "/in-the-way"));
        Instance deaf = startInstance();
        QVERIFY(readVerdict(deaf));
        QVERIFY(!deaf.primary);
        QVERIFY(deaf.listenFailed);
        QVERIFY(deaf.process->waitForFinished(10000));
        QVERIFY(QDir(first.socket).removeRecursively());
        Instance next = startInstance();
        QVERIFY(readVerdict(next));
        QVERIFY(next.primary);
        stopInstance(next);
    }

    void tenSimultaneousStartsGiveOnePrimary()
    {
        std::vector<Instance> instances;
        for (int i = 0; i < 10; ++i)
            instances.push_back(startInstance());
        int primaries = 0;
        for (Instance& instance : instances) {
            QVERIFY(readVerdict(instance, 60000));
            primaries += instance.primary ? 1 : 0;
        }
        QCOMPARE(primaries, 1);
        for (Instance& instance : instances)
            stopInstance(instance);
    }

    void primarySurvivesBadClients_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("keepOpen");
        QTest::newRow("length of gigabytes") << lengthOnly(Q_INT64_C(8) << 30) << true;
        QTest::newRow("largest length") << lengthOnly(std::numeric_limits<qint64>::max()) << true;
        QTest::newRow("negative length") << lengthOnly(-5) << true;
        QTest::newRow("zero length") << lengthOnly(0) << true;
        QTest::newRow("short body, open") << lengthOnly(60) + QByteArray(10, 'x') << true;
        QTest::newRow("short body, closed") << lengthOnly(60) + QByteArray(10, 'x') << false;
        QTest::newRow("half a header") << QByteArray("\x00\x00\x00", 3) << true;
        QTest::newRow("garbage") << QByteArray(64, '\xa7') << true;
        QTest::newRow("name length beyond body") << lengthOnly(20) + QByteArray("\x7f\xff\xff\xff", 4) + QByteArray(16, 'a') << true;
        QTest::newRow("wrong name") << frame("someone-else", 1, 0, false) << true;
    }

    void primarySurvivesBadClients()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, keepOpen);
        if (!primary.process) {
            primary = startInstance();
            QVERIFY(readVerdict(primary));
            QVERIFY(primary.primary);
        }

        QLocalSocket client;
        client.connectToServer(primary.socket);
        QVERIFY(client.waitForConnected(5000));
        client.write(payload);
        QVERIFY(client.waitForBytesWritten(5000));
        if (keepOpen) {
            // The primary drops the connection, at the latest when the
            // notice has not come in time.
            if (client.state() != QLocalSocket::UnconnectedState)
                QVERIFY(client.waitForDisconnected(10000));
        } else {
            client.disconnectFromServer();
        }

        QCOMPARE(primary.process->state(), QProcess::Running);
        QVERIFY(!waitForLine(*primary.process, "instanceStarted", 200));
        // It still answers a real second start.
        Instance second = startInstance();
        QVERIFY(readVerdict(second));
        QVERIFY(!second.primary);
        QVERIFY(second.process->waitForFinished(10000));
        QVERIFY(waitForLine(*primary.process, "instanceStarted", 10000));
    }

    void wrongChecksumOfTheRealNameIsDropped()
    {
        if (!primary.process)
            QSKIP("needs the primary of the previous test");
        QLocalSocket client;
        client.connectToServer(primary.socket);
        QVERIFY(client.waitForConnected(5000));
        client.write(frame(blockName(primary), 1, 0, true));
        QVERIFY(client.waitForBytesWritten(5000));
        if (client.state() != QLocalSocket::UnconnectedState)
            QVERIFY(client.waitForDisconnected(10000));
        QVERIFY(!waitForLine(*primary.process, "instanceStarted", 500));

        // The same frame with its checksum right is a notice.
        QLocalSocket good;
        good.connectToServer(primary.socket);
        QVERIFY(good.waitForConnected(5000));
        good.write(frame(blockName(primary), 1, 0, false));
        QVERIFY(good.waitForBytesWritten(5000));
        QVERIFY(waitForLine(*primary.process, "instanceStarted", 10000));
    }

    void cleanupTestCase()
    {
        stopInstance(primary);
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
