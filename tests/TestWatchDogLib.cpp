// The watchdog library against a notify socket bound by the test.

#include "WatchDog/WatchDog.h"

#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A datagram socket standing in for the service manager's notify socket.
class NotifySocket
{
public:
    explicit NotifySocket(const QString& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray bytes = path.toLocal8Bit();
        std::strncpy(address.sun_path, bytes.constData(), sizeof(address.sun_path) - 1);
        m_bound = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        timeval timeout{2, 0};
        ::setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool bound() const { return m_bound; }
    // The next message; empty after 2 s without one.
    QByteArray receive()
    {
        char buffer[512];
        const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), 0);
        return n > 0 ? QByteArray(buffer, static_cast<int>(n)) : QByteArray();
    }
    // Whether a message is waiting, without blocking.
    bool hasMessage()
    {
        char buffer[8];
        return ::recv(m_fd, buffer, sizeof(buffer), MSG_DONTWAIT | MSG_PEEK) > 0;
    }

private:
    int m_fd = -1;
    bool m_bound = false;
};

} // namespace

class TestWatchDogLib : public QObject
{
    Q_OBJECT

private slots:
    void notifiesReadyAliveAndStopping();
    void withoutNotifySocketNothingFails();
    void unknownCodeSendsNothing();
};

void TestWatchDogLib::notifiesReadyAliveAndStopping()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.path() + "/notify";
    NotifySocket socket(path);
    QVERIFY(socket.bound());
    qputenv("NOTIFY_SOCKET", path.toLocal8Bit());

    QCOMPARE(OpenWatchDog(5), 0);
    QCOMPARE(SendHeartbeat(0), 0);
    QCOMPARE(SendHeartbeat(0), 0);
    QCOMPARE(SendHeartbeat(2), 0);
    QCOMPARE(socket.receive(), QByteArray("READY=1"));
    QCOMPARE(socket.receive(), QByteArray("WATCHDOG=1"));
    QCOMPARE(socket.receive(), QByteArray("WATCHDOG=1"));
    QCOMPARE(socket.receive(), QByteArray("STOPPING=1"));
    QVERIFY(!socket.hasMessage());
    qunsetenv("NOTIFY_SOCKET");
}

void TestWatchDogLib::withoutNotifySocketNothingFails()
{
    qunsetenv("NOTIFY_SOCKET");
    QCOMPARE(OpenWatchDog(5), 0);
    QCOMPARE(SendHeartbeat(0), 0);
    QCOMPARE(SendHeartbeat(2), 0);
}

void TestWatchDogLib::unknownCodeSendsNothing()
{
    QTemporaryDir dir;
    const QString path = dir.path() + "/notify";
    NotifySocket socket(path);
    QVERIFY(socket.bound());
    qputenv("NOTIFY_SOCKET", path.toLocal8Bit());
    QCOMPARE(SendHeartbeat(7), -1);
    QVERIFY(!socket.hasMessage());
    // A socket that is gone is reported, not ignored.
    qputenv("NOTIFY_SOCKET", (dir.path() + "/missing").toLocal8Bit());
    QCOMPARE(SendHeartbeat(0), -1);
    qunsetenv("NOTIFY_SOCKET");
}

QTEST_GUILESS_MAIN(TestWatchDogLib)
#include "TestWatchDogLib.moc"
