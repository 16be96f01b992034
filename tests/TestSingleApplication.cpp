#include "SingleApplication.h"

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
    std::printf("primary=%d block=%s\n", app.isPrimary() ? 1 : 0, qPrintable(app.blockName()));
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
    QString block;
};

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
    instance.block = QString::fromLatin1(line.mid(line.indexOf("block=") + 6));
    return true;
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
        Instance first = startInstance();
        QVERIFY(readVerdict(first));
        QVERIFY(first.primary);
        Instance second = startInstance();
        QVERIFY(readVerdict(second));
        QVERIFY(!second.primary);
        QCOMPARE(second.block, first.block);
        QVERIFY(second.process->waitForFinished(10000));
        QVERIFY(waitForLine(*first.process, "instanceStarted", 10000));
        stopInstance(first);
        QCOMPARE(first.process->exitCode(), 0);

        // After an orderly end the next start is primary again.
        Instance third = startInstance();
        QVERIFY(readVerdict(third));
        QVERIFY(third.primary);
        stopInstance(third);
    }

    void killedPrimaryIsReplacedAtOnce()
    {
        Instance first = startInstance();
        QVERIFY(readVerdict(first));
        QVERIFY(first.primary);
        first.process->kill(); // SIGKILL: no clean-up at all
        QVERIFY(first.process->waitForFinished(5000));

        QElapsedTimer clock;
        clock.start();
        Instance next = startInstance();
        QVERIFY(readVerdict(next));
        QVERIFY(next.primary);
        // No back-off of several seconds was needed.
        QVERIFY2(clock.elapsed() < 7000, qPrintable(QString::number(clock.elapsed())));
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
        client.connectToServer(primary.block);
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
        client.connectToServer(primary.block);
        QVERIFY(client.waitForConnected(5000));
        client.write(frame(primary.block, 1, 0, true));
        QVERIFY(client.waitForBytesWritten(5000));
        if (client.state() != QLocalSocket::UnconnectedState)
            QVERIFY(client.waitForDisconnected(10000));
        QVERIFY(!waitForLine(*primary.process, "instanceStarted", 500));

        // The same frame with its checksum right is a notice.
        QLocalSocket good;
        good.connectToServer(primary.block);
        QVERIFY(good.waitForConnected(5000));
        good.write(frame(primary.block, 1, 0, false));
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
    QCoreApplication app(argc, argv);
    TestSingleApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestSingleApplication.moc"
