#pragma once
// One value for every port of the table, with the external-access settings
// and the product type they belong to: what the configuration holds, what the
// start-up audit works on and what the port dialog shows or was given.

#include "logical/PortTable.h"

#include <array>
#include <string>

namespace serverframework {

class XMLConfigManager;

struct PortValues
{
    int productType = 0;
    std::array<int, kPortCount> ports{};
    bool externEnabled = false;
    std::string externIPAddress;

    int& operator[](ServicePort port) { return ports[static_cast<std::size_t>(port)]; }
    int operator[](ServicePort port) const { return ports[static_cast<std::size_t>(port)]; }

    // The loaded values of the configuration, with the SMS plug-in's RTSP port.
    static PortValues configured(const XMLConfigManager& config, int rtspPort);
};

// The external-access ports of the port dialog, in the order it offers and
// writes them (the video ones only for products that serve video).
constexpr std::array<ServicePort, 7> kExternPorts = {
    ServicePort::TamsaAMS,      ServicePort::TamsaMQTT,     ServicePort::TamsaSS,    ServicePort::TamsaVideo,
    ServicePort::TamsaPlayback, ServicePort::TamsaVideoVIC, ServicePort::TamsaAudio,
};

} // namespace serverframework
