#pragma once

// The web client's page and its status document, in the page's language.

#include "FrameworkStatus.h"

#include <QByteArray>
#include <QJsonObject>

class CStatusPage
{
public:
    // The name the page shows until the host hands its own.
    static constexpr const char* kProductName = "Palvex";

    // The status as JSON, with the page's texts for its language.
    static QJsonObject statusObject(const FrameworkStatus& status);
    static QByteArray statusJson(const FrameworkStatus& status);
    // The page; it shows the status through its script and keeps it up to
    // date through the WebSocket.
    static QByteArray html(const FrameworkStatus& status);

private:
    // The page's texts: Chinese for the Chinese indexes, English otherwise.
    static QJsonObject texts(int language);
};
