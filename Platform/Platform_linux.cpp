// Linux side of the operating-system layer.
#include "Platform/Platform.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <limits>
#include <netinet/in.h>
#include <pwd.h>
#include <spawn.h>
#include <strings.h>
#include <stddef.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <thread>
#include <unordered_map>

namespace platform {

namespace {

// --- small file helpers ------------------------------------------------------

// Reads a whole file (also the size-less files of /proc and /sys) into out.
bool readAll(const char* path, std::string& out, int dirFd = AT_FDCWD)
{
    out.clear();
    const int fd = ::openat(dirFd, path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n > 0) {
            out.append(buffer, static_cast<size_t>(n));
        } else if (n == 0) {
            break;
        } else if (errno != EINTR) {
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

bool writeAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string readLink(const char* path, int dirFd = AT_FDCWD)
{
    char buffer[4096];
    const ssize_t n = ::readlinkat(dirFd, path, buffer, sizeof buffer);
    if (n <= 0 || static_cast<size_t>(n) >= sizeof buffer) // none, or cut short
        return std::string();
    return std::string(buffer, static_cast<size_t>(n));
}

std::string baseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string env(const char* name)
{
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

// The home folder: $HOME, else the password database.
std::string homeFolder()
{
    std::string home = env("HOME");
    if (!home.empty())
        return home;
    const passwd* pw = ::getpwuid(::geteuid());
    return pw && pw->pw_dir ? std::string(pw->pw_dir) : std::string();
}

bool isNumber(const char* text)
{
    if (!*text)
        return false;
    for (; *text; ++text)
        if (*text < '0' || *text > '9')
            return false;
    return true;
}

// --- port tables -------------------------------------------------------------

int hexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Parses hexadecimal digits at p; advances p past them.
std::uint32_t parseHex(const char*& p, const char* end)
{
    std::uint32_t value = 0;
    int digit;
    while (p < end && (digit = hexDigit(*p)) >= 0) {
        value = (value << 4) | static_cast<std::uint32_t>(digit);
        ++p;
    }
    return value;
}

// "0100007F" (IPv4) or 32 digits (IPv6): the kernel prints each 32-bit word of
// the network-order address as a host-order number.
bool parseAddress(const char*& p, const char* end, IpAddress& address)
{
    const char* start = p;
    while (p < end && hexDigit(*p) >= 0)
        ++p;
    const size_t digits = static_cast<size_t>(p - start);
    if (digits != 8 && digits != 32)
        return false;
    address.v6 = digits == 32;
    for (size_t word = 0; word < digits / 8; ++word) {
        const char* w = start + word * 8;
        const std::uint32_t value = parseHex(w, start + word * 8 + 8);
        std::memcpy(address.bytes.data() + word * 4, &value, 4);
    }
    return true;
}

void skipSpaces(const char*& p, const char* end)
{
    while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
}

void skipToken(const char*& p, const char* end)
{
    while (p < end && *p != ' ' && *p != '\t' && *p != '\n')
        ++p;
}

// Linux TCP state (include/net/tcp_states.h) to the Windows numbering.
int windowsTcpState(std::uint32_t linuxState)
{
    switch (linuxState) {
    case 1: return TcpEstablished;
    case 2: return TcpSynSent;
    case 3: return TcpSynReceived;
    case 4: return TcpFinWait1;
    case 5: return TcpFinWait2;
    case 6: return TcpTimeWait;
    case 7: return TcpClosed;
    case 8: return TcpCloseWait;
    case 9: return TcpLastAck;
    case 10: return TcpListen;
    case 11: return TcpClosing;
    case 12: return TcpSynReceived; // NEW_SYN_RECV
    default: return TcpStateNone;
    }
}

// Parses one /proc/net/{tcp,tcp6,udp,udp6} table. Every entry keeps its
// socket inode; one with an inode has an owner, not looked up yet. False when
// the table cannot be read.
bool readSocketTable(const char* path, Protocol protocol, std::string& buffer, std::vector<PortEntry>& entries)
{
    if (!readAll(path, buffer))
        return false;
    const char* p = buffer.data();
    const char* const end = p + buffer.size();
    // Skip the header line.
    p = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
    if (!p)
        return true;
    ++p;
    while (p < end) {
        const char* lineEnd = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!lineEnd)
            lineEnd = end;
        PortEntry entry;
        entry.protocol = protocol;
        skipSpaces(p, lineEnd);
        skipToken(p, lineEnd); // "sl:"
        skipSpaces(p, lineEnd);
        bool ok = parseAddress(p, lineEnd, entry.localAddress) && p < lineEnd && *p++ == ':';
        if (ok) {
            entry.localPort = static_cast<std::uint16_t>(parseHex(p, lineEnd));
            skipSpaces(p, lineEnd);
            IpAddress remote;
            ok = parseAddress(p, lineEnd, remote) && p < lineEnd && *p++ == ':';
            const std::uint16_t remotePort = static_cast<std::uint16_t>(parseHex(p, lineEnd));
            skipSpaces(p, lineEnd);
            const std::uint32_t state = parseHex(p, lineEnd);
            if (protocol == Protocol::Tcp) {
                entry.remoteAddress = remote;
                entry.remotePort = remotePort;
                entry.state = windowsTcpState(state);
            } else {
                entry.remoteAddress.v6 = remote.v6;
            }
            // tx:rx queue, timer, retransmits, uid, timeout, then the inode.
            for (int i = 0; i < 5; ++i) {
                skipSpaces(p, lineEnd);
                skipToken(p, lineEnd);
            }
            skipSpaces(p, lineEnd);
            std::uint64_t inode = 0;
            const char* digits = p;
            while (p < lineEnd && *p >= '0' && *p <= '9')
                inode = inode * 10 + static_cast<std::uint64_t>(*p++ - '0');
            ok = ok && p > digits;
            if (ok) {
                entry.socketId = inode;
                entry.processId = inode == 0 ? 0 : kUnknownOwnerPid;
                entries.push_back(entry);
            }
        }
        p = lineEnd + 1;
    }
    return true;
}

// Finds the owner of every wanted socket inode with one pass over the
// /proc/<pid>/fd links; stops as soon as all are found.
void resolveOwners(std::unordered_map<std::uint64_t, std::uint32_t>& owners)
{
    size_t unresolved = owners.size();
    if (unresolved == 0)
        return;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return;
    static const char kSocketPrefix[] = "socket:[";
    const size_t prefixLength = sizeof kSocketPrefix - 1;
    char fdPath[64];
    char link[64];
    while (unresolved > 0) {
        const dirent* process = ::readdir(proc);
        if (!process)
            break;
        if (!isNumber(process->d_name))
            continue;
        std::snprintf(fdPath, sizeof fdPath, "%.20s/fd", process->d_name);
        const int fdDirFd = ::openat(::dirfd(proc), fdPath, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fdDirFd < 0)
            continue; // gone, or another user's process
        DIR* fds = ::fdopendir(fdDirFd);
        if (!fds) {
            ::close(fdDirFd);
            continue;
        }
        const std::uint32_t pid = static_cast<std::uint32_t>(std::strtoul(process->d_name, nullptr, 10));
        while (unresolved > 0) {
            const dirent* fd = ::readdir(fds);
            if (!fd)
                break;
            if (fd->d_name[0] == '.')
                continue;
            const ssize_t n = ::readlinkat(fdDirFd, fd->d_name, link, sizeof link - 1);
            if (n <= static_cast<ssize_t>(prefixLength) || std::memcmp(link, kSocketPrefix, prefixLength) != 0)
                continue;
            link[n] = '\0';
            const std::uint64_t inode = std::strtoull(link + prefixLength, nullptr, 10);
            const auto it = owners.find(inode);
            if (it != owners.end() && it->second == kUnknownOwnerPid) {
                it->second = pid;
                --unresolved;
            }
        }
        ::closedir(fds);
    }
    ::closedir(proc);
}

// --- processes ---------------------------------------------------------------

std::string imageNameIn(int procFd, const char* pidText)
{
    char path[64];
    std::snprintf(path, sizeof path, "%.20s/exe", pidText);
    errno = 0;
    std::string exe = readLink(path, procFd);
    // No executable at all (not merely hidden, as another user's is): a kernel
    // thread or a process already ending, whose command line is empty too.
    const bool noExecutable = errno == ENOENT;
    static const std::string kDeleted = " (deleted)";
    if (exe.size() > kDeleted.size() && exe.compare(exe.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        exe.resize(exe.size() - kDeleted.size());
    if (!exe.empty())
        return baseName(exe);
    std::string content;
    std::snprintf(path, sizeof path, "%.20s/cmdline", pidText);
    if (!noExecutable && readAll(path, content, procFd) && !content.empty()) {
        const std::string argv0 = content.substr(0, content.find('\0'));
        if (!argv0.empty())
            return baseName(argv0);
    }
    // Kernel threads have neither: their command name stands in.
    std::snprintf(path, sizeof path, "%.20s/comm", pidText);
    if (readAll(path, content, procFd)) {
        while (!content.empty() && content.back() == '\n')
            content.pop_back();
        return content;
    }
    return std::string();
}

// --- autostart ---------------------------------------------------------------

enum class RunScope { None, Machine, User };

RunScope runScope(const std::string& keyPath)
{
    const size_t split = keyPath.find('\\');
    if (split == std::string::npos || split == 0 || split + 1 >= keyPath.size())
        return RunScope::None;
    const std::string hive = keyPath.substr(0, split);
    std::string subKey = keyPath.substr(split + 1);
    while (!subKey.empty() && subKey.back() == '\\')
        subKey.pop_back();
    static const char kRun[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    if (subKey.size() != sizeof kRun - 1 || ::strncasecmp(subKey.c_str(), kRun, subKey.size()) != 0)
        return RunScope::None;
    if (hive == "HKEY_LOCAL_MACHINE")
        return RunScope::Machine;
    if (hive == "HKEY_CLASSES_ROOT" || hive == "HKEY_CURRENT_CONFIG" || hive == "HKEY_USERS")
        return RunScope::None;
    return RunScope::User; // HKEY_CURRENT_USER, and any unknown hive name
}

std::string autostartFolder(RunScope scope)
{
    if (scope == RunScope::Machine) {
        const std::string dirs = env("XDG_CONFIG_DIRS");
        std::string first = dirs.substr(0, dirs.find(':'));
        if (first.empty() || first[0] != '/')
            first = "/etc/xdg";
        return first + "/autostart";
    }
    std::string home = env("XDG_CONFIG_HOME");
    if (home.empty() || home[0] != '/')
        home = homeFolder() + "/.config";
    return home + "/autostart";
}

// The .desktop file of a value; empty when the key or the name opens nothing.
std::string autostartFile(const std::string& keyPath, const std::string& valueName)
{
    const RunScope scope = runScope(keyPath);
    if (scope == RunScope::None || valueName.empty() || valueName == "." || valueName == ".."
        || valueName.find('/') != std::string::npos || valueName.find('\0') != std::string::npos)
        return std::string();
    return autostartFolder(scope) + "/" + valueName + ".desktop";
}

// Escapes a value of type string in a desktop entry.
std::string escapeDesktopString(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default: out += c;
        }
    }
    if (!out.empty() && out[0] == ' ')
        out.replace(0, 1, "\\s");
    return out;
}

std::string unescapeDesktopString(const std::string& text)
{
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\' || i + 1 == text.size()) {
            out += text[i];
            continue;
        }
        switch (text[++i]) {
        case 's': out += ' '; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case '\\': out += '\\'; break;
        default: out += '\\'; out += text[i];
        }
    }
    return out;
}

// One Exec argument, double-quoted, "%" doubled as field codes require.
std::string quoteExecArgument(const std::string& argument)
{
    std::string out = "\"";
    for (const char c : argument) {
        if (c == '"' || c == '`' || c == '$' || c == '\\')
            out += '\\';
        out += c;
        if (c == '%')
            out += '%';
    }
    out += '"';
    return out;
}

// The first argument of an Exec value, unquoted.
std::string firstExecArgument(const std::string& exec)
{
    std::string argument;
    size_t i = 0;
    while (i < exec.size() && exec[i] == ' ')
        ++i;
    if (i < exec.size() && exec[i] == '"') {
        for (++i; i < exec.size() && exec[i] != '"'; ++i) {
            if (exec[i] == '\\' && i + 1 < exec.size())
                ++i;
            argument += exec[i];
        }
    } else {
        for (; i < exec.size() && exec[i] != ' '; ++i)
            argument += exec[i];
    }
    std::string out;
    for (size_t j = 0; j < argument.size(); ++j) {
        out += argument[j];
        if (argument[j] == '%' && j + 1 < argument.size() && argument[j + 1] == '%')
            ++j;
    }
    return out;
}

// Creates a folder and its missing parents.
bool makeFolders(const std::string& folder)
{
    if (folder.empty())
        return false;
    struct stat info;
    if (::stat(folder.c_str(), &info) == 0)
        return S_ISDIR(info.st_mode);
    const size_t slash = folder.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(folder.substr(0, slash)))
        return false;
    return ::mkdir(folder.c_str(), 0755) == 0 || errno == EEXIST;
}

// The process's file-creation mask, read without changing it.
mode_t currentUmask()
{
    std::string status;
    if (readAll("/proc/self/status", status)) {
        const size_t at = status.find("\nUmask:");
        if (at != std::string::npos)
            return static_cast<mode_t>(std::strtoul(status.c_str() + at + 7, nullptr, 8));
    }
    return 022;
}

} // namespace

// --- process entry and start-up -----------------------------------------------

bool commandLineArguments(int argc, char** argv, std::vector<std::string>& args)
{
    args.clear();
    if (argc < 0 || (argc > 0 && !argv))
        return false;
    for (int i = 0; i < argc; ++i)
        args.emplace_back(argv[i] ? argv[i] : "");
    return true;
}

void setDllSearchDirectory(const std::string&)
{
}

void setProcessDpiUnaware()
{
}

std::string executablePath()
{
    return readLink("/proc/self/exe");
}

std::string sharedLibraryFileName(const std::string& name, int version)
{
    return "lib" + name + ".so." + std::to_string(version);
}

void* loadSharedLibrary(const std::string& fileName, std::string& error)
{
    void* library = ::dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = ::dlerror();
        error = reason ? reason : fileName + ": cannot be loaded";
    }
    return library;
}

void* sharedLibrarySymbol(void* library, const char* symbol)
{
    return ::dlsym(library, symbol);
}

void unloadSharedLibrary(void* library)
{
    ::dlclose(library);
}

// --- displays ----------------------------------------------------------------

std::vector<DisplaySize> displaySizes(const std::string& sysfsRoot)
{
    std::vector<DisplaySize> sizes;
    const std::string drm = sysfsRoot + "/class/drm";
    DIR* dir = ::opendir(drm.c_str());
    if (!dir)
        return sizes;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    std::string content;
    for (const std::string& name : names) {
        const std::string connector = drm + "/" + name;
        if (!readAll((connector + "/status").c_str(), content))
            continue; // a card, not a connector
        if (content.compare(0, 9, "connected") != 0 || (content.size() > 9 && content[9] != '\n'))
            continue;
        DisplaySize size;
        if (readAll((connector + "/modes").c_str(), content)) {
            int width = 0;
            int height = 0;
            if (std::sscanf(content.c_str(), "%dx%d", &width, &height) == 2 && width > 0 && height > 0) {
                size.width = width;
                size.height = height;
            }
        }
        sizes.push_back(size);
    }
    return sizes;
}

// --- port tables -------------------------------------------------------------

std::string addressToString(const IpAddress& address)
{
    char text[INET6_ADDRSTRLEN];
    if (!::inet_ntop(address.v6 ? AF_INET6 : AF_INET, address.bytes.data(), text, sizeof text))
        return std::string();
    return text;
}

PortSnapshot takePortSnapshot()
{
    PortSnapshot snapshot;
    std::string buffer;
    buffer.reserve(1 << 20);
    snapshot.entries.reserve(1024);

    const bool tcp4 = readSocketTable("/proc/net/tcp", Protocol::Tcp, buffer, snapshot.entries);
    const bool tcp6 = readSocketTable("/proc/net/tcp6", Protocol::Tcp, buffer, snapshot.entries);
    const bool udp4 = readSocketTable("/proc/net/udp", Protocol::Udp, buffer, snapshot.entries);
    const bool udp6 = readSocketTable("/proc/net/udp6", Protocol::Udp, buffer, snapshot.entries);
    snapshot.tcpRead = tcp4 || tcp6;
    snapshot.udpRead = udp4 || udp6;
    return snapshot;
}

void findPortOwners(std::vector<PortEntry>& entries)
{
    const auto unresolved = [](const PortEntry& entry) {
        return entry.processId == kUnknownOwnerPid && entry.socketId != 0;
    };
    std::unordered_map<std::uint64_t, std::uint32_t> owners;
    for (const PortEntry& entry : entries) {
        if (unresolved(entry))
            owners.emplace(entry.socketId, kUnknownOwnerPid);
    }
    resolveOwners(owners);
    for (PortEntry& entry : entries) {
        if (unresolved(entry))
            entry.processId = owners[entry.socketId];
    }
}

// --- processes ---------------------------------------------------------------

std::vector<ProcessInfo> listProcesses()
{
    std::vector<ProcessInfo> processes;
    DIR* proc = ::opendir("/proc");
    if (!proc)
        return processes;
    while (const dirent* entry = ::readdir(proc)) {
        if (!isNumber(entry->d_name))
            continue;
        ProcessInfo info;
        info.pid = static_cast<std::uint32_t>(std::strtoul(entry->d_name, nullptr, 10));
        info.imageName = imageNameIn(::dirfd(proc), entry->d_name);
        if (!info.imageName.empty())
            processes.push_back(std::move(info));
    }
    ::closedir(proc);
    return processes;
}

std::string processImageName(std::uint32_t pid)
{
    const int procFd = ::open("/proc", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (procFd < 0)
        return std::string();
    const std::string name = imageNameIn(procFd, std::to_string(pid).c_str());
    ::close(procFd);
    return name;
}

std::vector<std::uint32_t> findProcessesByImageName(const std::string& imageName)
{
    std::vector<std::uint32_t> pids;
    for (const ProcessInfo& process : listProcesses()) {
        if (process.imageName == imageName)
            pids.push_back(process.pid);
    }
    return pids;
}

std::uint32_t currentProcessId()
{
    return static_cast<std::uint32_t>(::getpid());
}

bool terminateProcess(std::uint32_t pid)
{
    // 0 and ids beyond pid_t would address a process group or every process.
    if (pid == 0 || pid > static_cast<std::uint32_t>(std::numeric_limits<pid_t>::max()))
        return false;
    return ::kill(static_cast<pid_t>(pid), SIGTERM) == 0;
}

std::string clientImageName()
{
    return "TavrinClient";
}

bool processOfCurrentUser(std::uint32_t pid)
{
    struct stat info;
    const std::string folder = "/proc/" + std::to_string(pid);
    return pid != 0 && ::stat(folder.c_str(), &info) == 0 && info.st_uid == ::geteuid();
}

std::string processExecutablePath(std::uint32_t pid)
{
    std::string exe = readLink(("/proc/" + std::to_string(pid) + "/exe").c_str());
    static const std::string kDeleted = " (deleted)";
    if (exe.size() > kDeleted.size() && exe.compare(exe.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        exe.resize(exe.size() - kDeleted.size());
    return exe;
}

// --- user and elevation ------------------------------------------------------

std::string userName()
{
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
    passwd entry;
    passwd* found = nullptr;
    if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_name
        && *found->pw_name)
        return found->pw_name;
    return env("USER");
}

bool isAdmin()
{
    return ::geteuid() == 0;
}

std::string scriptExtension()
{
    return ".sh";
}

namespace {

// Starts argv[0] (found on PATH) in a session of its own, with no input and
// none of our sockets or files; false when it cannot be started.
bool spawnDetached(const std::vector<const char*>& argv, pid_t& child)
{
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    if (::posix_spawn_file_actions_init(&actions) != 0)
        return false;
    if (::posix_spawnattr_init(&attributes) != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        return false;
    }
    bool ok = ::posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0
              && ::posix_spawn_file_actions_addclosefrom_np(&actions, 3) == 0
              && ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID) == 0;
    ok = ok
         && ::posix_spawnp(&child, argv[0], &actions, &attributes, const_cast<char* const*>(argv.data()), environ) == 0;
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    return ok;
}

// A detached waiter reaps the child whenever it ends.
void reapLater(pid_t child)
{
    std::thread([child] {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace

bool runElevatedScript(const std::string& folder, const std::string& scriptBaseName)
{
    if (folder.empty() || scriptBaseName.empty())
        return false;
    const std::string script = scriptBaseName + scriptExtension();
    struct stat info;
    if (::stat((folder + "/" + script).c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;

    // The shell sees the folder and the script only as positional parameters.
    static const char kLauncher[] = "cd -- \"$1\" && exec /bin/sh \"./$2\" \"$1\"";
    std::vector<const char*> argv;
    if (!isAdmin())
        argv.push_back("pkexec");
    for (const char* arg : {"/bin/sh", "-c", kLauncher, "sh"})
        argv.push_back(arg);
    argv.push_back(folder.c_str());
    argv.push_back(script.c_str());
    argv.push_back(nullptr);

    // pkexec trusts only a live parent, so the script stays our child.
    pid_t child = -1;
    if (!spawnDetached(argv, child))
        return false;
    reapLater(child);
    return true;
}

bool openWebAddress(const std::string& url, int waitMs)
{
    pid_t child = -1;
    if (!spawnDetached({"xdg-open", url.c_str(), nullptr}, child))
        return false;
    constexpr int kStepMs = 20;
    for (int waited = 0; waited < waitMs; waited += kStepMs) {
        int status = 0;
        const pid_t ended = ::waitpid(child, &status, WNOHANG);
        if (ended == child)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (ended < 0 && errno != EINTR)
            return false;
        ::usleep(kStepMs * 1000);
    }
    reapLater(child); // still busy: a browser it runs in the foreground
    return true;
}

// --- folders and environment ---------------------------------------------------

std::string homeDrive()
{
    return env("HOMEDRIVE");
}

std::string userDataHome()
{
    std::string data = env("XDG_DATA_HOME");
    if (!data.empty() && data[0] == '/')
        return data;
    const std::string home = homeFolder();
    return home.empty() ? std::string() : home + "/.local/share";
}

std::string publicProfileFolder()
{
    const std::string drive = homeDrive();
    if (!drive.empty())
        return drive + "/Users/Public";
    return userDataHome();
}

namespace {

// A folder of this user (not a link) that only the user may enter; tightened
// to 0700 when it is the user's but open to others.
bool privateFolder(const std::string& folder, bool create)
{
    if (folder.empty() || folder[0] != '/')
        return false;
    if (create && ::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info;
    if (::lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    return (info.st_mode & 07777) == 0700 || ::chmod(folder.c_str(), 0700) == 0;
}

std::string withoutTrailingSlashes(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

} // namespace

std::string userRuntimeFolder()
{
    const std::string runtime = withoutTrailingSlashes(env("XDG_RUNTIME_DIR"));
    if (privateFolder(runtime, false))
        return runtime;
    // Not in a shared temporary folder, where another user could take the
    // name first: below the user's own cache folder.
    std::string cache = withoutTrailingSlashes(env("XDG_CACHE_HOME"));
    if (cache.empty() || cache[0] != '/') {
        const std::string home = homeFolder();
        if (home.empty())
            return std::string();
        cache = home + "/.cache";
    }
    const std::string fallback = cache + "/tavrin-runtime";
    return makePrivateFolders(cache) && privateFolder(fallback, true) ? fallback : std::string();
}

// --- shared blocks -------------------------------------------------------------

namespace {

// Byte ranges of the block's file used as locks (open-file-description locks:
// each open of the file is a holder of its own, and the kernel drops them when
// the holder closes or dies).
constexpr off_t kLockByte = 0;
constexpr off_t kOwnerByte = 1;

bool rangeLock(int fd, short type, off_t at, bool wait)
{
    struct flock lock
    {
    };
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = at;
    lock.l_len = 1;
    for (;;) {
        if (::fcntl(fd, wait ? F_OFD_SETLKW : F_OFD_SETLK, &lock) == 0)
            return true;
        if (errno != EINTR)
            return false;
    }
}

bool rangeHeldElsewhere(int fd, off_t at)
{
    struct flock lock
    {
    };
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = at;
    lock.l_len = 1;
    return ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
}

// Whether the open file fd is still the file named path (not removed or
// replaced since it was opened).
bool stillNamed(int fd, const std::string& path)
{
    struct stat opened;
    struct stat named;
    return ::fstat(fd, &opened) == 0 && opened.st_nlink > 0 && ::lstat(path.c_str(), &named) == 0
           && opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

int blockFd(const SharedBlock& block)
{
    return static_cast<int>(block.handle);
}

} // namespace

bool openSharedBlockLocked(const std::string& path, std::size_t size, SharedBlock& block, bool& created)
{
    closeSharedBlock(block, false);
    created = false;
    // Each turn that finds the file removed under it starts again with the
    // file now at path; the remover held the lock, so this ends.
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
        if (fd < 0)
            return false;
        if (!rangeLock(fd, F_WRLCK, kLockByte, true)) {
            ::close(fd);
            return false;
        }
        if (!stillNamed(fd, path)) {
            ::close(fd);
            continue;
        }
        struct stat info;
        if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid()
            || (static_cast<std::size_t>(info.st_size) < size && ::ftruncate(fd, static_cast<off_t>(size)) != 0)) {
            ::close(fd);
            return false;
        }
        void* data = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
        if (data == MAP_FAILED) {
            ::close(fd);
            return false;
        }
        created = static_cast<std::size_t>(info.st_size) < size;
        block.handle = fd;
        block.data = data;
        block.size = size;
        block.path = path;
        return true;
    }
    return false;
}

bool lockSharedBlock(SharedBlock& block)
{
    return block.handle >= 0 && rangeLock(blockFd(block), F_WRLCK, kLockByte, true);
}

void unlockSharedBlock(SharedBlock& block)
{
    if (block.handle >= 0)
        rangeLock(blockFd(block), F_UNLCK, kLockByte, false);
}

bool claimSharedBlockOwner(SharedBlock& block)
{
    return block.handle >= 0 && rangeLock(blockFd(block), F_WRLCK, kOwnerByte, false);
}

void releaseSharedBlockOwner(SharedBlock& block)
{
    if (block.handle >= 0)
        rangeLock(blockFd(block), F_UNLCK, kOwnerByte, false);
}

bool sharedBlockOwnedElsewhere(const SharedBlock& block)
{
    return block.handle >= 0 && rangeHeldElsewhere(blockFd(block), kOwnerByte);
}

void closeSharedBlock(SharedBlock& block, bool removeFile)
{
    if (block.handle < 0)
        return;
    if (removeFile)
        ::unlink(block.path.c_str());
    if (block.data)
        ::munmap(block.data, block.size);
    ::close(blockFd(block));
    block = SharedBlock();
}

int removeAbandonedSharedBlocks(const std::string& folder, const std::string& prefix, const std::string& suffix,
                                const std::vector<std::string>& companionSuffixes)
{
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() > prefix.size() + suffix.size() && name.compare(0, prefix.size(), prefix) == 0
            && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    }
    ::closedir(dir);

    int removed = 0;
    for (const std::string& name : names) {
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        // A block locked right now is in use; one with an owner is alive.
        if (rangeLock(fd, F_WRLCK, kLockByte, false)) {
            if (stillNamed(fd, path) && !rangeHeldElsewhere(fd, kOwnerByte)) {
                const std::string stem = path.substr(0, path.size() - suffix.size());
                for (const std::string& companion : companionSuffixes)
                    ::unlink((stem + companion).c_str());
                ::unlink(path.c_str());
                ++removed;
            }
        }
        ::close(fd);
    }
    return removed;
}

// --- termination requests and the service manager -------------------------------

namespace {

int g_terminationPipe[2] = {-1, -1};

// Only what is safe in a signal handler: one write of the signal number.
void onTerminationSignal(int signal)
{
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    (void)!::write(g_terminationPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

int terminationRequestDescriptor()
{
    static const int descriptor = [] {
        if (::pipe2(g_terminationPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return -1;
        struct sigaction action
        {
        };
        action.sa_handler = &onTerminationSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (const int signal : {SIGTERM, SIGINT, SIGHUP})
            ::sigaction(signal, &action, nullptr);
        return g_terminationPipe[0];
    }();
    return descriptor;
}

int takeTerminationRequest(int descriptor)
{
    unsigned char byte = 0;
    return ::read(descriptor, &byte, 1) == 1 ? byte : 0;
}

bool notifyServiceManager(const std::string& state)
{
    const std::string path = env("NOTIFY_SOCKET");
    if (path.empty())
        return true;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof(address.sun_path) || (path[0] != '/' && path[0] != '@'))
        return false;
    std::memcpy(address.sun_path, path.data(), path.size());
    socklen_t length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + path.size());
    if (path[0] == '@')
        address.sun_path[0] = '\0'; // an abstract socket name
    else
        length += 1;
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool sent =
        ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&address), length)
        == static_cast<ssize_t>(state.size());
    ::close(fd);
    return sent;
}

bool serviceManagerListens()
{
    return !env("NOTIFY_SOCKET").empty();
}

void ignoreBrokenPipes()
{
    ::signal(SIGPIPE, SIG_IGN);
}

namespace {

// The NUL-separated fields of a file of /proc (cmdline, environ).
std::vector<std::string> procFields(const char* path)
{
    std::string text;
    std::vector<std::string> fields;
    if (!readAll(path, text))
        return fields;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\0', start);
        fields.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    return fields;
}

} // namespace

bool startAgainAfterExit()
{
    // An executable replaced while it ran (an upgrade) reads "<path> (deleted)".
    static const std::string kDeleted = " (deleted)";
    std::string program = executablePath();
    if (program.size() > kDeleted.size()
        && program.compare(program.size() - kDeleted.size(), kDeleted.size(), kDeleted) == 0)
        program.resize(program.size() - kDeleted.size());
    // As the process was started: later changes to the environment are not in it.
    const std::vector<std::string> arguments = procFields("/proc/self/cmdline");
    const std::vector<std::string> environment = procFields("/proc/self/environ");
    if (program.empty() || arguments.empty())
        return false;

    // The shell reads the pipe until every holder of its write end has ended,
    // then becomes the program; $0 is the program, the rest its arguments.
    static const char kWaiter[] = "read -r _ <&3; exec 3<&-; exec \"$0\" \"$@\"";
    std::vector<const char*> argv{"/bin/sh", "-c", kWaiter, program.c_str()};
    for (size_t i = 1; i < arguments.size(); ++i)
        argv.push_back(arguments[i].c_str());
    argv.push_back(nullptr);
    std::vector<const char*> envp;
    for (const std::string& variable : environment)
        envp.push_back(variable.c_str());
    envp.push_back(nullptr);

    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    // No signal blocked, the termination requests with their default actions.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    sigset_t defaults;
    sigemptyset(&defaults);
    for (const int signal : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&defaults, signal);
    bool ok = ::posix_spawn_file_actions_init(&actions) == 0;
    if (ok && ::posix_spawnattr_init(&attributes) != 0) {
        ::posix_spawn_file_actions_destroy(&actions);
        ok = false;
    }
    if (!ok) {
        ::close(pipeEnds[0]);
        ::close(pipeEnds[1]);
        return false;
    }
    ok = ::posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], 3) == 0
         && ::posix_spawn_file_actions_addclosefrom_np(&actions, 4) == 0
         && ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF)
                == 0
         && ::posix_spawnattr_setsigmask(&attributes, &noSignals) == 0
         && ::posix_spawnattr_setsigdefault(&attributes, &defaults) == 0;
    pid_t waiter = -1;
    ok = ok
         && ::posix_spawn(&waiter, argv[0], &actions, &attributes, const_cast<char* const*>(argv.data()),
                          const_cast<char* const*>(envp.data()))
                == 0;
    ::posix_spawnattr_destroy(&attributes);
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[0]);
    if (!ok) {
        ::close(pipeEnds[1]);
        return false;
    }
    // The write end stays open, unwritten, until this process ends; the
    // waiter outlives it and is reaped by whoever adopts it.
    return true;
}

// --- files -------------------------------------------------------------------

bool replaceFile(const std::string& path, const std::string& bytes, unsigned how)
{
    const bool ownerOnly = how & OwnerOnly;
    const bool durable = how & Durable;
    const bool keepExisting = how & KeepExisting;
    if (path.empty())
        return false;
    // A symbolic link stays a link: its target is what gets replaced.
    std::string target = path;
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    const bool exists = ::stat(target.c_str(), &info) == 0;
    // A read-only file stays as it is, as an in-place write would fail.
    if (exists && (keepExisting || !S_ISREG(info.st_mode) || (!ownerOnly && ::access(target.c_str(), W_OK) != 0)))
        return false;

    const size_t slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    std::string temp =
        (slash == std::string::npos ? std::string() : target.substr(0, slash + 1)) + "." + baseName(target) + ".XXXXXX";
    const int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0)
        return false;
    const mode_t mode = ownerOnly ? 0600 : exists ? (info.st_mode & 07777) : (0666 & ~currentUmask());
    bool ok = writeAll(fd, bytes.data(), bytes.size()) && ::fchmod(fd, mode) == 0;
    if (ok && !ownerOnly && exists && (info.st_uid != ::geteuid() || info.st_gid != ::getegid()))
        (void)!::fchown(fd, info.st_uid, info.st_gid); // only root may give a file away
    ok = ok && (!durable || ::fsync(fd) == 0);
    ok = ::close(fd) == 0 && ok;
    if (ok && keepExisting) {
        // link() refuses a target that appeared meanwhile; a file system
        // without hard links gets a check, then the rename.
        ok = ::link(temp.c_str(), target.c_str()) == 0
             || (errno != EEXIST && ::access(target.c_str(), F_OK) != 0 && ::rename(temp.c_str(), target.c_str()) == 0);
        ::unlink(temp.c_str());
    } else {
        ok = ok && ::rename(temp.c_str(), target.c_str()) == 0;
    }
    if (!ok) {
        ::unlink(temp.c_str());
        return false;
    }
    // Make the rename itself durable.
    const int folderFd = durable ? ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : -1;
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

ReadResult readFileStart(const std::string& path, std::size_t maxBytes, std::string& bytes)
{
    bytes.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? ReadResult::Missing : ReadResult::Failed;
    bytes.resize(maxBytes);
    std::size_t total = 0;
    bool ok = true;
    while (total < maxBytes) {
        const ssize_t n = ::read(fd, &bytes[total], maxBytes - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);
    bytes.resize(ok ? total : 0);
    return ok ? ReadResult::Ok : ReadResult::Failed;
}

bool makePrivateFolders(const std::string& folder)
{
    if (folder.empty())
        return false;
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/')
            continue;
        if (::mkdir(folder.substr(0, pos).c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat info;
    return ::stat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

int driveSpace(const std::string& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes)
{
    totalBytes = 0;
    freeBytes = 0;
    if (path.empty())
        return EINVAL;
    struct statvfs info;
    if (::statvfs(path.c_str(), &info) != 0)
        return errno ? errno : EIO;
    totalBytes = static_cast<std::uint64_t>(info.f_blocks) * info.f_frsize;
    freeBytes = static_cast<std::uint64_t>(info.f_bavail) * info.f_frsize;
    return 0;
}

// --- text ----------------------------------------------------------------------

namespace {

// The local code page. In the plain C locale (no locale chosen yet, the
// codeset is ASCII) file names are still UTF-8 on Linux, so UTF-8 is taken then.
std::string localCharset()
{
    const char* codeset = ::nl_langinfo(CODESET);
    if (!codeset || !*codeset || std::strcmp(codeset, "ANSI_X3.4-1968") == 0)
        return "UTF-8";
    return codeset;
}

bool isUtf8(const std::string& charset)
{
    return ::strcasecmp(charset.c_str(), "UTF-8") == 0 || ::strcasecmp(charset.c_str(), "UTF8") == 0;
}

// Converts with iconv; false for text that the target cannot hold.
bool convert(const std::string& text, const std::string& from, const std::string& to, std::string& out)
{
    out.clear();
    if (text.empty())
        return true;
    iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string input = text;
    char* in = &input[0];
    std::size_t inLeft = input.size();
    std::string result;
    char buffer[1024];
    bool ok = true;
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const std::size_t rc = ::iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        result.append(buffer, sizeof buffer - outLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    if (ok) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        ::iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        result.append(buffer, sizeof buffer - outLeft);
        out.swap(result);
    }
    ::iconv_close(cd);
    return ok;
}

} // namespace

bool localToUtf8(const std::string& text, std::string& out)
{
    const std::string charset = localCharset();
    if (isUtf8(charset)) {
        out = text;
        return true;
    }
    return convert(text, charset, "UTF-8", out);
}

bool utf8ToLocal(const std::string& text, std::string& out)
{
    const std::string charset = localCharset();
    if (isUtf8(charset)) {
        out = text;
        return true;
    }
    return convert(text, "UTF-8", charset, out);
}

bool localToWide(const std::string& text, std::wstring& out)
{
    out.clear();
    std::string bytes;
    if (!convert(text, localCharset(), "WCHAR_T", bytes))
        return false;
    out.assign(bytes.size() / sizeof(wchar_t), L'\0');
    if (!out.empty())
        std::memcpy(&out[0], bytes.data(), out.size() * sizeof(wchar_t));
    return true;
}

int removeStaleTemporaries(const std::string& path, int olderThanSeconds)
{
    // replaceFile's temporaries: "." + file name + "." + six characters of mkostemp.
    const size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string prefix = "." + baseName(path) + ".";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir)
        return 0;
    const time_t now = ::time(nullptr);
    int removed = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string temp = folder + "/" + name;
        struct stat info;
        if (::lstat(temp.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || now - info.st_mtime < olderThanSeconds)
            continue;
        if (::unlink(temp.c_str()) == 0)
            ++removed;
    }
    ::closedir(dir);
    return removed;
}

void makeNewFilesPrivate()
{
    ::umask(077);
}

unsigned fileCreationMask()
{
    return currentUmask();
}

bool makeTreePrivate(const std::string& root)
{
    struct stat info;
    if (::lstat(root.c_str(), &info) != 0)
        return false;
    if (S_ISLNK(info.st_mode))
        return true;
    if (!S_ISDIR(info.st_mode))
        return !S_ISREG(info.st_mode) || (info.st_mode & 07777) == 0600 || ::chmod(root.c_str(), 0600) == 0;
    bool ok = (info.st_mode & 07777) == 0700 || ::chmod(root.c_str(), 0700) == 0;
    DIR* dir = ::opendir(root.c_str());
    if (!dir)
        return false;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..")
            ok = makeTreePrivate(root + (root.back() == '/' ? "" : "/") + name) && ok;
    }
    ::closedir(dir);
    return ok;
}

// --- registry values -----------------------------------------------------------

bool setRegistryString(const std::string& keyPath, RegistryView, const std::string& valueName, const std::string& data)
{
    const std::string file = autostartFile(keyPath, valueName);
    if (file.empty() || !makeFolders(file.substr(0, file.find_last_of('/'))))
        return false;
    const std::string entry = "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name="
                              + escapeDesktopString(valueName)
                              + "\n"
                                "Exec="
                              + escapeDesktopString(quoteExecArgument(data))
                              + "\n"
                                "X-GNOME-Autostart-enabled=true\n";
    return writeWholeFile(file, entry);
}

std::string registryString(const std::string& keyPath, RegistryView, const std::string& valueName)
{
    const std::string file = autostartFile(keyPath, valueName);
    std::string content;
    if (file.empty() || !readAll(file.c_str(), content))
        return std::string();
    bool inEntryGroup = false;
    size_t start = 0;
    while (start < content.size()) {
        size_t end = content.find('\n', start);
        if (end == std::string::npos)
            end = content.size();
        std::string line = content.substr(start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (!line.empty() && line[0] == '[') {
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntryGroup)
            continue;
        const size_t equals = line.find('=');
        if (equals == std::string::npos)
            continue;
        std::string key = line.substr(0, equals);
        while (!key.empty() && key.back() == ' ')
            key.pop_back();
        if (key != "Exec")
            continue;
        size_t valueStart = equals + 1;
        while (valueStart < line.size() && line[valueStart] == ' ')
            ++valueStart;
        return firstExecArgument(unescapeDesktopString(line.substr(valueStart)));
    }
    return std::string();
}

bool deleteRegistryValue(const std::string& keyPath, RegistryView, const std::string& valueName)
{
    const std::string file = autostartFile(keyPath, valueName);
    if (file.empty())
        return false;
    return ::unlink(file.c_str()) == 0 || errno == ENOENT;
}

} // namespace platform
