// The start-up port audit (no one to answer the port dialog, so a held HTTP
// port is moved by a search) with 100 consecutive ports from the HTTP port
// held by loopback listeners of this program, against the same audit with
// every port free, measured in the same run: the time the held ports add.
// Each audit takes its own port snapshot and starts from the same
// configuration. Runs in a scratch home.
#include "logical/CheckPort.h"
#include "logical/SimpleProperties.h"
#include "CommonMethod/UserDataPath.h"
#include "controller/XMLConfigManager.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>
#include <Base/Singleton.h>
#include <CommonMethodLib/CommonConfigFileMgr.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "BenchSupport.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using serverframework::XMLConfigManager;

constexpr int kHeld = 100;
constexpr int kRuns = 21;

// Listeners on kHeld consecutive ports below the ephemeral range; empty when
// no such run of free ports was found.
std::vector<int> holdRun(int& first)
{
    for (first = 20000; first < 30000; first += kHeld + 1) {
        std::vector<int> held;
        for (int port = first; port < first + kHeld; ++port) {
            const int fd = bench::loopbackSocket(static_cast<unsigned short>(port), true);
            if (fd < 0)
                break;
            held.push_back(fd);
        }
        if (held.size() == kHeld)
            return held;
        for (const int fd : held)
            close(fd);
    }
    return {};
}

bool writeConfiguration(XMLConfigManager& config, int http, const std::vector<int>& others)
{
    QString xml = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Configs Version=\"1.0\">\n"
        "  <ProductType><Value>1</Value></ProductType><VersionType><Value>0</Value></VersionType>\n"
        "  <ServerPort><Http>%1</Http><WebSocket>%2</WebSocket><Web>%3</Web><TamsaCMS>%4</TamsaCMS>\n"
        "    <TamsaAMS>%5</TamsaAMS><TamsaMQTT>%6</TamsaMQTT><TamsaSS>%7</TamsaSS><TamsaVideo>%8</TamsaVideo>\n"
        "    <TamsaVideoVIC>%9</TamsaVideoVIC><TamsaAudio>%10</TamsaAudio><TamsaPlayback>%11</TamsaPlayback>\n"
        "  </ServerPort>\n"
        "  <ExternParam><Enabled>false</Enabled><IPAddress>192.168.1.10</IPAddress></ExternParam>\n</Configs>\n");
    xml = xml.arg(http);
    for (const int port : others)
        xml = xml.arg(port);
    QFile file(QString::fromStdString(config.workingPath()));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(xml.toUtf8()) < 0)
        return false;
    file.close();
    // The framework's own record of the HTTP port wins over the file's.
    Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().SetFrameworkHttpPort(http);
    config.InitManager(true);
    return config.httpPort == http;
}

// Milliseconds of one audit from its snapshot on; the HTTP port it accepted.
double audit(int& acceptedHttp)
{
    const Clock::time_point start = Clock::now();
    serverframework::CCheckPort checker;
    checker.checkAllPortIsUsed(Base::FileUtil::GetCurExeDir() + "config.properties");
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    int cms = 0;
    checker.GetAcceptedPorts(acceptedHttp, cms);
    return ms;
}

} // namespace

int main(int argc, char* argv[])
{
    QTemporaryDir scratch;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
        const QString folder = scratch.path() + QLatin1Char('/') + QLatin1String(name);
        QDir().mkpath(folder);
        qputenv(name, folder.toUtf8());
    }
    qunsetenv("HOMEDRIVE");
    QCoreApplication app(argc, argv);

    comm_method::CUserDataPath& userData = Base::CSingleton<comm_method::CUserDataPath>::Instance();
    if (!userData.init(Base::FileUtil::GetCurExeDir(), "Framework.S", 0, 0)) {
        std::fprintf(stderr, "no user-data folder in the scratch home\n");
        return 1;
    }
    Base::details::CLog::Configure(userData.getPropertiesPath()); // the log to a file, as in the host
    Base::FileUtil::InitCurExeDirUtf8(scratch.path().toStdString() + "/");
    XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
    config.InitManager(false);

    int first = 0;
    const std::vector<int> held = holdRun(first);
    if (held.empty()) {
        std::fprintf(stderr, "no run of %d free ports found\n", kHeld);
        return 1;
    }
    std::vector<int> others;
    for (int i = 0; i < 10; ++i)
        others.push_back(bench::freePort());
    const int freeHttp = bench::freePort();
    Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance().SetFrameworkVideoWallPort(bench::freePort());

    std::vector<double> freeTimes;
    std::vector<double> heldTimes;
    int movedTo = 0;
    for (int run = 0; run < kRuns; ++run) {
        int accepted = 0;
        if (!writeConfiguration(config, freeHttp, others)) {
            std::fprintf(stderr, "cannot write the port configuration\n");
            return 1;
        }
        freeTimes.push_back(audit(accepted));
        if (accepted != freeHttp) {
            std::fprintf(stderr, "the free HTTP port %d was moved to %d\n", freeHttp, accepted);
            return 1;
        }
        writeConfiguration(config, first, others);
        heldTimes.push_back(audit(movedTo));
        if (movedTo < first + kHeld) {
            std::fprintf(stderr, "the held HTTP port %d was accepted as %d\n", first, movedTo);
            return 1;
        }
    }
    const double allFree = bench::median(freeTimes);
    const double withHeld = bench::median(heldTimes);
    std::printf("audit, all ports free (median of %d): %.2f ms\n", kRuns, allFree);
    std::printf("audit, HTTP port %d and the %d after it held (moved to %d): %.2f ms\n", first, kHeld - 1, movedTo,
                withHeld);
    std::printf("time the %d held ports add: %.2f ms (target < 100 ms)\n", kHeld, withHeld - allFree);
    for (const int fd : held)
        close(fd);
    return 0;
}
