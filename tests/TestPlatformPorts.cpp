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
    void ownSocketsInSnapshot();
    void ipv6AnyAddress();
    void timeWaitHasNoOwner();
    void unseenOwnerIsUnknownNotFree();
    void addressText();
};

// A listener, both ends of a connection and a UDP socket, each once, owned by
// this process; a socket closed after the snapshot stays in it.
void TestPlatformPorts::ownSocketsInSnapshot()
{
    Socket listener;
    const quint16 serverPort = listenLoopback(listener);
    Socket client(::socket(AF_INET, SOCK_STREAM, 0));
    QVERIFY(serverPort != 0 && connectTo(client.fd, serverPort));
    Socket accepted(::accept(listener.fd, nullptr, nullptr));
    Socket udp(::socket(AF_INET, SOCK_DGRAM, 0));
    QVERIFY(accepted.fd >= 0 && bindLoopback(udp.fd));
    const quint16 clientPort = boundPort(client.fd);
    const quint16 udpPort = boundPort(udp.fd);

    const platform::PortSnapshot snapshot = platform::takePortSnapshot();
    QVERIFY(snapshot.tcpRead && snapshot.udpRead);
    udp.reset();
    QVERIFY(entriesOn(platform::takePortSnapshot(), platform::Protocol::Udp, udpPort).empty());
    QVERIFY(entriesOn(snapshot, platform::Protocol::Tcp, udpPort).empty());
    QStringList rows;
    for (const auto& [protocol, port] : {std::pair{platform::Protocol::Tcp, serverPort},
                                         std::pair{platform::Protocol::Tcp, clientPort},
                                         std::pair{platform::Protocol::Udp, udpPort}}) {
        for (const platform::PortEntry& entry : entriesOn(snapshot, protocol, port)) {
            QCOMPARE(entry.processId, platform::currentProcessId());
            QVERIFY(!entry.localAddress.v6);
            rows << QStringLiteral("%1 %2 %3:%4").arg(port == serverPort ? "server" : port == clientPort ? "client" : "udp")
                        .arg(entry.state).arg(QString::fromStdString(platform::addressToString(entry.remoteAddress)))
                        .arg(entry.remotePort == clientPort ? "client" : entry.remotePort == serverPort ? "server"
                                                                                                       : QString::number(entry.remotePort));
        }
    }
    QStringList expected{QStringLiteral("client %1 127.0.0.1:server").arg(platform::TcpEstablished),
                                QStringLiteral("server %1 0.0.0.0:0").arg(platform::TcpListen),
                                QStringLiteral("server %1 127.0.0.1:client").arg(platform::TcpEstablished),
                                QStringLiteral("udp %1 0.0.0.0:0").arg(platform::TcpStateNone)};
    rows.sort();
    expected.sort();
    QCOMPARE(rows, expected);
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

void TestPlatformPorts::addressText()
{
    for (const cases::AddressText& row : cases::kAddressTexts)
        QCOMPARE(platform::addressToString(cases::toAddress(row)), std::string(row.text));
}

QTEST_GUILESS_MAIN(TestPlatformPorts)
#include "TestPlatformPorts.moc"
