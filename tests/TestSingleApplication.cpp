// The single-instance guard across real processes: the test runs copies of
// itself with "--instance"; each constructs the guard as the host does and
// prints what it became, and a primary stays up (printing every notice it
// receives) until it reads "quit" or its input closes.
#include "SingleApplication.h"
#include "TestScratch.h"
#include "TestSupport.h"

#include <Platform.h>

#include <QDataStream>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QSocketNotifier>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

#include <cstdio>
#include <memory>
#include <vector>

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
    std::unique_ptr<QProcess> process{new QProcess};
    int primary = -1; // 1: primary, 0: not, -1: no answer
    bool listenFailed = false;
    QString socket;
};

// What the guard keeps in the user's runtime folder.
QStringList runtimeFiles()
{
    return QDir(qEnvironmentVariable("XDG_RUNTIME_DIR")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System);
}

void start(Instance& instance)
{
    instance.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    instance.process->start(QCoreApplication::applicationFilePath(), {"--instance"});
}

// Reads what a started instance became; false when it did not say.
bool readVerdict(Instance& instance, int timeoutMs = 30000)
{
    QProcess& p = *instance.process;
    QElapsedTimer clock;
    clock.start();
    while (!p.canReadLine() && clock.elapsed() < timeoutMs) {
        if (!p.waitForReadyRead(100) && p.state() == QProcess::NotRunning)
            break;
    }
    const QByteArray line = p.readLine().trimmed();
    instance.primary = line.startsWith("primary=") ? line.mid(8, 1).toInt() : -1;
    instance.listenFailed = line.contains("listenFailed=1");
    instance.socket = QString::fromUtf8(line.mid(line.indexOf("socket=") + 7));
    return line.startsWith("primary=");
}

Instance started()
{
    Instance instance;
    start(instance);
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
    if (instance.process->state() == QProcess::NotRunning)
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
    QDataStream(&header, QIODevice::WriteOnly) << length;
    return header;
}

// A notice frame. A padded one (bodyLength) carries checksum 0 and two
// bytes before its last two that make the sum over all but those come out 0.
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
        for (int pad = 0; pad <= 0xffff; ++pad) {
            body[bodyLength - 4] = char(pad >> 8);
            body[bodyLength - 3] = char(pad);
            if (qChecksum(body.constData(), uint(bodyLength - 2)) == 0)
                break;
        }
    }
    return lengthOnly(body.size()) + body;
}

} // namespace

class TestSingleApplication : public QObject
{
    Q_OBJECT
private slots:
    void secondStartIsRefusedAndAnnounced()
    {
        Instance first = started();
        QCOMPARE(first.primary, 1);
        // The block and the socket are in the private runtime folder, the block private.
        const QFileInfo socket(first.socket);
        QCOMPARE(socket.absolutePath(), qEnvironmentVariable("XDG_RUNTIME_DIR"));
        const QString block = socket.completeBaseName() + ".block";
        QCOMPARE(runtimeFiles(), QStringList({block, socket.fileName()}));
        QCOMPARE(QFileInfo(socket.absolutePath() + "/" + block).permissions() & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner);

        Instance second = started();
        QCOMPARE(second.primary, 0);
        QCOMPARE(second.socket, first.socket);
        QVERIFY(second.process->waitForFinished(10000));
        QVERIFY(waitForLine(*first.process, "instanceStarted", 10000));
        stop(first);
        QCOMPARE(first.process->exitCode(), 0);
        QCOMPARE(runtimeFiles(), QStringList()); // nothing left behind
    }

    // 20 rounds of kill -9 then start: each start is the primary at once. In
    // odd rounds the killed one's block is locked while the next starts, so
    // that it is not removed as abandoned but found with its primary gone.
    void killedPrimaryIsReplacedAtOnce()
    {
        Instance previous = started();
        QCOMPARE(previous.primary, 1);
        for (int round = 0; round < 20; ++round) {
            previous.process->kill(); // SIGKILL: no clean-up at all
            QVERIFY(previous.process->waitForFinished(5000));
            QCOMPARE(runtimeFiles().size(), 2);
            platform::SharedBlock held;
            bool created = false;
            const QString blockPath = previous.socket.chopped(7) + ".block";
            if (round % 2)
                QVERIFY(platform::openSharedBlockLocked(blockPath.toStdString(), 152, held, created));

            QElapsedTimer clock;
            clock.start();
            Instance next;
            start(next);
            if (round % 2) { // the next start waits for the lock, then it is released
                struct stat file {};
                QCOMPARE(::stat(qPrintable(blockPath), &file), 0);
                QTRY_VERIFY(tst::readText("/proc/locks").contains(QRegularExpression(QString("-> .*:%1 0 0\n").arg(file.st_ino))));
                platform::closeSharedBlock(held, false);
            }
            QVERIFY(readVerdict(next));
            QVERIFY2(next.primary == 1, qPrintable(QString("round %1").arg(round)));
            QVERIFY2(clock.elapsed() < 7000, qPrintable(QString::number(clock.elapsed()))); // no back-off
            QCOMPARE(runtimeFiles().size(), 2);
            previous = std::move(next);
        }
        stop(previous);
        QCOMPARE(runtimeFiles(), QStringList());
    }

    // A primary that cannot listen on its socket does not stay the primary.
    void primaryThatCannotListenStepsDown()
    {
        Instance first = started();
        stop(first);
        QVERIFY(QDir().mkpath(first.socket + "/in-the-way"));
        Instance deaf = started();
        QCOMPARE(deaf.primary, 0);
        QVERIFY(deaf.listenFailed);
        QVERIFY(deaf.process->waitForFinished(10000));
        QVERIFY(QDir(first.socket).removeRecursively());
        Instance next = started();
        QCOMPARE(next.primary, 1);
        stop(next);
    }

    void tenSimultaneousStartsGiveOnePrimary()
    {
        std::vector<Instance> instances(10);
        for (Instance& instance : instances)
            start(instance);
        int primaries = 0;
        for (Instance& instance : instances) {
            QVERIFY(readVerdict(instance, 60000));
            primaries += instance.primary;
        }
        QCOMPARE(primaries, 1);
        for (Instance& instance : instances)
            stop(instance);
    }

    // Only a whole, sound notice of this block raises the primary; whatever
    // else a client sends, the primary drops it and serves on.
    void onlySoundNoticesCount_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("keepOpen");
        QTest::addColumn<bool>("notice");
        primary = started();
        const QString base = QFileInfo(primary.socket).completeBaseName();
        const QString name = base.mid(base.indexOf('-') + 1); // "tavrin-<block name>.socket"
        QTest::newRow("length of gigabytes") << lengthOnly(Q_INT64_C(8) << 30) << true << false;
        QTest::newRow("negative length") << lengthOnly(-5) << true << false;
        QTest::newRow("zero length") << lengthOnly(0) << true << false;
        QTest::newRow("short body, open") << lengthOnly(60) + QByteArray(10, 'x') << true << false;
        QTest::newRow("short body, closed") << lengthOnly(60) + QByteArray(10, 'x') << false << false;
        QTest::newRow("garbage") << QByteArray(64, '\xa7') << true << false;
        QTest::newRow("name length beyond body") << lengthOnly(20) + QByteArray("\x7f\xff\xff\xff", 4) + QByteArray(16, 'a') << true << false;
        QTest::newRow("wrong name") << frame("someone-else", false) << true << false;
        QTest::newRow("damaged checksum") << frame(name, true) << true << false;
        QTest::newRow("sound but longer than allowed") << frame(name, false, 4097) << true << false;
        QTest::newRow("sound") << frame(name, false) << true << true;
    }
    void onlySoundNoticesCount()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, keepOpen);
        QFETCH(bool, notice);
        QCOMPARE(primary.primary, 1);
        QLocalSocket client;
        client.connectToServer(primary.socket);
        QVERIFY(client.waitForConnected(5000));
        client.write(payload);
        QVERIFY(client.waitForBytesWritten(5000));
        if (notice)
            QVERIFY(waitForLine(*primary.process, "instanceStarted", 10000));
        else if (!keepOpen)
            client.disconnectFromServer();
        else if (client.state() != QLocalSocket::UnconnectedState) // dropped, at the latest when the notice is late
            QVERIFY(client.waitForDisconnected(10000));
        QCOMPARE(primary.process->state(), QProcess::Running);
        QVERIFY(!waitForLine(*primary.process, "instanceStarted", 200));
        // It still answers a real second start.
        Instance second = started();
        QCOMPARE(second.primary, 0);
        QVERIFY(second.process->waitForFinished(10000));
        QVERIFY(waitForLine(*primary.process, "instanceStarted", 10000));
    }

    void cleanupTestCase() { stop(primary); }

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
