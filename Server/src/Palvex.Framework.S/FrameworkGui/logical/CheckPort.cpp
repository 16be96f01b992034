#include "CheckPort.h"

#include "controller/XMLConfigManager.h"
#include "lifecycle/ServiceLifecycle.h"
#include "logical/PortMgr.h"
#include "logical/ProductType.h"
#include "logical/SmsPlugin.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>
#include <Framework/Framework.h>
#include <Platform/Platform.h>

#include <QProcess>
#include <QTcpServer>

#include <cstdio>
#include <set>

namespace serverframework {

namespace {

constexpr int kHighestPort = 65535;

XMLConfigManager& portConfig()
{
    return Base::CSingleton<XMLConfigManager>::Instance();
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

    const QString script =
        QString::fromUtf8((Base::FileUtil::GetCurExeDirUtf8() + "checkport" + platform::scriptExtension()).c_str());
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

void CCheckPort::refreshSnapshot(const std::set<unsigned int>& ownPorts)
{
    m_ownPorts = ownPorts;
    refreshSnapshot();
}

void CCheckPort::refreshSnapshot()
{
    m_portMgr->RefreshPortTable(m_ownPorts);
}

void CCheckPort::reinitFramework()
{
    if (CServiceLifecycle::endingBegun()) {
        TLOG_INFO("The host is ending: the framework library is not started again.");
        return;
    }
    uninitFramework();
    initFrameworkFirst();
    initFrameworkSecond();
    initFrameworkLast();
}

// The audit does not use the owner's name: asking the snapshot alone spares
// a run of the owner script per held port, which over a search across many
// held ports held up the start. The servers listen on the loopback address,
// or on every address with external access.
bool CCheckPort::isFree(int port, bool servedHere)
{
    if (isHeld(static_cast<unsigned int>(port)) || claimedPorts.contains(port))
        return false;
    if (!servedHere || port < 1 || port > kHighestPort)
        return true;
    QTcpServer probe;
    return probe.listen(portConfig().externEnabled ? QHostAddress(QHostAddress::Any)
                                                   : QHostAddress(QHostAddress::LocalHost),
                        static_cast<quint16>(port));
}

int CCheckPort::claimServedPortFrom(int start)
{
    const int port = searchFrom(start, true);
    if (port > 0)
        claim(port);
    return port;
}

int CCheckPort::searchFrom(int start, bool servedHere)
{
    for (int port = start; port <= kHighestPort; ++port) {
        if (isFree(port, servedHere)) {
            return port;
        }
    }
    return -1;
}

void CCheckPort::accept(int httpPort, int cmsPort)
{
    acceptedHttpPort = httpPort;
    acceptedCmsPort = cmsPort;
}

void CCheckPort::reportMove(ServicePort port, int from, int to)
{
    const char* service = serviceName(port);
    const std::string heldBy = m_portMgr->holderOf(static_cast<unsigned int>(from));
    const std::string by = heldBy.empty() ? std::string() : " by " + heldBy;
    TLOG_INFO("%s port %d was taken%s; moved to %d.", service, from, by.c_str(), to);
    std::printf("%s port %d was taken%s; moved to %d.\n", service, from, by.c_str(), to);
    std::fflush(stdout);
    m_moves.push_back({port, from, to, heldBy});
}

bool CCheckPort::checkAllPortIsUsed()
{
    return checkAllPortIsUsed(CSmsPlugin::configPath());
}

bool CCheckPort::checkAllPortIsUsed(const std::string& smsPropertiesPath)
{
    PortValues values = PortValues::configured(portConfig(), CSmsPlugin::rtspPort());
    if (hasFixedDeviceAccess(values.productType)) {
        values[ServicePort::TamsaCMS] = 1;
        values[ServicePort::TamsaAMS] = 2;
        values[ServicePort::TamsaMQTT] = 3;
        values[ServicePort::TamsaSS] = 4;
        values.externIPAddress = "0.0.0.0";
    }
    values.externEnabled = false; // until the person turns it on in the dialog

    if (!settleHttpPort(values))
        return false;
    for (const PortInfo& info : portTable()) {
        if (auditTests(info, values.productType, values.externEnabled))
            auditPort(info, values[info.port], smsPropertiesPath);
    }
    return true;
}

bool CCheckPort::settleHttpPort(PortValues& values)
{
    int& http = values[ServicePort::Http];
    int& cms = values[ServicePort::TamsaCMS];
    if (choosesHttpOnly(values.productType)) {
        // The TamsaCMS port goes with the HTTP port, unchecked.
        if (!isFree(http, true))
            return askPorts(IPortChooser::Form::HttpOnly, values);
        claim(http);
        accept(http, cms);
        return true;
    }
    // The HTTP and TamsaCMS ports must differ first (without a person to
    // ask, the HTTP port moves off the TamsaCMS port below).
    if (http == cms && m_chooser) {
        PortValues chosen;
        if (!m_chooser->choosePorts(IPortChooser::Form::HttpEqualsTamsa, values, claimedPorts, chosen))
            return false;
        // The dialog has written and reloaded the configuration.
        http = portConfig().httpPort;
        cms = portConfig().cmsPort;
    }
    if (http == cms || !isFree(http, true))
        return askPorts(IPortChooser::Form::Full, values);
    claim(http);
    claim(cms);
    accept(http, cms);
    return true;
}

bool CCheckPort::askPorts(IPortChooser::Form form, PortValues& values)
{
    const bool withTamsa = form == IPortChooser::Form::Full;
    if (!m_chooser)
        return moveHttpPortWithoutPerson(values, withTamsa);
    PortValues chosen;
    if (!m_chooser->choosePorts(form, values, claimedPorts, chosen))
        return false;
    claim(chosen[ServicePort::Http]);
    if (withTamsa) {
        claim(chosen[ServicePort::TamsaCMS]);
        values.externEnabled = chosen.externEnabled;
        if (chosen.externEnabled) {
            for (const ServicePort port : kExternPorts)
                claim(chosen[port]);
        }
    }
    accept(chosen[ServicePort::Http], chosen[ServicePort::TamsaCMS]);
    return true;
}

// The TamsaCMS port stays; the HTTP port moves to the first free port above
// it that no other service is set to.
bool CCheckPort::moveHttpPortWithoutPerson(const PortValues& values, bool claimTamsa)
{
    const int from = values[ServicePort::Http];
    if (claimTamsa)
        claim(values[ServicePort::TamsaCMS]);
    std::set<int> configured;
    for (const PortInfo& info : portTable()) {
        if (info.port != ServicePort::Http)
            configured.insert(values[info.port]);
    }
    int http = searchFrom(from, true);
    while (http > 0 && configured.count(http))
        http = searchFrom(http + 1, true);
    if (http < 0) {
        TLOG_ERROR("No free port for HTTP from %d up to %d.", from, kHighestPort);
        return false;
    }
    reportMove(ServicePort::Http, from, http);
    portConfig().setHttpPort(std::to_string(http));
    claim(http);
    accept(http, values[ServicePort::TamsaCMS]);
    return true;
}

// A free port is claimed (but for the RTSP and video wall ports); a held one
// moves to the first free port from the table's start and is written back.
void CCheckPort::auditPort(const PortInfo& info, int port, const std::string& smsPropertiesPath)
{
    if (isFree(port, info.servedHere)) {
        if (info.audit != AuditRule::Video)
            claim(port);
        return;
    }
    const int start = info.searchFrom != 0 ? info.searchFrom : port;
    const int moved = searchFrom(start, info.servedHere);
    if (moved < 0) {
        TLOG_ERROR("No free port for %s from %d up to %d; it stays at %d.", info.name, start, kHighestPort, port);
        return;
    }
    reportMove(info.port, port, moved);
    if (info.port == ServicePort::Rtsp)
        CSmsPlugin::storeRtspPort(moved, smsPropertiesPath);
    else
        portConfig().setPort(info.port, std::to_string(moved));
    claim(moved);
}

} // namespace serverframework
