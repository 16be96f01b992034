#pragma once

// A snapshot of what the web client shows.

#include <QtGlobal>

struct FrameworkStatus {
    int httpPort = 0;
    int webSocketPort = 0;
    int videoWallPort = 0;
    bool httpListening = false;
    bool webSocketListening = false;
    qint64 upSeconds = 0; // since the services were started
    int language = 0;     // language index
};
