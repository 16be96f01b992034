#pragma once
// Helpers every benchmark program uses: the median of runs and loopback
// TCP sockets.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace bench {

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline sockaddr_in loopback(unsigned short port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    return address;
}

// A loopback socket listening on port (0: any free one), or connected to
// it; -1 on failure.
inline int loopbackSocket(unsigned short port, bool listening)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    const sockaddr* at = reinterpret_cast<const sockaddr*>(&address);
    const bool ok = fd >= 0
                    && (listening ? ::bind(fd, at, sizeof address) == 0 && ::listen(fd, 128) == 0
                                  : ::connect(fd, at, sizeof address) == 0);
    if (!ok && fd >= 0)
        ::close(fd);
    return ok ? fd : -1;
}

inline unsigned short boundPort(int fd)
{
    sockaddr_in address{};
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    return ntohs(address.sin_port);
}

// A loopback port free now, from the system's ephemeral range; 0 if none.
inline unsigned short freePort()
{
    const int fd = loopbackSocket(0, true);
    if (fd < 0)
        return 0;
    const unsigned short port = boundPort(fd);
    ::close(fd);
    return port;
}

} // namespace bench
