// The port snapshot against sockets this test opens itself.
#include "Platform.h"

#include "PlatformCases.h"

#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// A socket closed when the holder goes out of scope.
struct Socket {
    int fd = -1;
    explicit Socket(int f = -1) : fd(f) {}
    ~Socket() { reset(); }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    void reset()
    {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
};

quint16 boundPort(int fd)
{
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return 0;
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<sockaddr_in6*>(&address)->sin6_port);
    return ntohs(reinterpret_cast<sockaddr_in*>(&address)->sin_port);
}

// Binds an IPv4 loopback socket to a free port.
bool bindLoopback(int fd)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

// Opens a loopback TCP listener on a free port; its port, 0 on failure.
quint16 listenLoopback(Socket& listener)
{
    listener.fd = ::socket(AF_INET, SOCK_STREAM, 0);
    return bindLoopback(listener.fd) && ::listen(listener.fd, 4) == 0 ? boundPort(listener.fd) : 0;
}

bool connectTo(int fd, quint16 port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
}

std::vector<platform::PortEntry> entriesOn(const platform::PortSnapshot& snapshot, platform::Protocol protocol,
                                           quint16 port)
{
    std::vector<platform::PortEntry> found;
    for (const platform::PortEntry& entry : snapshot.entries) {
        if (entry.protocol == protocol && entry.localPort == port)
            found.push_back(entry);
    }
    return found;
}

} // namespace

class TestPlatformPorts : public QObject {
    Q_OBJECT
private slots:
    void tablesAreRead();
    void tcpListening();
    void tcpConnectedBothEnds();
    void udpBound();
    void ipv6AnyAddress();
    void closedAfterSnapshotStaysInIt();
    void timeWaitHasNoOwner();
    void unseenOwnerIsUnknownNotFree();
    void addressText_data();
    void addressText();
};

void TestPlatformPorts::tablesAreRead()
{
    const platform::PortSnapshot snapshot = platform::takePortSnapshot();
    QVERIFY(snapshot.tcpRead);
    QVERIFY(snapshot.udpRead);
}

void TestPlatformPorts::tcpListening()
{
    Socket listener;
    const quint16 port = listenLoopback(listener);
    QVERIFY(port != 0);

    const auto entries = entriesOn(platform::takePortSnapshot(), platform::Protocol::Tcp, port);
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].state, int(platform::TcpListen));
    QCOMPARE(entries[0].processId, platform::currentProcessId());
    QCOMPARE(platform::addressToString(entries[0].localAddress), std::string("127.0.0.1"));
    QVERIFY(!entries[0].localAddress.v6);
}

void TestPlatformPorts::tcpConnectedBothEnds()
{
    Socket listener;
    const quint16 serverPort = listenLoopback(listener);
    QVERIFY(serverPort != 0);
    Socket client(::socket(AF_INET, SOCK_STREAM, 0));
    QVERIFY(connectTo(client.fd, serverPort));
    Socket accepted(::accept(listener.fd, nullptr, nullptr));
    QVERIFY(accepted.fd >= 0);
    const quint16 clientPort = boundPort(client.fd);

    const platform::PortSnapshot snapshot = platform::takePortSnapshot();
    // The server port: the listener and the accepted end.
    const auto server = entriesOn(snapshot, platform::Protocol::Tcp, serverPort);
    QCOMPARE(server.size(), size_t(2));
    int established = 0;
    for (const platform::PortEntry& entry : server) {
        QCOMPARE(entry.processId, platform::currentProcessId());
        if (entry.state == platform::TcpEstablished) {
            ++established;
            QCOMPARE(entry.remotePort, clientPort);
        } else {
            QCOMPARE(entry.state, int(platform::TcpListen));
        }
    }
    QCOMPARE(established, 1);
    // The client end.
    const auto clientEnd = entriesOn(snapshot, platform::Protocol::Tcp, clientPort);
    QCOMPARE(clientEnd.size(), size_t(1));
    QCOMPARE(clientEnd[0].state, int(platform::TcpEstablished));
    QCOMPARE(clientEnd[0].remotePort, serverPort);
    QCOMPARE(platform::addressToString(clientEnd[0].remoteAddress), std::string("127.0.0.1"));
    QCOMPARE(clientEnd[0].processId, platform::currentProcessId());
}

void TestPlatformPorts::udpBound()
{
    Socket udp(::socket(AF_INET, SOCK_DGRAM, 0));
    QVERIFY(bindLoopback(udp.fd));
    const quint16 port = boundPort(udp.fd);

    const platform::PortSnapshot snapshot = platform::takePortSnapshot();
    const auto entries = entriesOn(snapshot, platform::Protocol::Udp, port);
    QCOMPARE(entries.size(), size_t(1));
    QCOMPARE(entries[0].processId, platform::currentProcessId());
    QCOMPARE(entries[0].state, int(platform::TcpStateNone));
    QVERIFY(entriesOn(snapshot, platform::Protocol::Tcp, port).empty());
}

void TestPlatformPorts::ipv6AnyAddress()
{
    Socket listener(::socket(AF_INET6, SOCK_STREAM, 0));
    if (listener.fd < 0)
        QSKIP("no IPv6 on this machine");
    const int off = 0;
    ::setsockopt(listener.fd, IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_any;
    if (::bind(listener.fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        QSKIP("cannot bind an IPv6 socket here");
    QCOMPARE(::listen(listener.fd, 4), 0);
    const quint16 port = boundPort(listener.fd);

    const auto entries = entriesOn(platform::takePortSnapshot(), platform::Protocol::Tcp, port);
    QCOMPARE(entries.size(), size_t(1));
    QVERIFY(entries[0].localAddress.v6);
    QCOMPARE(platform::addressToString(entries[0].localAddress), std::string("::"));
    QCOMPARE(entries[0].state, int(platform::TcpListen));
    QCOMPARE(entries[0].processId, platform::currentProcessId());
}

void TestPlatformPorts::closedAfterSnapshotStaysInIt()
{
    Socket listener;
    const quint16 port = listenLoopback(listener);
    QVERIFY(port != 0);

    const platform::PortSnapshot before = platform::takePortSnapshot();
    listener.reset();
    QCOMPARE(entriesOn(before, platform::Protocol::Tcp, port).size(), size_t(1));
    QVERIFY(entriesOn(platform::takePortSnapshot(), platform::Protocol::Tcp, port).empty());
}

void TestPlatformPorts::timeWaitHasNoOwner()
{
    Socket listener;
    const quint16 serverPort = listenLoopback(listener);
    QVERIFY(serverPort != 0);
    Socket client(::socket(AF_INET, SOCK_STREAM, 0));
    QVERIFY(connectTo(client.fd, serverPort));
    Socket accepted(::accept(listener.fd, nullptr, nullptr));
    const quint16 clientPort = boundPort(client.fd);
    // The side that closes first ends in time-wait, owned by nobody.
    client.reset();
    accepted.reset();

    bool seen = false;
    for (int attempt = 0; attempt < 50 && !seen; ++attempt) {
        for (const platform::PortEntry& entry : entriesOn(platform::takePortSnapshot(), platform::Protocol::Tcp, clientPort)) {
            if (entry.state == platform::TcpTimeWait) {
                QCOMPARE(entry.processId, 0u);
                seen = true;
            }
        }
        if (!seen)
            QTest::qWait(20);
    }
    QVERIFY(seen);
}

void TestPlatformPorts::unseenOwnerIsUnknownNotFree()
{
    if (::geteuid() != 0)
        QSKIP("needs root to look at the sockets as another user");
    Socket listener;
    const quint16 port = listenLoopback(listener);
    QVERIFY(port != 0);

    // A child that gives up root can no longer see this process's descriptors.
    const pid_t child = ::fork();
    QVERIFY(child >= 0);
    if (child == 0) {
        ::close(listener.fd); // the parent alone holds it now
        if (::setgid(65534) != 0 || ::setuid(65534) != 0)
            ::_exit(10);
        const auto entries = entriesOn(platform::takePortSnapshot(), platform::Protocol::Tcp, port);
        if (entries.size() != 1)
            ::_exit(11);
        ::_exit(entries[0].processId == platform::kUnknownOwnerPid ? 0 : 12);
    }
    int status = 0;
    QCOMPARE(::waitpid(child, &status, 0), child);
    QVERIFY(WIFEXITED(status));
    QCOMPARE(WEXITSTATUS(status), 0);
}

void TestPlatformPorts::addressText_data()
{
    QTest::addColumn<int>("row");
    for (size_t i = 0; i < cases::kAddressTexts.size(); ++i)
        QTest::newRow(cases::kAddressTexts[i].label) << int(i);
}

void TestPlatformPorts::addressText()
{
    QFETCH(int, row);
    const cases::AddressText& address = cases::kAddressTexts[size_t(row)];
    QCOMPARE(platform::addressToString(cases::toAddress(address)), std::string(address.text));
}

QTEST_GUILESS_MAIN(TestPlatformPorts)
#include "TestPlatformPorts.moc"
