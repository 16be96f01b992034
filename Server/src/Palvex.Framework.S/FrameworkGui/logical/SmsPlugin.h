#pragma once
// The SMS plug-in beside the program folder: its properties file, its RTSP
// port there, and its restart script.

#include <string>

namespace serverframework {

class CSmsPlugin
{
public:
    // <program folder>../TavrinSMSPlugin/conf/config.properties
    static std::string configPath();
    // <program folder>../TavrinSMSPlugin/bin
    static std::string binDir();

    // The RTSP port of the process-wide properties; 0 when absent or not a number.
    static int rtspPort();
    // Sets the RTSP port in the process-wide properties and saves them to
    // path; false (logged) when the file cannot be written.
    static bool storeRtspPort(int port, const std::string& path);
    // Starts the plug-in's restart script with elevation; false (logged)
    // when it cannot be launched.
    static bool restart();
};

} // namespace serverframework
