#include "CheckPort.h"

#include "ui/EditPortDlg.h"
#include "PortMgr.h"
#include "SimpleProperties.h"
#include "controller/XMLConfigManager.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>
#include <Framework/Framework.h>
#include "Platform/Platform.h"

#include <QProcess>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <set>

namespace serverframework {

namespace {

constexpr int kHighestPort = 65535;

// The configured ports the audit works on, read once at its start.
struct AuditPorts {
    int productType = 0;
    int http = 0;
    int webSocket = 0;
    int web = 0;
    int cms = 0;
    int ams = 0;
    int mqtt = 0;
    int ss = 0;
    int video = 0;
    int videoVic = 0;
    int audio = 0;
    int playback = 0;
    int rtsp = 0;
    int videoWall = 0;
    std::string externIp;
};

// Fills the nine port fields of the start-up form of the port dialog.
void fillPortFields(CEditPortDlg& dialog, const AuditPorts& ports)
{
    dialog.setHttpPortText(QString::number(ports.http));
    dialog.setTamsaCMSPortText(QString::number(ports.cms));
    dialog.setTamsaAMSPortText(QString::number(ports.ams));
    dialog.setTamsaMQTTPortText(QString::number(ports.mqtt));
    dialog.setTamsaSSPortText(QString::number(ports.ss));
    dialog.setTamsaVideoPortText(QString::number(ports.video));
    dialog.setTamsaVideoVICPortText(QString::number(ports.videoVic));
    dialog.setTamsaAudioPortText(QString::number(ports.audio));
    dialog.setTamsaPlaybackPortText(QString::number(ports.playback));
}

} // namespace

CCheckPort::CCheckPort()
    : m_portMgr(new CPortMgr)
{
}

CCheckPort::~CCheckPort() = default;

CCheckPort& CCheckPort::instance()
{
    return Base::CSingleton<CCheckPort>::Instance();
}

bool CCheckPort::isHeld(unsigned int port)
{
    return port <= static_cast<unsigned int>(kHighestPort) && m_portMgr->CheckPortConflict(port);
}

bool CCheckPort::IsPortUsed(unsigned int port, QString& processName)
{
    if (!isHeld(port)) {
        return false;
    }

    const QString script = QString::fromUtf8(
        (Base::FileUtil::GetCurExeDirUtf8() + "checkport" + platform::scriptExtension()).c_str());
    TLOG_INFO("port owner script: %s", script.toUtf8().constData());

    QProcess process;
    process.start(script, QStringList() << QString::number(port, 10), QIODevice::ReadWrite);
    process.waitForStarted(30000);
    process.waitForFinished(30000);
    processName = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
    TLOG_INFO("port %u is held by: %s", port, processName.toUtf8().constData());

    if (!processName.isEmpty()) {
        processName.remove(QLatin1Char('"'));
    } else {
        processName = QString();
    }
    return true;
}

void CCheckPort::GetAcceptedPorts(int& httpPort, int& cmsPort) const
{
    httpPort = acceptedHttpPort;
    cmsPort = acceptedCmsPort;
}

void CCheckPort::reinitFramework()
{
    uninitFramework();
    initFrameworkFirst();
    initFrameworkSecond();
    initFrameworkLast();
}

// The audit does not use the owner's name: asking the snapshot alone spares
// a run of the owner script per held port, which over a search across many
// held ports held up the start.
bool CCheckPort::isFree(int port)
{
    return !isHeld(static_cast<unsigned int>(port)) && !claimedPorts.contains(port);
}

int CCheckPort::searchFrom(int start)
{
    for (int port = start; port <= kHighestPort; ++port) {
        if (isFree(port)) {
            return port;
        }
    }
    return -1;
}

void CCheckPort::reportMove(const char* service, int from, int to)
{
    TLOG_INFO("%s port %d was taken; moved to %d.", service, from, to);
    std::printf("%s port %d was taken; moved to %d.\n", service, from, to);
    std::fflush(stdout);
}

bool CCheckPort::checkAllPortIsUsed()
{
    return checkAllPortIsUsed(SimpleProperties::smsConfigPath());
}

bool CCheckPort::checkAllPortIsUsed(const std::string& smsPropertiesPath)
{
    XMLConfigManager& config = Base::CSingleton<XMLConfigManager>::Instance();
    SimpleProperties& properties = Base::CSingleton<SimpleProperties>::Instance();

    // 1. The configured values.
    AuditPorts ports;
    ports.productType = config.productType;
    ports.http = config.httpPort;
    ports.webSocket = config.webSocketPort;
    ports.web = config.webPort;
    ports.cms = config.cmsPort;
    ports.ams = config.amsPort;
    ports.mqtt = config.mqttPort;
    ports.ss = config.ssPort;
    ports.video = config.videoPort;
    ports.videoVic = config.videoVicPort;
    ports.audio = config.audioPort;
    ports.playback = config.playbackPort;
    ports.externIp = config.externIPAddress;
    ports.videoWall = config.videoWallPort;
    ports.rtsp = std::atoi(properties.getProperty(kRtspPortKey).c_str());
    if (ports.productType == 3) {
        ports.cms = 1;
        ports.ams = 2;
        ports.mqtt = 3;
        ports.ss = 4;
        ports.externIp = "0.0.0.0";
    }

    // A held port of the table is moved to the first free port from
    // firstTried and written back; claimFree: whether a free port is claimed.
    const auto auditPort = [this](const char* service, int port, int firstTried,
                                  const std::function<void(const std::string&)>& write, bool claimFree) {
        if (isFree(port)) {
            if (claimFree) {
                claimedPorts.insert(port, true);
            }
            return;
        }
        const int moved = searchFrom(firstTried);
        if (moved < 0) {
            TLOG_ERROR(
                "No free port for %s from %d up to %d; it stays at %d.", service, firstTried, kHighestPort, port);
            return;
        }
        reportMove(service, port, moved);
        write(std::to_string(moved));
        claimedPorts.insert(moved, true);
    };

    bool externEnabled = false;

    // The HTTP port is held: the user picks the ports in the dialog; false
    // when it is refused. withExtern: the external access rows are shown
    // (turned off), and the TamsaCMS and turned-on external ports are claimed.
    const auto askPorts = [&](bool withExtern) {
        if (!m_askUser) {
            // Nobody to ask: the TamsaCMS port stays, the HTTP port moves to
            // the first free port above it that no other service is set to.
            if (withExtern)
                claimedPorts.insert(ports.cms, true);
            const std::set<int> configured = {ports.cms,      ports.ams,   ports.mqtt,  ports.ss,
                                              ports.webSocket, ports.web,  ports.video, ports.videoVic,
                                              ports.audio,    ports.playback, ports.rtsp, ports.videoWall};
            int http = searchFrom(ports.http);
            while (http > 0 && configured.count(http))
                http = searchFrom(http + 1);
            if (http < 0) {
                TLOG_ERROR("No free port for HTTP from %d up to %d.", ports.http, kHighestPort);
                return false;
            }
            reportMove("HTTP", ports.http, http);
            config.setHttpPort(std::to_string(http));
            claimedPorts.insert(http, true);
            acceptedHttpPort = http;
            acceptedCmsPort = ports.cms;
            return true;
        }
        CEditPortDlg dialog(nullptr);
        dialog.setClaimedPorts(claimedPorts);
        fillPortFields(dialog, ports);
        if (withExtern) {
            dialog.setExternIPAddress(QString::fromStdString(ports.externIp));
            dialog.setExternEnabled(false);
        } else {
            dialog.setExternRowsVisible(false);
        }
        dialog.setSmsPortValue(ports.rtsp);
        dialog.setVideoWallPortValue(ports.videoWall);
        if (dialog.exec() != QDialog::Accepted) {
            return false;
        }
        int http = 0;
        int cms = 0;
        dialog.getHttpAndCmsPorts(http, cms);
        claimedPorts.insert(http, true);
        if (withExtern) {
            claimedPorts.insert(cms, true);
            externEnabled = dialog.isExternEnabled();
            if (externEnabled) {
                int externPorts[7] = {};
                dialog.getExternPorts(externPorts[0], externPorts[1], externPorts[2], externPorts[3], externPorts[4], externPorts[5],
                                      externPorts[6]);
                for (const int port : externPorts) {
                    claimedPorts.insert(port, true);
                }
            }
        }
        acceptedHttpPort = http;
        acceptedCmsPort = cms;
        return true;
    };

    if (ports.productType == 2 || ports.productType == 4) {
        // 2. The HTTP port; the TamsaCMS port goes with it.
        if (isFree(ports.http)) {
            claimedPorts.insert(ports.http, true);
            acceptedHttpPort = ports.http;
            acceptedCmsPort = ports.cms;
        } else if (!askPorts(false)) {
            return false;
        }
    } else {
        // 3. The HTTP and TamsaCMS ports must differ first (without a person
        // to ask, the HTTP port moves off the TamsaCMS port below).
        if (ports.http == ports.cms && m_askUser) {
            CEditPortDlg dialog(nullptr);
            dialog.setClaimedPorts(claimedPorts);
            // TamsaCMS first: its field is hidden, and filled after the equal
            // HTTP port it would stay marked as a duplicate however the user
            // changes the HTTP port. The HTTP field, filled last, is marked
            // as the duplicate until the user picks another port.
            dialog.setTamsaCMSPortText(QString::number(ports.cms));
            dialog.setVideoWallPortValue(ports.videoWall);
            dialog.setSmsPortValue(ports.rtsp);
            dialog.setHttpPortText(QString::number(ports.http));
            dialog.showHttpEqualsTamsaReason();
            if (dialog.exec() != QDialog::Accepted) {
                return false;
            }
            // The dialog has written and reloaded the configuration.
            ports.http = config.httpPort;
            ports.cms = config.cmsPort;
        }
        if (ports.http != ports.cms && isFree(ports.http)) {
            claimedPorts.insert(ports.http, true);
            claimedPorts.insert(ports.cms, true);
            acceptedHttpPort = ports.http;
            acceptedCmsPort = ports.cms;
        } else if (!askPorts(true)) {
            return false;
        }
    }

    const bool deviceAccess = ports.productType != 3 && !externEnabled;
    using namespace std::placeholders;

    // 4. to 8.
    auditPort("WebSocket", ports.webSocket, 8081, std::bind(&XMLConfigManager::setWebSocketPort, &config, _1), true);
    if (deviceAccess) {
        auditPort("TamsaAMS", ports.ams, 7330, std::bind(&XMLConfigManager::setTamsaAMSPort, &config, _1), true);
        auditPort("TamsaMQTT", ports.mqtt, 1833, std::bind(&XMLConfigManager::setTamsaMQTTPort, &config, _1), true);
        auditPort("TamsaSS", ports.ss, ports.ss, std::bind(&XMLConfigManager::setTamsaSSPort, &config, _1), true);
    }
    auditPort("Web", ports.web, 8090, std::bind(&XMLConfigManager::setWebPort, &config, _1), true);
    if (deviceAccess) {
        if (ports.productType == 0) {
            auditPort("TamsaVideo", ports.video, 8003,
                      std::bind(&XMLConfigManager::setTamsaVideoPort, &config, _1), true);
            auditPort("TamsaPlayback", ports.playback, 8006,
                      std::bind(&XMLConfigManager::setTamsaPlaybackPort, &config, _1), true);
        }
        auditPort("TamsaVideoVIC", ports.videoVic, 8004,
                  std::bind(&XMLConfigManager::setTamsaVideoVICPort, &config, _1), true);
        auditPort("TamsaAudio", ports.audio, 8005, std::bind(&XMLConfigManager::setTamsaAudioPort, &config, _1),
                  true);
    }
    if (ports.productType == 0) {
        auditPort("RTSP", ports.rtsp, 554,
                  [&properties, &smsPropertiesPath](const std::string& port) {
                      if (!properties.setProperty(kRtspPortKey, port)) {
                          properties.addProperty(kRtspPortKey, port);
                      }
                      properties.storeLogged(smsPropertiesPath);
                  },
                  false);
        auditPort("VideoWall", ports.videoWall, 18018,
                  std::bind(&XMLConfigManager::setVideoWallPort, &config, _1), false);
    }
    return true;
}

} // namespace serverframework
