#pragma once
// The process-wide port authority of the host: whether a port is held on the
// machine (from the start-up snapshot), which ports the host has handed out,
// and the start-up audit that moves configured ports off held ones.

#include "logical/IPortChooser.h"
#include "logical/PortTable.h"

#include <Base/Singleton.h>

#include <QMap>
#include <QString>

#include <memory>
#include <set>
#include <string>
#include <vector>

namespace serverframework {

class CPortMgr;

// A port the start moved off a held one, and the program that held it (empty
// when unknown).
struct PortMove
{
    ServicePort port;
    int from;
    int to;
    std::string heldBy;
};

class CCheckPort : public Base::CNoncopyable
{
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

    // Replaces the snapshot by the sockets held now; those of this process on
    // ownPorts (its own servers' ports that a dialog is editing) do not count.
    void refreshSnapshot(const std::set<unsigned int>& ownPorts);
    // The same, with the own ports of the last refresh.
    void refreshSnapshot();

    // The start-up audit over the process-wide port configuration; a moved
    // RTSP port is saved to the SMS plug-in's properties file. False only
    // when the person asked cancelled.
    bool checkAllPortIsUsed();
    // The same, saving the properties to the given file.
    bool checkAllPortIsUsed(const std::string& smsPropertiesPath);

    // Who chooses the ports when the configured HTTP port cannot be used.
    // None (the default): nobody can be asked, and the HTTP port moves to
    // the first free port above it that no other service is set to.
    void setPortChooser(IPortChooser* chooser) { m_chooser = chooser; }

    // Re-initialises the framework library in its three stages; nothing once
    // the host has begun to end.
    void reinitFramework();

    // The first port at or above start that the host's servers can listen
    // on, claimed; -1 when there is none.
    int claimServedPortFrom(int start);
    // Logs a move, prints it for whoever started the host from a terminal and
    // keeps it with the holder of the old port.
    void reportMove(ServicePort port, int from, int to);
    const std::vector<PortMove>& moves() const { return m_moves; }

    // Ports handed out so far (the flag is always true; presence counts).
    QMap<int, bool> claimedPorts;
    int acceptedHttpPort = 8080;
    int acceptedCmsPort = 18018;

private:
    // Whether the snapshot holds the port (no owner's name).
    bool isHeld(unsigned int port);
    // Neither held nor claimed; for a port the host's own servers listen on,
    // also one they can listen on (a port bound but not listened on is in
    // no socket table).
    bool isFree(int port, bool servedHere);
    // First free port at or above start; -1 when there is none.
    int searchFrom(int start, bool servedHere);
    void claim(int port) { claimedPorts.insert(port, true); }
    void accept(int httpPort, int cmsPort);

    // The HTTP and TamsaCMS ports, asked for when the HTTP port is held;
    // false when the person cancelled.
    bool settleHttpPort(PortValues& values);
    bool askPorts(IPortChooser::Form form, PortValues& values);
    bool moveHttpPortWithoutPerson(const PortValues& values, bool claimTamsa);
    // A port the audit tests on its own: moved when held.
    void auditPort(const PortInfo& info, int port, const std::string& smsPropertiesPath);

    std::unique_ptr<CPortMgr> m_portMgr;
    std::set<unsigned int> m_ownPorts;
    IPortChooser* m_chooser = nullptr;
    std::vector<PortMove> m_moves;
};

} // namespace serverframework
