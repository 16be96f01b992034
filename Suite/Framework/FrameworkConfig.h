#pragma once

// Where the framework library keeps its settings: the framework HTTP port, the
// video wall port and the last language and skin the web client set in the
// common configuration, the WebSocket port in
// "Setup.xml" of the component's user-data folder, and the control token in
// a file of that folder that only its owner can read.

#include <QByteArray>
#include <string>

struct FrameworkPorts
{
    int httpPort = 0;
    int webSocketPort = 0;
    int videoWallPort = 0;
    bool externEnabled = false; // the servers listen on every interface, not loopback only
};

class CFrameworkConfig
{
public:
    static constexpr const char* kWebSocketKey = "WebSocket";
    static constexpr const char* kTokenFileName = "FrameworkControl.token";

    // False (with a log line) when a file cannot be read or parsed or a port
    // is outside 1..65535.
    static bool readPorts(FrameworkPorts& ports);

    // Store a decimal port text; false for anything but 1..65535 or a write
    // failure.
    static bool writeHttpPort(const std::string& text);
    static bool writeWebSocketPort(const std::string& text);

    // The language index and skin name the web client set last; -1 and empty
    // when none was set. Stored only once the host has applied them.
    static int storedLanguage();
    static std::string storedSkin();
    static void storeLanguage(int index);
    static void storeSkin(const std::string& name);

    // The token file's path; empty when the user-data folder is unknown.
    static std::string tokenFilePath();
    // Replaces the token file (mode 0600) with a new random token, returned
    // in token. False when it cannot be written.
    static bool writeNewToken(QByteArray& token);
    static void removeToken();

private:
    static std::string setupXmlPath();
};
