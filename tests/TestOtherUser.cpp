// Another local user against the installed host: run as root, the test makes two throw-away users, lets one attack (one
// row of the table each) and then starts the host as the other, which must start and serve all the same. Without root
// it is skipped. The attacker's long-lived processes are this program again ("--hold"), holding ports as the row says.
#include <QTcpSocket>
#include <QDateTime>
#include <QtTest>

#include "TestSupport.h"

#include <pwd.h>

#include <csignal>
#include <cstdio>

const QString kHost = QStringLiteral(TAVRIN_STAGE_DIR "/Server/Palvex.Framework.S");

namespace {

// "--hold listen PORT...": listens on every interface at each port, says "ready" and waits to be ended. Another way to hold a port is another mode.
int hold(int argc, char** argv)
{
    const QByteArray mode = argv[2];
    for (int i = 3; i < argc; ++i) {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        // A listener may share the port with past connections of earlier tests; a bare bind keeps everyone else off it.
        const int reuse = mode == "listen";
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(std::atoi(argv[i])));
        if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || (mode == "listen" && ::listen(fd, 8) != 0))
            return 2;
    }
    std::puts("ready");
    std::fflush(stdout);
    ::pause();
    return 0;
}

struct User
{
    QString name;
    uid_t uid = 0;
    gid_t gid = 0;
};

bool makeUser(const QString& name, User& user)
{
    if (!tst::run("useradd", {"--system", "--user-group", "--no-create-home", "--shell", "/usr/sbin/nologin", name}))
        return false;
    const passwd* entry = ::getpwnam(name.toLocal8Bit().constData());
    user = entry ? User{name, entry->pw_uid, entry->pw_gid} : User{};
    return entry != nullptr;
}

// A folder of `owner` in the scratch folder, which everyone may pass.
QString folderOf(const QTemporaryDir& scratch, const QString& name, const User& owner)
{
    const QString folder = scratch.filePath(name);
    QDir(folder).removeRecursively();
    return QDir().mkpath(folder) && ::chown(QFile::encodeName(folder), owner.uid, owner.gid) == 0 ? folder : QString();
}

void startAs(QProcess& process, const User& user, const QString& program, const QStringList& arguments)
{
    process.start("setpriv", QStringList{"--reuid", QString::number(user.uid), "--regid", QString::number(user.gid), "--clear-groups", "--", program}
                                 + arguments);
}

} // namespace

class TestOtherUser : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        // Short: the host's socket path below this folder must fit in 108 bytes, as below /home/<user>.
        QVERIFY(m_scratch.isValid());
        if (::geteuid() != 0)
            QSKIP("creating the throw-away users takes root; run the tests as root to see another user's attacks");
        // Unique also where this runs as process 1 of a namespace of its own.
        const QString suffix = QString::number(QDateTime::currentMSecsSinceEpoch() % 100000000);
        QVERIFY(makeUser("tavrin-a-" + suffix, m_attacker) && makeUser("tavrin-h-" + suffix, m_hostUser));
        QVERIFY(QFile::setPermissions(m_scratch.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther));
    }

    void cleanupTestCase()
    {
        for (const User* user : {&m_attacker, &m_hostUser}) {
            if (!user->name.isEmpty())
                tst::run("userdel", {user->name});
        }
    }

    void cleanup()
    {
        for (QProcess* process : {&m_host, &m_attack}) {
            process->kill();
            process->waitForFinished(10000);
        }
        QDir("/tmp/runtime-" + m_hostUser.name).removeRecursively();
    }

    void hostStartsAndServes_data()
    {
        // The attack, run as the other user first: %self is this program, a copy of it in the attacker's folder is named as the host.
        QTest::addColumn<QStringList>("attack");
        QTest::addColumn<bool>("portsHeld");
        QTest::newRow("runtime folder taken, 0700") << QStringList{"/bin/mkdir", "-m", "0700", "/tmp/runtime-%user"} << false;
        QTest::newRow("runtime folder taken, 0777") << QStringList{"/bin/mkdir", "-m", "0777", "/tmp/runtime-%user"} << false;
        QTest::newRow("a process of the host's name") << QStringList{"%dir/Palvex.Framework.S", "--hold", "listen"} << false;
        QTest::newRow("listeners on its ports") << QStringList{"%self", "--hold", "listen", "%http", "%ws"} << true;
        QTest::newRow("its ports bound, not listened on") << QStringList{"%self", "--hold", "bind", "%http", "%ws"} << true;
    }
    // Neither starting nor serving is kept from the host: it serves on a port of its own, moved away from a held one.
    void hostStartsAndServes()
    {
        QFETCH(QStringList, attack);
        const QString attackerDir = folderOf(m_scratch, "attacker", m_attacker);
        const QString hostHome = folderOf(m_scratch, "host", m_hostUser);
        // Ports free now, in the host user's configuration (no earlier row left connections on them that a bare bind would trip over).
        m_http = tst::freePort(tst::Bind::AnyAddress);
        do
            m_webSocket = tst::freePort(tst::Bind::AnyAddress);
        while (m_webSocket == m_http);
        QVERIFY(tst::writeHostPorts(hostHome + "/.local/share/Tavrin/UserData/Framework.S/", m_http, m_webSocket));
        QVERIFY(tst::run("chown", {"-R", QString("%1:%2").arg(m_hostUser.uid).arg(m_hostUser.gid), hostHome}));
        const QString copy = attackerDir + "/Palvex.Framework.S";
        QVERIFY(!attackerDir.isEmpty() && !hostHome.isEmpty() && QFile::copy(QCoreApplication::applicationFilePath(), copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        for (QString& argument : attack) {
            argument.replace("%self", QCoreApplication::applicationFilePath())
                .replace("%dir", attackerDir)
                .replace("%user", m_hostUser.name)
                .replace("%http", QString::number(m_http))
                .replace("%ws", QString::number(m_webSocket));
        }
        startAs(m_attack, m_attacker, attack.takeFirst(), attack);
        const bool holding = m_attack.waitForReadyRead(10000) && m_attack.readLine().startsWith("ready");
        const bool done = m_attack.waitForFinished(holding ? 0 : 10000) || m_attack.state() == QProcess::NotRunning;
        QVERIFY2(holding || (done && m_attack.exitCode() == 0), m_attack.readAllStandardError()); // lasting, or done

        QProcessEnvironment environment;
        for (const char* kept : {"PATH", "LANG", "ASAN_OPTIONS", "UBSAN_OPTIONS", "QT_QPA_PLATFORM"})
            environment.insert(kept, qEnvironmentVariable(kept));
        environment.insert("HOME", hostHome); // the XDG folders are the defaults below it
        m_host.setProcessEnvironment(environment);
        m_host.setWorkingDirectory(hostHome);
        m_host.setProcessChannelMode(QProcess::MergedChannels);
        startAs(m_host, m_hostUser, kHost, {});
        static const QRegularExpression webClient("Web client: http://127\\.0\\.0\\.1:(\\d+)/");
        QString output;
        QRegularExpressionMatch match;
        QTRY_VERIFY2_WITH_TIMEOUT((match = webClient.match(output += m_host.readAllStandardOutput())).hasMatch()
                                      || m_host.state() == QProcess::NotRunning,
                                  "no answer", 60000);
        QVERIFY2(match.hasMatch(), qPrintable(QString("host ended with %1: %2").arg(m_host.exitCode()).arg(output)));
        const int port = match.captured(1).toInt();
        QTEST(port != m_http, "portsHeld");
        QTcpSocket client;
        client.connectToHost(QHostAddress::LocalHost, quint16(port));
        QVERIFY(client.waitForConnected(5000));
        client.write("GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
        QByteArray reply;
        QTRY_VERIFY2_WITH_TIMEOUT((reply += client.readAll()).startsWith("HTTP/1.1 200"), reply, 10000);
        ::kill(pid_t(m_host.processId()), SIGTERM);
        QVERIFY(m_host.waitForFinished(30000) && m_host.exitCode() == 0);
    }

private:
    QTemporaryDir m_scratch{"/tmp/tvXXXXXX"};
    User m_attacker, m_hostUser;
    int m_http = 0, m_webSocket = 0;
    QProcess m_attack, m_host;
};

int main(int argc, char** argv)
{
    if (argc >= 3 && qstrcmp(argv[1], "--hold") == 0)
        return hold(argc, argv);
    QCoreApplication app(argc, argv);
    TestOtherUser test;
    return QTest::qExec(&test, argc, argv);
}

#include "TestOtherUser.moc"
