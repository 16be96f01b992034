#pragma once
// Snapshot of the machine's TCP and UDP endpoint tables, each entry with the
// id of the owning process, and the question whether a local port is in it.

#include "Platform/Platform.h"

#include <boost/thread/mutex.hpp>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace serverframework {

// One endpoint of the snapshot.
struct PortConnInfo
{
    std::uint32_t protocol = 0;   // 0 TCP, 1 UDP
    std::string localAddress;     // dotted decimal (IPv6: numeric text)
    std::uint32_t localPort = 0;  // host byte order
    std::string remoteAddress;    // TCP only; empty for UDP
    std::uint32_t remotePort = 0; // TCP only, 0 while listening; 0 for UDP
    std::uint32_t state = 0;      // TCP state, Windows numbering (2 = listening); 0 for UDP
    std::int32_t processId = -1;  // owner; 0 for sockets without one (time-wait)
};

class CPortMgr
{
public:
    // Takes the snapshot once.
    CPortMgr();

    // Replaces the table by a fresh snapshot: all TCP entries, then all UDP.
    // Sockets of this very process on ownPorts (ports its own servers hold)
    // do not hold those ports.
    void RefreshPortTable(const std::set<unsigned int>& ownPorts = {});

    // True when an entry with a non-zero owner holds the local port; logs one
    // Warn line per such entry.
    bool CheckPortConflict(unsigned int port);

    // The program (image name) of the first known owner of the local port;
    // empty when the snapshot names none.
    std::string holderOf(unsigned int port);

    // A copy of the table, in snapshot order, every owner looked up.
    std::vector<PortConnInfo> portTable();

    // Dotted decimal text of an IPv4 address word, lowest-addressed byte first.
    static std::string IpToString(std::uint32_t address);

private:
    // Append the entries of one protocol of the snapshot; false when the
    // system table could not be read (nothing of that protocol is added).
    static bool GetTcpPortTable(const platform::PortSnapshot& snapshot, std::vector<PortConnInfo>& list);
    static bool GetUdpPortTable(const platform::PortSnapshot& snapshot, std::vector<PortConnInfo>& list);
    static PortConnInfo toConnInfo(const platform::PortEntry& entry);
    // Looks up the snapshot's owners once, on the first question that needs
    // them: a walk over every process's descriptors. Called with m_mutex held.
    void findOwners();

    boost::mutex m_mutex;
    platform::PortSnapshot m_snapshot;
    bool m_ownersFound = false;
    // (local port, entry index) of every entry with an owner, sorted: a
    // question is answered by a binary search instead of a walk over the table.
    std::vector<std::pair<std::uint32_t, std::size_t>> m_ownedPorts;
};

} // namespace serverframework
