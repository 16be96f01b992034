#pragma once
// The process-wide port authority of the host: whether a port is held on the
// machine (from the start-up snapshot), which ports the host has handed out,
// and the start-up audit that moves configured ports off held ones.

#include <Base/Singleton.h>

#include <QMap>
#include <QString>

#include <memory>
#include <string>

namespace serverframework {

class CPortMgr;

class CCheckPort : public Base::CNoncopyable {
public:
    // Takes the machine's port snapshot.
    CCheckPort();
    ~CCheckPort();

    // The process-wide instance, created on first use.
    static CCheckPort& instance();

    // True when some process holds the port in the snapshot; the owner's
    // name (as printed by the port-owner script beside the executable) is
    // then put into processName. False leaves processName as passed.
    bool IsPortUsed(unsigned int port, QString& processName);

    void GetAcceptedPorts(int& httpPort, int& cmsPort) const;

    // The start-up audit over the process-wide port configuration; a moved
    // RTSP port is saved to the SMS plug-in's properties file. False only
    // when the user cancelled the port dialog.
    bool checkAllPortIsUsed();
    // The same, saving the properties to the given file.
    bool checkAllPortIsUsed(const std::string& smsPropertiesPath);

    // Whether a person can answer the port dialog (default). Without one, a
    // held HTTP port is moved to the first free port above it instead.
    void setAskUser(bool askUser) { m_askUser = askUser; }

    // Re-initialises the framework library in its three stages.
    void reinitFramework();

    // Ports handed out so far (the flag is always true; presence counts).
    QMap<int, bool> claimedPorts;
    int acceptedHttpPort = 8080;
    int acceptedCmsPort = 18018;

private:
    // Whether the snapshot holds the port (no owner's name).
    bool isHeld(unsigned int port);
    bool isFree(int port);
    // First free port at or above start.
    int searchFrom(int start);

    // Logs a move and prints it for whoever started the host from a terminal.
    static void reportMove(const char* service, int from, int to);

    std::unique_ptr<CPortMgr> m_portMgr;
    bool m_askUser = true;
};

} // namespace serverframework
