#include "PortMgr.h"

#include <Base/Log.h>
#include "Platform/Platform.h"

#include <algorithm>
#include <cstring>

namespace serverframework {

CPortMgr::CPortMgr()
{
    RefreshPortTable();
}

void CPortMgr::RefreshPortTable(const std::set<unsigned int>& ownPorts)
{
    platform::PortSnapshot snapshot = platform::takePortSnapshot();
    const auto onOwnPort = [&](const platform::PortEntry& entry) {
        return entry.processId != 0 && ownPorts.count(entry.localPort) != 0;
    };
    // Telling this process's sockets apart takes the walk for their owners.
    const bool ownersFound = std::any_of(snapshot.entries.begin(), snapshot.entries.end(), onOwnPort);
    if (ownersFound)
        platform::findPortOwners(snapshot.entries);
    const std::uint32_t self = platform::currentProcessId();
    std::vector<std::pair<std::uint32_t, std::size_t>> owned;
    owned.reserve(snapshot.entries.size());
    for (std::size_t i = 0; i < snapshot.entries.size(); ++i) {
        const platform::PortEntry& entry = snapshot.entries[i];
        if (entry.processId != 0 && !(entry.processId == self && onOwnPort(entry))) {
            owned.emplace_back(entry.localPort, i);
        }
    }
    std::sort(owned.begin(), owned.end());

    boost::mutex::scoped_lock lock(m_mutex);
    m_snapshot = std::move(snapshot);
    m_ownedPorts.swap(owned);
    m_ownersFound = ownersFound;
}

bool CPortMgr::GetTcpPortTable(const platform::PortSnapshot& snapshot, std::vector<PortConnInfo>& list)
{
    if (!snapshot.tcpRead) {
        return false;
    }
    for (const platform::PortEntry& entry : snapshot.entries) {
        if (entry.protocol == platform::Protocol::Tcp) {
            list.push_back(toConnInfo(entry));
        }
    }
    return true;
}

bool CPortMgr::GetUdpPortTable(const platform::PortSnapshot& snapshot, std::vector<PortConnInfo>& list)
{
    if (!snapshot.udpRead) {
        return false;
    }
    for (const platform::PortEntry& entry : snapshot.entries) {
        if (entry.protocol == platform::Protocol::Udp) {
            list.push_back(toConnInfo(entry));
        }
    }
    return true;
}

PortConnInfo CPortMgr::toConnInfo(const platform::PortEntry& entry)
{
    const auto addressText = [](const platform::IpAddress& address) {
        if (address.v6) {
            return platform::addressToString(address);
        }
        std::uint32_t word = 0;
        std::memcpy(&word, address.bytes.data(), sizeof(word));
        return IpToString(word);
    };

    PortConnInfo info;
    info.localAddress = addressText(entry.localAddress);
    info.localPort = entry.localPort;
    if (entry.protocol == platform::Protocol::Tcp) {
        info.protocol = 0;
        info.remoteAddress = addressText(entry.remoteAddress);
        info.remotePort = entry.state == platform::TcpListen ? 0 : entry.remotePort;
        info.state = static_cast<std::uint32_t>(entry.state);
    } else {
        info.protocol = 1;
    }
    info.processId = static_cast<std::int32_t>(entry.processId);
    return info;
}

std::string CPortMgr::IpToString(std::uint32_t address)
{
    unsigned char bytes[4];
    std::memcpy(bytes, &address, sizeof(bytes));
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "."
           + std::to_string(bytes[3]);
}

void CPortMgr::findOwners()
{
    if (!m_ownersFound) {
        platform::findPortOwners(m_snapshot.entries);
        m_ownersFound = true;
    }
}

std::vector<PortConnInfo> CPortMgr::portTable()
{
    boost::mutex::scoped_lock lock(m_mutex);
    findOwners();
    std::vector<PortConnInfo> table;
    table.reserve(m_snapshot.entries.size());
    GetTcpPortTable(m_snapshot, table);
    GetUdpPortTable(m_snapshot, table);
    return table;
}

std::string CPortMgr::holderOf(unsigned int port)
{
    std::vector<std::uint32_t> owners;
    {
        boost::mutex::scoped_lock lock(m_mutex);
        findOwners();
        for (const platform::PortEntry& entry : m_snapshot.entries) {
            if (entry.localPort == port && entry.processId != 0 && entry.processId != platform::kUnknownOwnerPid)
                owners.push_back(entry.processId);
        }
    }
    for (const std::uint32_t owner : owners) {
        const std::string name = platform::processImageName(owner);
        if (!name.empty())
            return name;
    }
    return std::string();
}

bool CPortMgr::CheckPortConflict(unsigned int port)
{
    std::vector<std::uint32_t> owners;
    {
        boost::mutex::scoped_lock lock(m_mutex);
        const auto first = std::lower_bound(m_ownedPorts.begin(), m_ownedPorts.end(),
                                            std::make_pair(static_cast<std::uint32_t>(port), std::size_t(0)));
        for (auto it = first; it != m_ownedPorts.end() && it->first == port; ++it) {
            if (owners.empty()) {
                findOwners(); // only the log needs them
            }
            owners.push_back(m_snapshot.entries[it->second].processId);
        }
    }
    for (const std::uint32_t owner : owners) {
        TLOG_WARN("port conflict, the port is %d, conflict process id is %d.", static_cast<int>(port),
                  static_cast<std::int32_t>(owner));
    }
    return !owners.empty();
}

} // namespace serverframework
