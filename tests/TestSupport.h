#pragma once
// Helpers shared by the tests: a scratch home, files, log lines in order, a free port, a stand-in notify socket, a private X server.

#include <QByteArray>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTranslator>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

// A private home for a test: HOME, the XDG folders and HOMEDRIVE point into a scratch folder. Construct it before anything reads these variables.
class ScratchHome
{
public:
    // WithDrive: HOMEDRIVE is drive() (public profile <drive>/Users/Public).
    enum Drive { WithoutDrive, WithDrive };

    explicit ScratchHome(Drive drive = WithoutDrive)
    {
        static const struct
        {
            const char* name;
            const char* folder;
        } kVariables[] = {
            {"HOME", "home"},           {"XDG_CONFIG_HOME", "config"},  {"XDG_DATA_HOME", "data"}, {"XDG_CACHE_HOME", "cache"},
            {"XDG_CONFIG_DIRS", "xdg"}, {"XDG_RUNTIME_DIR", "runtime"},
        };
        for (const auto& variable : kVariables) {
            const QString folder = QDir(m_dir.path()).filePath(QLatin1String(variable.folder));
            QDir().mkpath(folder);
            qputenv(variable.name, folder.toUtf8());
        }
        QFile::setPermissions(QDir(m_dir.path()).filePath(QStringLiteral("runtime")), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (drive == WithDrive) {
            QDir().mkpath(this->drive());
            qputenv("HOMEDRIVE", this->drive().toUtf8());
        } else {
            qunsetenv("HOMEDRIVE");
        }
    }

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString drive() const { return QDir(m_dir.path()).filePath(QStringLiteral("drive")); }

private:
    QTemporaryDir m_dir;
};

// main() of a test that runs whole in a scratch home.
#define SCRATCH_TEST_MAIN(Application, TestClass)                                                                                                    \
    int main(int argc, char** argv)                                                                                                                  \
    {                                                                                                                                                \
        ScratchHome home;                                                                                                                            \
        Application app(argc, argv);                                                                                                                 \
        TestClass test;                                                                                                                              \
        return QTest::qExec(&test, argc, argv);                                                                                                      \
    }

namespace tst {

inline QByteArray readBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline QString readText(const QString& path)
{
    return QString::fromUtf8(readBytes(path));
}

// Replaces the file's content, making its folder first.
inline bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Writes the file with a modification time an hour ago (what a write killed long ago left).
inline bool writeOldBytes(const QString& path, const QByteArray& bytes)
{
    std::error_code error;
    return writeBytes(path, bytes)
           && (std::filesystem::last_write_time(QFile::encodeName(path).constData(),
                                                std::filesystem::file_time_type::clock::now() - std::chrono::hours(1), error),
               !error);
}

inline bool writeExecutable(const QString& path, const QByteArray& bytes)
{
    return writeBytes(path, bytes)
           && QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup | QFile::ExeGroup);
}

// The text of the first file of that name below root; empty when there is none.
inline QString findText(const QString& root, const QString& name)
{
    QDirIterator it(root, {name}, QDir::Files, QDirIterator::Subdirectories);
    return it.hasNext() ? readText(it.next()) : QString();
}

// Fails the test unless every line stands in text, each after the one before.
inline void verifyInOrder(const QString& text, const QStringList& lines)
{
    int from = 0;
    for (const QString& line : lines) {
        const int at = text.indexOf(line, from);
        QVERIFY2(at >= 0, qPrintable("missing or out of order: " + line));
        from = at + line.size();
    }
}

// Loads (without installing) every .qm of a built language folder.
inline std::vector<std::unique_ptr<QTranslator>> loadLanguage(const QString& root, const QString& folder)
{
    std::vector<std::unique_ptr<QTranslator>> translators;
    const QDir dir(root + QLatin1Char('/') + folder);
    for (const QString& name : dir.entryList({"*.qm"}, QDir::Files, QDir::Name)) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(name, dir.path()))
            translators.push_back(std::move(translator));
    }
    return translators;
}

// Another host this user runs, by process id and program ("4711 /opt/..."); empty when there is none. A host the tests start would be refused by it.
inline QString runningHost()
{
    for (const QString& pid : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString program = QFileInfo(QStringLiteral("/proc/%1/exe").arg(pid)).symLinkTarget();
        if (program.endsWith(QLatin1String("/Palvex.Framework.S")) && QFileInfo(QStringLiteral("/proc/") + pid).ownerId() == ::getuid())
            return pid + QLatin1Char(' ') + program;
    }
    return QString();
}

// Gives the host of a user-data folder ("<data>/Tavrin/UserData/Framework.S/") these HTTP and WebSocket ports, the rest
// as shipped: a developer's own host may serve on the shipped ones.
inline bool writeHostPorts(const QString& dataDir, int http, int webSocket)
{
    QString setup = readText(QStringLiteral(TAVRIN_STAGE_DIR "/Server/maintain/Setup.xml.benchmark"));
    setup.replace(QRegularExpression(QStringLiteral("<WebSocket>\\d+</WebSocket>")), QStringLiteral("<WebSocket>%1</WebSocket>").arg(webSocket));
    const QString common = QStringLiteral("<CommonConfig><Framework><HttpPort>%1</HttpPort></Framework></CommonConfig>");
    return setup.contains(QLatin1String("<WebSocket>")) && writeBytes(dataDir + "Setup.xml", setup.toUtf8())
           && writeBytes(dataDir + "CommonConfig.xml", common.arg(http).toUtf8());
}

// Runs a program to its end; false (and its output logged) unless it ends with 0.
inline bool run(const QString& program, const QStringList& arguments,
                const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ok = process.waitForFinished(600000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (!ok)
        qWarning("%s %s: %s", qPrintable(program), qPrintable(arguments.join(' ')), process.readAll().constData());
    return ok;
}

// The process has ended, or ends within ms (QProcess's own wait says false for a process that ended before the wait began).
inline bool ended(QProcess& process, int ms)
{
    return process.state() == QProcess::NotRunning || process.waitForFinished(ms);
}

// A TCP port that was free a moment ago (0 when none could be bound).
enum class Bind { Loopback, AnyAddress };
inline quint16 freePort(Bind on = Bind::Loopback)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(on == Bind::Loopback ? INADDR_LOOPBACK : INADDR_ANY);
    socklen_t length = sizeof(address);
    const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0
                       && ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    if (fd >= 0)
        ::close(fd);
    return bound ? ntohs(address.sin_port) : 0;
}

// The service manager's notify socket: NOTIFY_SOCKET names it while it lives.
class NotifySocket
{
public:
    explicit NotifySocket(const QString& path)
    {
        m_fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, path.toLocal8Bit().constData(), sizeof(address.sun_path) - 1);
        m_bound = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
        qputenv("NOTIFY_SOCKET", path.toLocal8Bit());
    }
    ~NotifySocket()
    {
        qunsetenv("NOTIFY_SOCKET");
        if (m_fd >= 0)
            ::close(m_fd);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;
    bool bound() const { return m_bound; }
    // Every message waiting now, without blocking.
    QStringList drain()
    {
        QStringList received;
        char buffer[256];
        for (;;) {
            const ssize_t n = ::recv(m_fd, buffer, sizeof(buffer), MSG_DONTWAIT);
            if (n < 0)
                break;
            received << QString::fromLatin1(buffer, static_cast<int>(n));
        }
        return received;
    }

private:
    int m_fd = -1;
    bool m_bound = false;
};

// A private X server (Xvfb) on a display it picks itself while this lives.
class XServer
{
public:
    XServer()
    {
        // The X server would tell a service manager it is ready, too.
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.remove(QStringLiteral("NOTIFY_SOCKET"));
        m_xvfb.setProcessEnvironment(environment);
        m_xvfb.start(QStringLiteral("Xvfb"), {"-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"});
        if (m_xvfb.waitForStarted() && m_xvfb.waitForReadyRead(10000))
            m_display = QStringLiteral(":") + QString::fromLatin1(m_xvfb.readLine()).trimmed();
    }
    ~XServer()
    {
        m_xvfb.terminate();
        if (!m_xvfb.waitForFinished(5000))
            m_xvfb.kill();
    }
    // ":N", empty when the server did not start.
    QString display() const { return m_display; }
    // environment, set to show Qt windows on this display.
    void use(QProcessEnvironment& environment) const
    {
        environment.insert(QStringLiteral("DISPLAY"), m_display);
        environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    }

private:
    QProcess m_xvfb;
    QString m_display;
};

} // namespace tst
