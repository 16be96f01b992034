// The installed host against the floor program (BenchFloor), measured in the
// same run:
//   - start-up: exec to the first HTTP answer (median of runs), as a ratio;
//   - idle: CPU over a period at rest (percent of one core), resident and
//     private memory, as ratios;
//   - 10,000 HTTP requests on fresh connections, 10,000 on one connection
//     each after the previous answer, and 10,000 pipelined on one connection
//     (requests per second), in two rounds, with the host's memory and open
//     descriptors at rest and after each round;
//   - WebSocket ping floods by 1, 8 and 32 clients that send pings and never
//     read: the clients the host drops, its resident memory before, at the
//     peak and after.
// Usage: BenchHost <installed Server folder> <BenchFloor> [idle seconds]
// The host runs with a scratch home and Qt's offscreen platform.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include "BenchSupport.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <initializer_list>
#include <vector>

namespace {

constexpr int kStartRuns = 11;
constexpr int kRequests = 10000;
const QByteArray kKeptRequest = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";
const QByteArray kRequest = "GET / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";

// Sends bytes on a fresh connection and reads until the server closes; the
// number of answers ("HTTP/1.1 " heads) read, -1 when nobody listens.
int exchange(quint16 port, const QByteArray& bytes)
{
    const int fd = bench::loopbackSocket(port, false);
    if (fd < 0)
        return -1;
    for (int sent = 0; sent < bytes.size();) {
        const ssize_t count = send(fd, bytes.constData() + sent, size_t(bytes.size() - sent), MSG_NOSIGNAL);
        if (count <= 0)
            break;
        sent += int(count);
    }
    QByteArray answer;
    char buffer[65536];
    ssize_t count = 0;
    while ((count = recv(fd, buffer, sizeof buffer, 0)) > 0)
        answer.append(buffer, int(count));
    close(fd);
    return answer.count("HTTP/1.1 ");
}

// Sends count requests on one connection, each after the whole previous
// answer; the number of answers.
int oneAfterAnother(quint16 port, int count)
{
    const int fd = bench::loopbackSocket(port, false);
    if (fd < 0)
        return 0;
    QByteArray received;
    char buffer[65536];
    int answered = 0;
    for (; answered < count; ++answered) {
        if (send(fd, kKeptRequest.constData(), size_t(kKeptRequest.size()), MSG_NOSIGNAL) != kKeptRequest.size())
            break;
        for (;;) {
            const int headEnd = received.indexOf("\r\n\r\n");
            const int lengthAt = received.indexOf("Content-Length: ");
            if (headEnd >= 0 && lengthAt >= 0 && lengthAt < headEnd) {
                const int end =
                    headEnd + 4 + received.mid(lengthAt + 16, headEnd - lengthAt - 16).split('\r').first().toInt();
                if (received.size() >= end) {
                    received.remove(0, end);
                    break;
                }
            }
            const ssize_t got = recv(fd, buffer, sizeof buffer, 0);
            if (got <= 0) {
                close(fd);
                return answered;
            }
            received.append(buffer, int(got));
        }
    }
    close(fd);
    return answered;
}

struct Started
{
    QProcess* process = nullptr;
    double milliseconds = -1;
};

// Starts program and waits for its first answer on port.
Started start(const QString& program, const QStringList& arguments, const QString& folder,
              const QProcessEnvironment& env, quint16 port)
{
    Started started;
    started.process = new QProcess;
    started.process->setProcessEnvironment(env);
    started.process->setWorkingDirectory(folder);
    started.process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    started.process->setStandardOutputFile(QProcess::nullDevice());
    QElapsedTimer clock;
    clock.start();
    started.process->start(program, arguments);
    if (!started.process->waitForStarted(10000))
        return started;
    while (clock.elapsed() < 60000 && started.process->state() == QProcess::Running) {
        if (exchange(port, kRequest) > 0) {
            started.milliseconds = clock.nsecsElapsed() / 1e6;
            break;
        }
        QThread::usleep(500);
    }
    return started;
}

void stop(Started& started)
{
    started.process->terminate();
    if (!started.process->waitForFinished(15000)) {
        started.process->kill();
        started.process->waitForFinished(5000);
    }
    delete started.process;
    started.process = nullptr;
}

// CPU ticks (user + system) of a process.
long long cpuTicks(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields[11].toLongLong() + fields[12].toLongLong() : -1;
}

// The sum of fields (KiB figures) of a file of /proc/<pid>/.
long long procKiB(qint64 pid, const char* file, std::initializer_list<const char*> fields)
{
    QFile status(QStringLiteral("/proc/%1/%2").arg(pid).arg(QLatin1String(file)));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    long long sum = 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        for (const char* field : fields) {
            if (line.startsWith(field))
                sum += line.mid(int(qstrlen(field))).trimmed().split(' ').first().toLongLong();
        }
    }
    return sum;
}

long long residentKiB(qint64 pid)
{
    return procKiB(pid, "status", {"VmRSS:"});
}

long long privateKiB(qint64 pid)
{
    return procKiB(pid, "smaps_rollup", {"Private_Clean:", "Private_Dirty:"});
}

struct Flood
{
    int dropped = 0;
    long long peakKiB = 0;
};

// Opens clients WebSocket connections that send pings as fast as the host
// takes them for seconds and never read, sampling the host's resident
// memory; the connections are closed at the end.
Flood pingFlood(qint64 pid, quint16 port, int clients, int seconds)
{
    static const QByteArray handshake = "GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                                        "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                                        "Sec-WebSocket-Version: 13\r\n\r\n";
    // Masked pings of 125 bytes with a mask key of zeros.
    const QByteArray pings = (QByteArray("\x89\xFD\0\0\0\0", 6) + QByteArray(125, 'p')).repeated(64);
    std::vector<pollfd> open;
    for (int i = 0; i < clients; ++i) {
        const int fd = bench::loopbackSocket(port, false);
        char answer[512] = {};
        if (fd < 0 || send(fd, handshake.constData(), size_t(handshake.size()), MSG_NOSIGNAL) != handshake.size()
            || recv(fd, answer, sizeof answer - 1, 0) <= 0 || qstrncmp(answer, "HTTP/1.1 101", 12) != 0) {
            std::fprintf(stderr, "no WebSocket opening on port %u\n", unsigned(port));
            if (fd >= 0)
                close(fd);
            continue;
        }
        fcntl(fd, F_SETFL, O_NONBLOCK);
        open.push_back({fd, POLLOUT, 0});
    }
    Flood flood;
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < seconds * 1000) {
        poll(open.data(), open.size(), 10);
        for (pollfd& client : open) {
            if (client.fd >= 0 && (client.revents & (POLLOUT | POLLERR | POLLHUP))
                && send(client.fd, pings.constData(), size_t(pings.size()), MSG_NOSIGNAL) < 0 && errno != EAGAIN) {
                ++flood.dropped;
                close(client.fd);
                client.fd = -1; // poll skips it
            }
        }
        flood.peakKiB = std::max(flood.peakKiB, residentKiB(pid));
    }
    for (const pollfd& client : open) {
        if (client.fd >= 0)
            close(client.fd);
    }
    return flood;
}

int openDescriptors(qint64 pid)
{
    return int(QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryList(QDir::NoDotAndDotDot | QDir::System).size());
}

} // namespace

int main(int argc, char* argv[])
{
    std::setvbuf(stdout, nullptr, _IOLBF, 0); // each figure shows as it is measured, also in a file
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: BenchHost <installed Server folder> <BenchFloor> [idle seconds]\n");
        return 2;
    }
    const QString serverDir = QString::fromLocal8Bit(argv[1]);
    const QString floorProgram = QString::fromLocal8Bit(argv[2]);
    const int idleSeconds = argc > 3 ? QByteArray(argv[3]).toInt() : 60;

    QFile benchmark(serverDir + QStringLiteral("/maintain/Setup.xml.benchmark"));
    if (!benchmark.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "no installed host in %s\n", argv[1]);
        return 1;
    }
    const QString setup = QString::fromUtf8(benchmark.readAll());
    const auto port = [&setup](const char* key) {
        return quint16(QRegularExpression(QStringLiteral("<%1>(\\d+)</%1>").arg(QLatin1String(key)))
                           .match(setup)
                           .captured(1)
                           .toUInt());
    };
    const quint16 hostPort = port("Http");
    const quint16 webSocketPort = port("WebSocket");
    if (exchange(hostPort, kRequest) >= 0) {
        std::fprintf(stderr, "port %u is already in use: the host would not get it\n", unsigned(hostPort));
        return 1;
    }
    const quint16 floorPort = bench::freePort();

    QTemporaryDir scratch;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = scratch.path() + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        env.insert(QLatin1String(name), folder);
    }
    const QString hostProgram = serverDir + QStringLiteral("/Palvex.Framework.S");

    // Start-up, alternating the two programs. The first host start also lays
    // out the scratch home; it is measured like the others.
    std::vector<double> hostTimes;
    std::vector<double> floorTimes;
    for (int run = 0; run < kStartRuns; ++run) {
        Started floor = start(floorProgram, {QString::number(floorPort)}, serverDir, env, floorPort);
        Started host = start(hostProgram, {}, serverDir, env, hostPort);
        if (floor.milliseconds < 0 || host.milliseconds < 0) {
            std::fprintf(stderr, "no answer from the %s\n", floor.milliseconds < 0 ? "floor" : "host");
            return 1;
        }
        floorTimes.push_back(floor.milliseconds);
        hostTimes.push_back(host.milliseconds);
        stop(floor);
        stop(host);
    }
    const double hostStart = bench::median(hostTimes);
    const double floorStart = bench::median(floorTimes);
    std::printf(
        "start-up to first HTTP answer (median of %d): host %.1f ms, floor %.1f ms, ratio %.2f (target <= 1.5)\n",
        kStartRuns, hostStart, floorStart, hostStart / floorStart);

    // Idle: both running side by side, after a settling pause.
    Started floor = start(floorProgram, {QString::number(floorPort)}, serverDir, env, floorPort);
    Started host = start(hostProgram, {}, serverDir, env, hostPort);
    QThread::sleep(3);
    const qint64 hostPid = host.process->processId();
    const qint64 floorPid = floor.process->processId();
    const long long hostTicks = cpuTicks(hostPid);
    const long long floorTicks = cpuTicks(floorPid);
    QThread::sleep(static_cast<unsigned long>(idleSeconds));
    const double ticksPerSecond = double(sysconf(_SC_CLK_TCK));
    const double hostCpu = 100.0 * double(cpuTicks(hostPid) - hostTicks) / ticksPerSecond / idleSeconds;
    const double floorCpu = 100.0 * double(cpuTicks(floorPid) - floorTicks) / ticksPerSecond / idleSeconds;
    const long long hostRss = residentKiB(hostPid);
    const long long floorRss = residentKiB(floorPid);
    const long long hostPrivate = privateKiB(hostPid);
    const long long floorPrivate = privateKiB(floorPid);
    std::printf("idle CPU over %d s: host %.3f %% of a core (target <= 0.1 %%), floor %.3f %%\n", idleSeconds, hostCpu,
                floorCpu);
    std::printf("resident memory at rest: host %lld KiB, floor %lld KiB, ratio %.2f (target <= 1.3)\n", hostRss,
                floorRss, double(hostRss) / double(floorRss));
    std::printf("private memory at rest: host %lld KiB, floor %lld KiB, ratio %.2f\n", hostPrivate, floorPrivate,
                double(hostPrivate) / double(floorPrivate));
    stop(floor);

    // Requests.
    const int fdsBefore = openDescriptors(hostPid);
    QByteArray pipelined;
    for (int i = 1; i < kRequests; ++i)
        pipelined += kKeptRequest;
    pipelined += kRequest; // the last one closes
    // Two rounds: a first rise of memory can be caches and allocator pools;
    // growth is what the second round adds on top of the first.
    long long rssAfter[2] = {0, 0};
    int fdsAfter[2] = {0, 0};
    for (int round = 0; round < 2; ++round) {
        QElapsedTimer clock;
        clock.start();
        int answered = 0;
        for (int i = 0; i < kRequests; ++i)
            answered += std::max(0, exchange(hostPort, kRequest));
        const double fresh = kRequests / (clock.nsecsElapsed() / 1e9);
        clock.restart();
        const int keptAnswered = oneAfterAnother(hostPort, kRequests);
        const double kept = kRequests / (clock.nsecsElapsed() / 1e9);
        clock.restart();
        const int onOne = exchange(hostPort, pipelined);
        const double piped = kRequests / (clock.nsecsElapsed() / 1e9);
        QThread::sleep(1);
        rssAfter[round] = residentKiB(hostPid);
        fdsAfter[round] = openDescriptors(hostPid);
        std::printf("round %d: %d requests on fresh connections: %d answered, %.0f requests/s\n", round + 1, kRequests,
                    answered, fresh);
        std::printf("round %d: %d requests on one connection, each after the previous answer: %d answered, "
                    "%.0f requests/s\n",
                    round + 1, kRequests, keptAnswered, kept);
        std::printf("round %d: %d requests pipelined on one connection: %d answered, %.0f requests/s\n", round + 1,
                    kRequests, onOne, piped);
    }
    std::printf("host resident memory: %lld KiB at rest, %lld after round 1, %lld after round 2 (growth in round 2: "
                "%lld KiB)\n",
                hostRss, rssAfter[0], rssAfter[1], rssAfter[1] - rssAfter[0]);
    std::printf("host open descriptors: %d at rest, %d after round 1, %d after round 2\n", fdsBefore, fdsAfter[0],
                fdsAfter[1]);

    for (const int clients : {1, 8, 32}) {
        const long long before = residentKiB(hostPid);
        const Flood flood = pingFlood(hostPid, webSocketPort, clients, 3);
        QThread::sleep(2);
        std::printf("ping flood by %d clients for 3 s: %d dropped; host resident memory %lld KiB before, %lld at the "
                    "peak, %lld 2 s after\n",
                    clients, flood.dropped, before, flood.peakKiB, residentKiB(hostPid));
    }
    stop(host);
    return 0;
}
