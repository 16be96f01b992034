#pragma once
// Which TCP ports are served on this machine at the moment of asking: a port
// is served when a socket listens on it (on any address), as a fresh read of
// the machine's socket tables shows. The one answer to "is the service on
// this port running" for the host's window and the web client's page.

#include <vector>

namespace comm_method {

class CServedPorts
{
public:
    // Reads the socket tables now.
    static CServedPorts now();

    bool served(int port) const;
    // False when the TCP tables could not be read: then no port is served.
    bool tablesRead() const { return m_read; }

private:
    std::vector<int> m_listening; // sorted
    bool m_read = false;
};

} // namespace comm_method
