#include "ServedPorts.h"

#include "Base/Log.h"
#include "Platform/Platform.h"

#include <algorithm>
#include <atomic>

namespace comm_method {

CServedPorts CServedPorts::now()
{
    const platform::PortSnapshot snapshot = platform::takePortSnapshot();
    CServedPorts ports;
    ports.m_read = snapshot.tcpRead;
    static std::atomic<bool> warned{false};
    if (!ports.m_read && !warned.exchange(true))
        TLOG_WARN("The TCP socket tables cannot be read: no port counts as served.");
    for (const platform::PortEntry& entry : snapshot.entries) {
        if (entry.protocol == platform::Protocol::Tcp && entry.state == platform::TcpListen)
            ports.m_listening.push_back(entry.localPort);
    }
    std::sort(ports.m_listening.begin(), ports.m_listening.end());
    return ports;
}

bool CServedPorts::served(int port) const
{
    return std::binary_search(m_listening.begin(), m_listening.end(), port);
}

} // namespace comm_method
