#include "PortTable.h"

#include "ProductType.h"

namespace serverframework {

const std::array<PortInfo, kPortCount>& portTable()
{
    static const std::array<PortInfo, kPortCount> table = {{
        {ServicePort::Http, "Http", true, AuditRule::Chosen, 0, true},
        {ServicePort::TamsaCMS, "TamsaCMS", true, AuditRule::Chosen, 0, false},
        {ServicePort::WebSocket, "WebSocket", true, AuditRule::Always, 8081, true},
        {ServicePort::TamsaAMS, "TamsaAMS", true, AuditRule::DeviceAccess, 7330, false},
        {ServicePort::TamsaMQTT, "TamsaMQTT", true, AuditRule::DeviceAccess, 1833, false},
        {ServicePort::TamsaSS, "TamsaSS", true, AuditRule::DeviceAccess, 0, false},
        {ServicePort::Web, "Web", true, AuditRule::Always, 8090, false},
        {ServicePort::TamsaVideo, "TamsaVideo", true, AuditRule::DeviceVideo, 8003, false},
        {ServicePort::TamsaPlayback, "TamsaPlayback", true, AuditRule::DeviceVideo, 8006, false},
        {ServicePort::TamsaVideoVIC, "TamsaVideoVIC", true, AuditRule::DeviceAccess, 8004, false},
        {ServicePort::TamsaAudio, "TamsaAudio", true, AuditRule::DeviceAccess, 8005, false},
        {ServicePort::Rtsp, "RTSP", false, AuditRule::Video, 554, false},
        {ServicePort::VideoWall, "VideoWall", false, AuditRule::Video, 18018, false},
    }};
    return table;
}

const PortInfo& portInfo(ServicePort port)
{
    return portTable()[static_cast<std::size_t>(port)];
}

const char* serviceName(ServicePort port)
{
    return port == ServicePort::Http ? "HTTP" : portInfo(port).name;
}

bool auditTests(const PortInfo& info, int productType, bool externEnabled)
{
    const bool deviceAccess = !hasFixedDeviceAccess(productType) && !externEnabled;
    switch (info.audit) {
    case AuditRule::Chosen: return false;
    case AuditRule::Always: return true;
    case AuditRule::DeviceAccess: return deviceAccess;
    case AuditRule::DeviceVideo: return deviceAccess && servesVideo(productType);
    case AuditRule::Video: return servesVideo(productType);
    }
    return false;
}

} // namespace serverframework
