#pragma once

// A snapshot of what the web client shows.

#include "Framework/Framework.h"

#include <QtGlobal>

#include <string>
#include <vector>

struct FrameworkStatus
{
    // A service and whether its port is served now.
    struct Service
    {
        FrameworkService service;
        bool served = false;
    };

    std::string product;
    std::vector<Service> services;
    int httpPort = 0;
    int webSocketPort = 0;
    int videoWallPort = 0;
    bool httpListening = false;
    bool webSocketListening = false;
    qint64 startedAtMs = 0; // when the services were started, in ms since 1970 (UTC); 0: not started
    qint64 upSeconds = 0;   // since the services were started
    int language = 0;       // language index
};
