#pragma once
// Cases of the OS layer that mean the same on Linux and on Windows, checked by the Linux tests (TestPlatform*.cpp) and by the Windows test program
// alike. No Qt: the Windows program is built without it.
#include "Platform/Platform.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <arpa/inet.h>
#include <sys/socket.h>
#endif

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace cases {

// A whole-file write over what the file held before (empty: no file yet).
struct WholeFileWrite
{
    const char* label;
    std::string old;
    std::string bytes;
};

inline const std::vector<WholeFileWrite> kWholeFileWrites = {
    {"new file", "", "<Configs/>"},
    {"shorter than before", std::string(5000, 'x'), ""},
    {"binary with trailing line feeds", "a", std::string("\0\x01\xFF\n\n\n", 6)},
    {"one megabyte", "a", std::string(1 << 20, 'q')},
};

// The log-on Run keys; machineWide tells which of the two a key means.
struct RunKey
{
    const char* label;
    std::string key;
    bool machineWide;
};

inline const std::vector<RunKey> kRunKeys = {
    {"machine-wide", platform::kMachineRunKey, true},
    {"per user", platform::kUserRunKey, false},
    {"unknown hive is the user's", "HKEY_NOWHERE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", false},
};

// Program paths a Run value gives back unchanged.
inline const std::vector<std::string> kRunPrograms = {
    "/opt/Tavrin/Server/Palvex.Framework.S",
    "/opt/My Suite $HOME `id` 100% & (x86)^/back\\slash/Palvex.Framework.S",
};

// Ids that name no process.
struct NotAProcess
{
    const char* label;
    std::uint32_t pid;
};

inline const std::vector<NotAProcess> kNotAProcess = {
    {"no process", 0},
    {"unknown owner", platform::kUnknownOwnerPid},
    {"not running", 0x7FFFFFF0u},
};

// Folder names that hide a command for sh or for cmd, valid on both systems. Whatever such a name could run creates a folder named INJECTED.
struct HostileFolder
{
    const char* label;
    const char* name;
};

inline const std::vector<HostileFolder> kHostileFolders = {
    {"spaces", "Tavrin SMS Plugin"},
    {"ampersand", "bin & mkdir INJECTED & rem"},
    {"caret and brackets", "bin^&(mkdir INJECTED)"},
    {"command substitution", "$(mkdir INJECTED)"},
    {"backticks", "`mkdir INJECTED`"},
    {"exclamation marks", "bin!&mkdir INJECTED&!"},
    {"leading dash", "-n"},
};

// Numeric text of addresses (bytes in network order).
struct AddressText
{
    const char* label;
    bool v6;
    std::string bytes;
    const char* text;
};

inline const std::vector<AddressText> kAddressTexts = {
    {"v4", false, std::string("\xC0\xA8\x01\x02", 4), "192.168.1.2"},
    {"v6 mapped v4", true, std::string(10, '\0') + std::string("\xFF\xFF\x7F\x00\x00\x01", 6), "::ffff:127.0.0.1"},
};

inline std::vector<platform::PortEntry> entriesOn(const platform::PortSnapshot& snapshot, platform::Protocol protocol, std::uint16_t port)
{
    std::vector<platform::PortEntry> found;
    std::copy_if(snapshot.entries.begin(), snapshot.entries.end(), std::back_inserter(found),
                 [&](const platform::PortEntry& e) { return e.protocol == protocol && e.localPort == port; });
    return found;
}

inline platform::IpAddress toAddress(const AddressText& row)
{
    platform::IpAddress address;
    address.v6 = row.v6;
    std::copy(row.bytes.begin(), row.bytes.end(), address.bytes.begin());
    return address;
}

#ifdef _WIN32
using Socket = SOCKET;
using SocketLength = int;
#else
using Socket = int;
using SocketLength = socklen_t;
#endif

// A loopback socket on a free port (listening for TCP unless it connects to connectTo), and its port; Socket(-1) when a step failed.
inline Socket openLoopback(int type, std::uint16_t& port, std::uint16_t connectTo = 0)
{
    const Socket s = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    SocketLength length = sizeof address;
    sockaddr* raw = reinterpret_cast<sockaddr*>(&address);
    const bool ok = ::bind(s, raw, length) == 0 && (type != SOCK_STREAM || connectTo || ::listen(s, 4) == 0)
                    && ((address.sin_port = htons(connectTo)), !connectTo || ::connect(s, raw, length) == 0) && ::getsockname(s, raw, &length) == 0;
    port = ntohs(address.sin_port);
    return ok ? s : Socket(-1);
}

} // namespace cases
