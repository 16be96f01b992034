// The time from confirming the restart that the service management window
// offers after a port change to the web client's first answer on its new HTTP
// port. The host's start-up sequence runs in this process, with the program
// folder it is built in (the installed layout), a scratch home and Qt's
// offscreen platform;
// the port settings dialog and the notice are answered from a timer, and a
// thread asks the new port from the moment of the confirmation on. One
// application object per process: each round is a process of its own.
// Usage: BenchPortChange [rounds]
#include "ui/CheckCorretLineEdit.h"
#include "ui/EditPortDlg.h"
#include "KestApplication/KestApplication.h"
#include "ui/MainWindow.h"
#include "CommonMethod/UserDataPath.h"
#include "ui/WaringDlg.h"
#include "logical/SimpleProperties.h"
#include "logical/SmsPlugin.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>
#include <Framework/Framework.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include "BenchSupport.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

using namespace serverframework;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kDefaultRounds = 5;

// Whether an HTTP request on the port gets a "200" answer now.
bool answers(quint16 port)
{
    const int fd = bench::loopbackSocket(port, false);
    bool ok = fd >= 0;
    static const char kRequest[] = "GET /api/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
    ok = ok && ::send(fd, kRequest, sizeof kRequest - 1, MSG_NOSIGNAL) == ssize_t(sizeof kRequest - 1);
    char head[16] = {};
    ok = ok && ::recv(fd, head, sizeof head - 1, MSG_WAITALL) > 0 && std::strncmp(head, "HTTP/1.1 200", 12) == 0;
    if (fd >= 0)
        ::close(fd);
    return ok;
}

// One port change on a host started in this process; the milliseconds from
// the confirmation to the first answer, or -1.
double round(int argc, char** argv)
{
    QTemporaryDir home;
    for (const char* variable : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = home.filePath(QString::fromLatin1(variable));
        QDir().mkpath(folder);
        qputenv(variable, folder.toUtf8());
    }
    QFile::setPermissions(home.filePath("XDG_RUNTIME_DIR"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qunsetenv("NOTIFY_SOCKET");

    const std::string server = Base::FileUtil::GetCurExeDir();
    auto& userData = Base::CSingleton<comm_method::CUserDataPath>::Instance();
    if (!userData.init(server, "Framework.S", 0, 1))
        return -1;
    Base::details::CLog::Configure(userData.getPropertiesPath());
    SimpleProperties::Instance().loadLogged(CSmsPlugin::configPath());
    // Product type 1, the framework's ports free now.
    QFile benchmark(QString::fromStdString(server + "maintain/Setup.xml.benchmark"));
    QFile setup(QString::fromStdString(userData.getUserDataDir() + "Setup.xml"));
    if (!benchmark.open(QIODevice::ReadOnly) || !setup.open(QIODevice::WriteOnly))
        return -1;
    setup.write(benchmark.readAll()
                    .replace("<Value>0</Value>\n  </ProductType>", "<Value>1</Value>\n  </ProductType>")
                    .replace("<WebSocket>16101<", "<WebSocket>" + QByteArray::number(bench::freePort()) + "<"));
    setup.close();
    Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().SetFrameworkHttpPort(bench::freePort());

    CKestApplication app(argc, argv);
    if (!app.init())
        return -1;
    CMainWindow* window = nullptr;
    for (QWidget* widget : QApplication::topLevelWidgets())
        window = window ? window : qobject_cast<CMainWindow*>(widget);
    if (!window)
        return -1;

    const quint16 newPort = bench::freePort();
    Clock::time_point confirmed;
    Clock::time_point answered;
    std::atomic<bool> asking{false};
    std::thread prober;
    QTimer user;
    QObject::connect(&user, &QTimer::timeout, [&] {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* dialog = qobject_cast<CEditPortDlg*>(modal)) {
            dialog->findChild<CCheckCorretLineEdit*>("m_HttpPortLineEdit")->setText(QString::number(newPort));
            QMetaObject::invokeMethod(dialog->findChild<QPushButton*>("m_ConfirmBtn"), "click", Qt::QueuedConnection);
        } else if (qobject_cast<CWaringDlg*>(modal) && !asking.exchange(true)) {
            confirmed = Clock::now();
            prober = std::thread([&] {
                while (!answers(newPort) && Clock::now() - confirmed < std::chrono::seconds(10))
                    std::this_thread::sleep_for(std::chrono::milliseconds(1));
                answered = Clock::now();
            });
            QMetaObject::invokeMethod(modal, "accept", Qt::QueuedConnection);
        }
    });
    user.start(10);
    window->onModifyPort();
    if (!prober.joinable())
        return -1;
    prober.join();
    const bool ok = answers(newPort);
    uninitFramework();
    return ok ? std::chrono::duration<double, std::milli>(answered - confirmed).count() : -1;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--round") == 0) {
        const double ms = round(argc, argv);
        std::printf("\nround %.1f\n", ms); // after whatever the host printed
        return ms < 0 ? 1 : 0;
    }
    QCoreApplication parent(argc, argv);
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultRounds;
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        QProcess child;
        child.setStandardErrorFile(QProcess::nullDevice()); // the host's own warnings
        child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--round")});
        if (!child.waitForFinished(60000) || child.exitCode() != 0) {
            std::fprintf(stderr, "round %d failed\n", i + 1);
            return 1;
        }
        const QByteArray said = child.readAllStandardOutput().trimmed();
        times.push_back(said.mid(said.lastIndexOf("\nround ") + 7).toDouble());
    }
    std::sort(times.begin(), times.end());
    std::printf("port change, restart confirmed -> first answer on the new HTTP port: median %.1f ms, "
                "min %.1f ms, max %.1f ms over %d rounds (target under 1000 ms)\n",
                times[times.size() / 2], times.front(), times.back(), rounds);
    return 0;
}
