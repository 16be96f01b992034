#pragma once
// The ports of the hosted services, in the order the start-up audit tests
// them: the name each goes by, which products test it, and where the search
// for a free port starts when it is held.

#include <array>

namespace serverframework {

enum class ServicePort {
    Http,
    TamsaCMS,
    WebSocket,
    TamsaAMS,
    TamsaMQTT,
    TamsaSS,
    Web,
    TamsaVideo,
    TamsaPlayback,
    TamsaVideoVIC,
    TamsaAudio,
    Rtsp,
    VideoWall,
};

// When the start-up audit tests a port on its own.
enum class AuditRule {
    Chosen,       // HTTP and TamsaCMS: chosen together, in the port dialog when held
    Always,       // every product
    DeviceAccess, // unless the device-access ports are fixed or external access is on
    DeviceVideo,  // as DeviceAccess, for products that serve video only
    Video,        // products that serve video; a free one is not claimed
};

struct PortInfo
{
    ServicePort port;
    // The key under "/Configs/ServerPort/" for the ports kept there, and the
    // name in every message about the port.
    const char* name;
    // Kept in "Setup.xml" (the others live in the framework's common
    // configuration or the SMS plug-in's properties).
    bool inSetupXml;
    AuditRule audit;
    // The first port tried when it is held; 0: the port itself.
    int searchFrom;
    // The host's own servers (the framework library's) listen on it.
    bool servedHere;
};

constexpr int kPortCount = 13;

// Every port, in audit order.
const std::array<PortInfo, kPortCount>& portTable();
const PortInfo& portInfo(ServicePort port);

// The name a person reads for the port ("HTTP" rather than the key "Http").
const char* serviceName(ServicePort port);

// Whether the start-up audit tests the port on its own for this product.
bool auditTests(const PortInfo& info, int productType, bool externEnabled);

} // namespace serverframework
