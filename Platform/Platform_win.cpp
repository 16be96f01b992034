// Windows side of the operating-system layer (Win32, narrow strings in the ANSI code page).
#include "Platform/Platform.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <aclapi.h>
#include <iphlpapi.h>
#include <sddl.h>
#include <shellapi.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstring>
#include <deque>
#include <mutex>
#include <set>

namespace platform {

namespace {

// --- text and handles ----------------------------------------------------------

std::wstring widen(const std::string& text, UINT codePage = CP_ACP, DWORD flags = 0)
{
    if (text.empty())
        return std::wstring();
    const int length = ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0)
        return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    ::MultiByteToWideChar(codePage, flags, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

// Converts wide text to a code page; false when a character has no exact match there.
bool narrowExactly(const std::wstring& wide, UINT codePage, std::string& out)
{
    out.clear();
    if (wide.empty())
        return true;
    BOOL lossy = FALSE;
    const bool utf8 = codePage == CP_UTF8;
    const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    const int length = ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), nullptr, 0,
                                             nullptr, utf8 ? nullptr : &lossy);
    if (length <= 0 || lossy)
        return false;
    out.assign(static_cast<size_t>(length), '\0');
    ::WideCharToMultiByte(codePage, flags, wide.data(), static_cast<int>(wide.size()), &out[0], length, nullptr,
                          utf8 ? nullptr : &lossy);
    if (lossy)
        out.clear();
    return !lossy;
}

std::string narrow(const wchar_t* wide)
{
    std::string out;
    const int length = ::WideCharToMultiByte(CP_ACP, 0, wide, -1, nullptr, 0, nullptr, nullptr);
    if (length > 1) {
        out.assign(static_cast<size_t>(length), '\0');
        ::WideCharToMultiByte(CP_ACP, 0, wide, -1, &out[0], length, nullptr, nullptr);
        out.resize(static_cast<size_t>(length - 1));
    }
    return out;
}

// Closes a kernel handle when it goes out of scope.
struct Handle
{
    HANDLE handle;
    explicit Handle(HANDLE h)
        : handle(h)
    {
    }
    ~Handle()
    {
        if (valid())
            ::CloseHandle(handle);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    bool valid() const { return handle && handle != INVALID_HANDLE_VALUE; }
};

std::string environment(const wchar_t* name)
{
    wchar_t buffer[1024];
    const DWORD length = ::GetEnvironmentVariableW(name, buffer, 1024);
    return length > 0 && length < 1024 ? narrow(buffer) : std::string();
}

bool isSeparator(wchar_t c)
{
    return c == L'\\' || c == L'/';
}

// --- security --------------------------------------------------------------------

// The user SID of a process's token, kept in buffer; null when it cannot be read.
PSID processUser(HANDLE process, std::string& buffer)
{
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(process, TOKEN_QUERY, &rawToken))
        return nullptr;
    Handle token(rawToken);
    DWORD size = 0;
    ::GetTokenInformation(token.handle, TokenUser, nullptr, 0, &size);
    buffer.assign(size, '\0');
    if (size == 0 || !::GetTokenInformation(token.handle, TokenUser, &buffer[0], size, &size))
        return nullptr;
    return reinterpret_cast<TOKEN_USER*>(&buffer[0])->User.Sid;
}

// A security descriptor that lets only the current user in; inherited by the
// children of a folder. Null when the user cannot be found.
PSECURITY_DESCRIPTOR ownerOnlyDescriptor(bool folder)
{
    std::string buffer;
    const PSID user = processUser(::GetCurrentProcess(), buffer);
    wchar_t* sidText = nullptr;
    if (!user || !::ConvertSidToStringSidW(user, &sidText))
        return nullptr;
    const std::wstring sddl = std::wstring(L"D:P(A;") + (folder ? L"OICI" : L"") + L";FA;;;" + sidText + L")";
    ::LocalFree(sidText);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        return nullptr;
    return descriptor;
}

// --- processes ---------------------------------------------------------------------

// Walks the process snapshot until visit returns false.
template <typename Visit>
void walkProcesses(Visit visit)
{
    Handle snapshot(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.valid())
        return;
    PROCESSENTRY32W entry;
    std::memset(&entry, 0, sizeof entry);
    entry.dwSize = sizeof entry;
    for (BOOL more = ::Process32FirstW(snapshot.handle, &entry); more;
         more = ::Process32NextW(snapshot.handle, &entry)) {
        if (!visit(entry))
            break;
    }
}

// --- port tables -------------------------------------------------------------------

// Calls an IP Helper table function until its buffer is large enough.
template <typename Call>
bool fetchTable(std::string& buffer, Call call)
{
    buffer.clear();
    for (int attempt = 0; attempt < 8; ++attempt) {
        DWORD size = static_cast<DWORD>(buffer.size());
        const DWORD rc = call(buffer.empty() ? nullptr : &buffer[0], &size);
        if (rc == NO_ERROR)
            return true;
        if (rc != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.assign(size + 4096, '\0'); // room for sockets opened in between
    }
    return false;
}

void setV4(IpAddress& address, DWORD networkOrder)
{
    address.v6 = false;
    std::memcpy(address.bytes.data(), &networkOrder, 4);
}

void setV6(IpAddress& address, const UCHAR* bytes)
{
    address.v6 = true;
    std::memcpy(address.bytes.data(), bytes, 16);
}

std::uint16_t port(DWORD networkOrder)
{
    return ntohs(static_cast<u_short>(networkOrder & 0xFFFF));
}

bool readTcp(ULONG family, std::string& buffer, std::vector<PortEntry>& entries)
{
    if (!fetchTable(buffer, [family](void* data, DWORD* size) {
            return ::GetExtendedTcpTable(data, size, TRUE, family, TCP_TABLE_OWNER_PID_ALL, 0);
        }))
        return false;
    if (family == AF_INET) {
        const auto* table = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCPROW_OWNER_PID& row = table->table[i];
            PortEntry entry;
            setV4(entry.localAddress, row.dwLocalAddr);
            entry.localPort = port(row.dwLocalPort);
            setV4(entry.remoteAddress, row.dwRemoteAddr);
            entry.remotePort = port(row.dwRemotePort);
            entry.state = static_cast<int>(row.dwState);
            entry.processId = row.dwOwningPid;
            entries.push_back(entry);
        }
    } else {
        const auto* table = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            const MIB_TCP6ROW_OWNER_PID& row = table->table[i];
            PortEntry entry;
            setV6(entry.localAddress, row.ucLocalAddr);
            entry.localPort = port(row.dwLocalPort);
            setV6(entry.remoteAddress, row.ucRemoteAddr);
            entry.remotePort = port(row.dwRemotePort);
            entry.state = static_cast<int>(row.dwState);
            entry.processId = row.dwOwningPid;
            entries.push_back(entry);
        }
    }
    return true;
}

bool readUdp(ULONG family, std::string& buffer, std::vector<PortEntry>& entries)
{
    if (!fetchTable(buffer, [family](void* data, DWORD* size) {
            return ::GetExtendedUdpTable(data, size, TRUE, family, UDP_TABLE_OWNER_PID, 0);
        }))
        return false;
    if (family == AF_INET) {
        const auto* table = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            PortEntry entry;
            entry.protocol = Protocol::Udp;
            setV4(entry.localAddress, table->table[i].dwLocalAddr);
            entry.localPort = port(table->table[i].dwLocalPort);
            entry.processId = table->table[i].dwOwningPid;
            entries.push_back(entry);
        }
    } else {
        const auto* table = reinterpret_cast<const MIB_UDP6TABLE_OWNER_PID*>(buffer.data());
        for (DWORD i = 0; i < table->dwNumEntries; ++i) {
            PortEntry entry;
            entry.protocol = Protocol::Udp;
            setV6(entry.localAddress, table->table[i].ucLocalAddr);
            entry.remoteAddress.v6 = true;
            entry.localPort = port(table->table[i].dwLocalPort);
            entry.processId = table->table[i].dwOwningPid;
            entries.push_back(entry);
        }
    }
    return true;
}

// --- registry ------------------------------------------------------------------------

// Splits "<hive>\<sub-key>"; false when either part is missing.
bool splitKey(const std::string& keyPath, HKEY& hive, std::wstring& subKey)
{
    const size_t split = keyPath.find('\\');
    if (split == std::string::npos || split == 0 || split + 1 >= keyPath.size())
        return false;
    static const struct
    {
        const char* name;
        HKEY hive;
    } kHives[] = {{"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},
                  {"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
                  {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
                  {"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE},
                  {"HKEY_USERS", HKEY_USERS}};
    const std::string name = keyPath.substr(0, split);
    hive = HKEY_CURRENT_USER;
    for (const auto& known : kHives) {
        if (name == known.name)
            hive = known.hive;
    }
    subKey = widen(keyPath.substr(split + 1));
    while (!subKey.empty() && subKey.back() == L'\\')
        subKey.pop_back();
    return !subKey.empty();
}

bool isRunKey(const std::wstring& subKey)
{
    static const wchar_t kRun[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
    return ::CompareStringOrdinal(subKey.c_str(), static_cast<int>(subKey.size()), kRun, -1, TRUE) == CSTR_EQUAL;
}

REGSAM viewFlag(RegistryView view)
{
    return view == RegistryView::Bits64 ? KEY_WOW64_64KEY : KEY_WOW64_32KEY;
}

// Opens (or with create, creates) a key; the system's result.
LONG openKey(const std::string& keyPath, RegistryView view, REGSAM access, bool create, HKEY& key,
             bool* runKey = nullptr)
{
    key = nullptr;
    HKEY hive = nullptr;
    std::wstring subKey;
    if (!splitKey(keyPath, hive, subKey))
        return ERROR_INVALID_PARAMETER;
    if (runKey)
        *runKey = isRunKey(subKey);
    return create ? ::RegCreateKeyExW(hive, subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                      access | viewFlag(view), nullptr, &key, nullptr)
                  : ::RegOpenKeyExW(hive, subKey.c_str(), 0, access | viewFlag(view), &key);
}

} // namespace

// --- process entry and start-up -----------------------------------------------

bool commandLineArguments(int, char**, std::vector<std::string>& args)
{
    args.clear();
    int count = 0;
    LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    if (!wide)
        return false;
    for (int i = 0; i < count; ++i)
        args.push_back(narrow(wide[i]));
    ::LocalFree(wide);
    return true;
}

void setDllSearchDirectory(const std::string& directory)
{
    ::SetDllDirectoryA(directory.c_str());
}

void setProcessDpiUnaware()
{
    // Windows 8.1 and later only: looked up at run time.
    HMODULE shcore = ::LoadLibraryW(L"shcore.dll");
    if (!shcore)
        return;
    using SetAwareness = HRESULT(WINAPI*)(int);
    const auto set =
        reinterpret_cast<SetAwareness>(reinterpret_cast<void*>(::GetProcAddress(shcore, "SetProcessDpiAwareness")));
    if (set)
        set(0); // PROCESS_DPI_UNAWARE
    ::FreeLibrary(shcore);
}

std::string executablePath()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
        if (length == 0)
            return std::string();
        if (length < path.size())
            return narrow(path.c_str());
        if (path.size() >= 32768)
            return std::string();
        path.assign(path.size() * 2, L'\0');
    }
}

std::string sharedLibraryFileName(const std::string& name, int /*version*/)
{
    return name + ".dll";
}

void* loadSharedLibrary(const std::string& fileName, std::string& error)
{
    HMODULE library = ::LoadLibraryW(widen(fileName).c_str());
    if (!library)
        error = fileName + ": cannot be loaded (error " + std::to_string(::GetLastError()) + ")";
    return reinterpret_cast<void*>(library);
}

void* sharedLibrarySymbol(void* library, const char* symbol)
{
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), symbol));
}

void unloadSharedLibrary(void* library)
{
    ::FreeLibrary(static_cast<HMODULE>(library));
}

// --- displays ----------------------------------------------------------------

std::vector<DisplaySize> displaySizes(const std::string&)
{
    std::vector<DisplaySize> sizes;
    for (DWORD index = 0;; ++index) {
        DISPLAY_DEVICEW device;
        std::memset(&device, 0, sizeof device);
        device.cb = sizeof device;
        if (!::EnumDisplayDevicesW(nullptr, index, &device, 0))
            break;
        DEVMODEW mode;
        std::memset(&mode, 0, sizeof mode);
        mode.dmSize = sizeof mode;
        DisplaySize size;
        if (::EnumDisplaySettingsW(device.DeviceName, ENUM_CURRENT_SETTINGS, &mode) && mode.dmPelsWidth > 0
            && mode.dmPelsHeight > 0) {
            size.width = static_cast<int>(mode.dmPelsWidth);
            size.height = static_cast<int>(mode.dmPelsHeight);
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
    const bool tcp4 = readTcp(AF_INET, buffer, snapshot.entries);
    const bool tcp6 = readTcp(AF_INET6, buffer, snapshot.entries);
    const bool udp4 = readUdp(AF_INET, buffer, snapshot.entries);
    const bool udp6 = readUdp(AF_INET6, buffer, snapshot.entries);
    snapshot.tcpRead = tcp4 || tcp6;
    snapshot.udpRead = udp4 || udp6;
    return snapshot;
}

void findPortOwners(std::vector<PortEntry>&)
{
    // The tables already name every owner.
}

// --- processes ---------------------------------------------------------------

std::vector<ProcessInfo> listProcesses()
{
    std::vector<ProcessInfo> processes;
    walkProcesses([&processes](const PROCESSENTRY32W& entry) {
        processes.push_back(ProcessInfo{entry.th32ProcessID, narrow(entry.szExeFile)});
        return true;
    });
    return processes;
}

std::string processImageName(std::uint32_t pid)
{
    std::string name;
    walkProcesses([pid, &name](const PROCESSENTRY32W& entry) {
        if (entry.th32ProcessID != pid)
            return true;
        name = narrow(entry.szExeFile);
        return false;
    });
    return name;
}

std::vector<std::uint32_t> findProcessesByImageName(const std::string& imageName)
{
    std::vector<std::uint32_t> pids;
    const std::wstring wanted = widen(imageName);
    if (wanted.empty())
        return pids;
    walkProcesses([&wanted, &pids](const PROCESSENTRY32W& entry) {
        if (::CompareStringOrdinal(entry.szExeFile, -1, wanted.c_str(), -1, TRUE) == CSTR_EQUAL)
            pids.push_back(entry.th32ProcessID);
        return true;
    });
    return pids;
}

std::uint32_t currentProcessId()
{
    return ::GetCurrentProcessId();
}

bool terminateProcess(std::uint32_t pid)
{
    if (pid == 0 || pid == kUnknownOwnerPid)
        return false;
    Handle process(::OpenProcess(PROCESS_TERMINATE, FALSE, pid));
    return process.valid() && ::TerminateProcess(process.handle, 1);
}

std::string clientImageName()
{
    return "TavrinClient.exe";
}

bool processOfCurrentUser(std::uint32_t pid)
{
    if (pid == 0 || pid == kUnknownOwnerPid)
        return false;
    Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    std::string theirs;
    std::string ours;
    const PSID their = process.valid() ? processUser(process.handle, theirs) : nullptr;
    const PSID our = processUser(::GetCurrentProcess(), ours);
    return their && our && ::EqualSid(their, our);
}

std::string processExecutablePath(std::uint32_t pid)
{
    Handle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process.valid())
        return std::string();
    std::wstring path(32768, L'\0');
    DWORD length = static_cast<DWORD>(path.size());
    if (!::QueryFullProcessImageNameW(process.handle, 0, &path[0], &length))
        return std::string();
    return narrow(path.c_str());
}

// --- user and elevation ------------------------------------------------------

std::string userName()
{
    wchar_t name[257];
    DWORD size = 257;
    if (::GetUserNameW(name, &size) && name[0])
        return narrow(name);
    return environment(L"USERNAME");
}

bool isAdmin()
{
    HANDLE rawToken = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &rawToken))
        return false;
    Handle token(rawToken);
    TOKEN_ELEVATION elevation{};
    DWORD size = 0;
    if (::GetTokenInformation(token.handle, TokenElevation, &elevation, sizeof elevation, &size)
        && elevation.TokenIsElevated)
        return true;
    // Without UAC the token is not marked, but its Administrators group is enabled.
    SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!::AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0,
                                    0, &administrators))
        return false;
    BOOL member = FALSE;
    const bool ok = ::CheckTokenMembership(nullptr, administrators, &member) && member;
    ::FreeSid(administrators);
    return ok;
}

std::string scriptExtension()
{
    return ".bat";
}

bool runElevatedScript(const std::string& folder, const std::string& scriptBaseName)
{
    // cmd expands %...% even inside quotes, and nothing can quote a '"'.
    static const char kUnquotable[] = "%\"\r\n";
    if (folder.empty() || scriptBaseName.empty() || folder.find_first_of(kUnquotable) != std::string::npos
        || scriptBaseName.find_first_of(kUnquotable) != std::string::npos)
        return false;
    std::wstring wideFolder = widen(folder);
    while (wideFolder.size() > 1 && isSeparator(wideFolder.back()) && wideFolder[wideFolder.size() - 2] != L':')
        wideFolder.pop_back();
    const std::wstring script = wideFolder + L"\\" + widen(scriptBaseName + scriptExtension());
    const DWORD attributes = ::GetFileAttributesW(script.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;

    wchar_t system[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        return false;
    const std::wstring cmd = std::wstring(system) + L"\\cmd.exe";
    // /s: cmd drops only the outer quotes; every name stays inside its own
    // quotes, where &, |, ^, ( and ) are plain characters. /d skips AutoRun
    // commands, /v:off keeps '!' plain.
    const std::wstring parameters =
        L"/d /v:off /s /c \"cd /d \"" + wideFolder + L"\" && \"" + script + L"\" \"" + wideFolder + L"\"\"";
    SHELLEXECUTEINFOW info;
    std::memset(&info, 0, sizeof info);
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpVerb = L"runas";
    info.lpFile = cmd.c_str();
    info.lpParameters = parameters.c_str();
    info.lpDirectory = wideFolder.c_str();
    info.nShow = SW_HIDE;
    return ::ShellExecuteExW(&info) != FALSE;
}

bool openWebAddress(const std::string& url, int /*waitMs*/)
{
    const std::wstring address = widen(url);
    return reinterpret_cast<INT_PTR>(
               ::ShellExecuteW(nullptr, L"open", address.c_str(), nullptr, nullptr, SW_SHOWNORMAL))
           > 32;
}

// --- folders and environment ---------------------------------------------------

std::string homeDrive()
{
    return environment(L"HOMEDRIVE");
}

std::string userDataHome()
{
    wchar_t folder[MAX_PATH];
    if (::SHGetFolderPathW(nullptr, CSIDL_LOCAL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder) != S_OK)
        return std::string();
    return narrow(folder);
}

std::string publicProfileFolder()
{
    const std::string drive = homeDrive();
    if (!drive.empty())
        return drive + "/Users/Public";
    return userDataHome();
}

std::string userRuntimeFolder()
{
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = ::GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH)
        return std::string();
    const std::string user = userName();
    const std::string folder = narrow(temp) + "runtime-" + (user.empty() ? std::string("user") : user);
    return makePrivateFolders(folder) ? folder : std::string();
}

// --- shared blocks -------------------------------------------------------------

namespace {

// Bytes of the block's file used as locks, far beyond its content. Windows
// ties a byte-range lock to the handle that took it and drops it when that
// handle closes or its process ends; locks do not hinder the mapped view.
constexpr DWORD kLockOffsetHigh = 0x40000000;
constexpr DWORD kLockByte = 0;
constexpr DWORD kOwnerByte = 1;

HANDLE blockHandle(const SharedBlock& block)
{
    return reinterpret_cast<HANDLE>(block.handle);
}

bool rangeLock(HANDLE file, DWORD at, bool wait)
{
    OVERLAPPED where{};
    where.Offset = at;
    where.OffsetHigh = kLockOffsetHigh;
    return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY), 0, 1, 0, &where);
}

void rangeUnlock(HANDLE file, DWORD at)
{
    OVERLAPPED where{};
    where.Offset = at;
    where.OffsetHigh = kLockOffsetHigh;
    ::UnlockFileEx(file, 0, 1, 0, &where);
}

// The blocks of this process holding their owner claim: a handle cannot test
// a lock it holds itself without meeting it.
std::mutex g_claimsMutex;
std::set<std::intptr_t> g_claims;

bool claimedHere(std::intptr_t handle)
{
    std::lock_guard<std::mutex> guard(g_claimsMutex);
    return g_claims.count(handle) != 0;
}

// Whether some handle (this one aside) holds the owner byte of file.
bool ownerHeld(HANDLE file)
{
    if (!rangeLock(file, kOwnerByte, false))
        return true;
    rangeUnlock(file, kOwnerByte);
    return false;
}

// Whether the file was removed (waits for its last handle to close).
bool deletePending(HANDLE file)
{
    FILE_STANDARD_INFO info{};
    return !::GetFileInformationByHandleEx(file, FileStandardInfo, &info, sizeof info) || info.DeletePending;
}

HANDLE openBlockFile(const std::wstring& path, DWORD disposition, SECURITY_ATTRIBUTES* security)
{
    return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                         FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, security, disposition,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

} // namespace

bool openSharedBlockLocked(const std::string& path, std::size_t size, SharedBlock& block, bool& created)
{
    closeSharedBlock(block, false);
    created = false;
    const std::wstring wide = widen(path);
    PSECURITY_DESCRIPTOR descriptor = ownerOnlyDescriptor(false);
    if (wide.empty() || !descriptor || size == 0) {
        ::LocalFree(descriptor);
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    // A block removed under this call is gone once its last handle closes;
    // until then its name cannot be opened, so each turn waits a little.
    bool ok = false;
    for (int attempt = 0; attempt < 2000 && !ok; ++attempt) {
        if (attempt > 0)
            ::Sleep(1);
        const HANDLE file = openBlockFile(wide, OPEN_ALWAYS, &security);
        if (file == INVALID_HANDLE_VALUE) {
            if (::GetLastError() == ERROR_ACCESS_DENIED)
                continue;
            break;
        }
        if (!rangeLock(file, kLockByte, true)) {
            ::CloseHandle(file);
            break;
        }
        if (deletePending(file)) {
            ::CloseHandle(file);
            continue;
        }
        BY_HANDLE_FILE_INFORMATION info{};
        LARGE_INTEGER length{};
        if (!::GetFileInformationByHandle(file, &info)
            || (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT))
            || !::GetFileSizeEx(file, &length)) {
            ::CloseHandle(file);
            break;
        }
        // The mapping grows a short file to size, zero-filled.
        const std::uint64_t wanted = size;
        const HANDLE mapping = ::CreateFileMappingW(file, nullptr, PAGE_READWRITE, static_cast<DWORD>(wanted >> 32),
                                                    static_cast<DWORD>(wanted), nullptr);
        void* data = mapping ? ::MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, size) : nullptr;
        if (mapping)
            ::CloseHandle(mapping); // the view keeps the section
        if (!data) {
            ::CloseHandle(file);
            break;
        }
        created = static_cast<std::uint64_t>(length.QuadPart) < wanted;
        block.handle = reinterpret_cast<std::intptr_t>(file);
        block.data = data;
        block.size = size;
        block.path = path;
        ok = true;
    }
    ::LocalFree(descriptor);
    return ok;
}

bool lockSharedBlock(SharedBlock& block)
{
    return block.handle != -1 && rangeLock(blockHandle(block), kLockByte, true);
}

void unlockSharedBlock(SharedBlock& block)
{
    if (block.handle != -1)
        rangeUnlock(blockHandle(block), kLockByte);
}

bool claimSharedBlockOwner(SharedBlock& block)
{
    if (block.handle == -1)
        return false;
    if (claimedHere(block.handle))
        return true;
    if (!rangeLock(blockHandle(block), kOwnerByte, false))
        return false;
    std::lock_guard<std::mutex> guard(g_claimsMutex);
    g_claims.insert(block.handle);
    return true;
}

void releaseSharedBlockOwner(SharedBlock& block)
{
    if (block.handle == -1)
        return;
    std::lock_guard<std::mutex> guard(g_claimsMutex);
    if (g_claims.erase(block.handle))
        rangeUnlock(blockHandle(block), kOwnerByte);
}

bool sharedBlockOwnedElsewhere(const SharedBlock& block)
{
    return block.handle != -1 && !claimedHere(block.handle) && ownerHeld(blockHandle(block));
}

void closeSharedBlock(SharedBlock& block, bool removeFile)
{
    if (block.handle == -1)
        return;
    {
        std::lock_guard<std::mutex> guard(g_claimsMutex);
        g_claims.erase(block.handle);
    }
    if (block.data)
        ::UnmapViewOfFile(block.data);
    if (removeFile) {
        FILE_DISPOSITION_INFO disposition{TRUE};
        ::SetFileInformationByHandle(blockHandle(block), FileDispositionInfo, &disposition, sizeof disposition);
    }
    ::CloseHandle(blockHandle(block));
    block = SharedBlock();
}

int removeAbandonedSharedBlocks(const std::string& folder, const std::string& prefix, const std::string& suffix,
                                const std::vector<std::string>& companionSuffixes)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((widen(folder) + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    do {
        const std::string name = narrow(found.cFileName);
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name.size() > prefix.size() + suffix.size()
            && name.compare(0, prefix.size(), prefix) == 0
            && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
            names.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);

    int removed = 0;
    for (const std::string& name : names) {
        const std::string path = folder + "\\" + name;
        Handle file(openBlockFile(widen(path), OPEN_EXISTING, nullptr));
        // A block locked right now is in use; one with an owner is alive.
        if (!file.valid() || !rangeLock(file.handle, kLockByte, false))
            continue;
        if (!deletePending(file.handle) && !ownerHeld(file.handle)) {
            const std::string stem = path.substr(0, path.size() - suffix.size());
            for (const std::string& companion : companionSuffixes)
                ::DeleteFileW(widen(stem + companion).c_str());
            FILE_DISPOSITION_INFO disposition{TRUE};
            if (::SetFileInformationByHandle(file.handle, FileDispositionInfo, &disposition, sizeof disposition))
                ++removed;
        }
        rangeUnlock(file.handle, kLockByte);
    }
    return removed;
}

// --- termination requests and the service manager -------------------------------

namespace {

// Console control events waiting for the event loop, and the manual-reset
// event set while any waits.
std::mutex g_requestsMutex;
std::deque<int> g_requests;
HANDLE g_requestEvent = nullptr;

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI onConsoleControl(DWORD type)
{
    const int request = type == CTRL_C_EVENT ? SIGINT : type == CTRL_BREAK_EVENT ? SIGBREAK : SIGTERM;
    {
        std::lock_guard<std::mutex> guard(g_requestsMutex);
        g_requests.push_back(request);
        ::SetEvent(g_requestEvent);
    }
    // The system ends the process once this returns from a close, log-off or
    // shut-down event: give the event loop the few seconds allowed to end first.
    if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT)
        ::Sleep(5000);
    return TRUE;
}

} // namespace

int terminationRequestDescriptor()
{
    static const int descriptor = [] {
        g_requestEvent = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (!g_requestEvent)
            return -1;
        if (!::SetConsoleCtrlHandler(&onConsoleControl, TRUE)) {
            ::CloseHandle(g_requestEvent);
            g_requestEvent = nullptr;
            return -1;
        }
        // Kernel handle values fit in 32 bits on 64-bit Windows too.
        return static_cast<int>(reinterpret_cast<std::intptr_t>(g_requestEvent));
    }();
    return descriptor;
}

int takeTerminationRequest(int descriptor)
{
    std::lock_guard<std::mutex> guard(g_requestsMutex);
    if (!g_requestEvent || descriptor != static_cast<int>(reinterpret_cast<std::intptr_t>(g_requestEvent))
        || g_requests.empty())
        return 0;
    const int request = g_requests.front();
    g_requests.pop_front();
    if (g_requests.empty())
        ::ResetEvent(g_requestEvent);
    return request;
}

bool notifyServiceManager(const std::string&)
{
    return true; // no service manager listens for state lines on Windows
}

bool serviceManagerListens()
{
    return false;
}

void ignoreBrokenPipes()
{
    // Windows raises no signal for a write to a closed pipe.
}

bool startAgainAfterExit()
{
    return false; // nothing waits for this process's end on Windows
}

// --- files -------------------------------------------------------------------

namespace {

bool writeAll(HANDLE file, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 24));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr) || written == 0)
            return false;
        done += written;
    }
    return true;
}

} // namespace

bool replaceFile(const std::string& path, const std::string& bytes, unsigned how)
{
    const bool ownerOnly = how & OwnerOnly;
    const bool durable = how & Durable;
    const bool keepExisting = how & KeepExisting;
    if (path.empty())
        return false;
    const std::wstring target = widen(path);
    const DWORD attributes = ::GetFileAttributesW(target.c_str());
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    // A read-only file stays as it is, as an in-place write would fail.
    if (exists
        && (keepExisting || (attributes & FILE_ATTRIBUTE_DIRECTORY)
            || (!ownerOnly && (attributes & FILE_ATTRIBUTE_READONLY))))
        return false;

    // The new file gets the old one's access list (or the owner's alone) before
    // a single rename puts it in place: ReplaceFileW is no atomic step.
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (ownerOnly) {
        descriptor = ownerOnlyDescriptor(false);
        if (!descriptor)
            return false;
    } else if (exists
               && ::GetNamedSecurityInfoW(target.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                                          nullptr, nullptr, &descriptor)
                      != ERROR_SUCCESS) {
        return false;
    }
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    const DWORD kept =
        FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
    const DWORD newAttributes = exists && !ownerOnly && (attributes & kept) ? attributes & kept : FILE_ATTRIBUTE_NORMAL;

    // The new content goes to a fresh file beside the target first.
    static std::atomic<unsigned> counter{0};
    size_t slash = target.size();
    while (slash > 0 && !isSeparator(target[slash - 1]))
        --slash;
    std::wstring temp;
    HANDLE file = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 16 && file == INVALID_HANDLE_VALUE; ++attempt) {
        temp = target.substr(0, slash) + L"." + target.substr(slash) + L"." + std::to_wstring(::GetCurrentProcessId())
               + L"." + std::to_wstring(counter++) + L".tmp";
        file = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, &security, CREATE_NEW,
                             newAttributes | (durable ? FILE_FLAG_WRITE_THROUGH : 0), nullptr);
        if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
            break;
    }
    if (descriptor)
        ::LocalFree(descriptor);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = writeAll(file, bytes) && (!durable || ::FlushFileBuffers(file));
    ok = ::CloseHandle(file) && ok;

    if (ok) {
        if (exists && (attributes & FILE_ATTRIBUTE_READONLY)) // only the private variant gets here
            ::SetFileAttributesW(target.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
        // Without MOVEFILE_REPLACE_EXISTING the move refuses a target that
        // appeared meanwhile.
        ok = ::MoveFileExW(temp.c_str(), target.c_str(),
                           (keepExisting ? 0 : MOVEFILE_REPLACE_EXISTING) | (durable ? MOVEFILE_WRITE_THROUGH : 0));
        if (!ok && exists)
            ::SetFileAttributesW(target.c_str(), attributes);
    }
    if (!ok)
        ::DeleteFileW(temp.c_str());
    return ok;
}

ReadResult readFileStart(const std::string& path, std::size_t maxBytes, std::string& bytes)
{
    bytes.clear();
    Handle file(::CreateFileW(widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid()) {
        const DWORD error = ::GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? ReadResult::Missing
                                                                              : ReadResult::Failed;
    }
    bytes.resize(maxBytes);
    size_t total = 0;
    while (total < maxBytes) {
        DWORD read = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(maxBytes - total, 1u << 24));
        if (!::ReadFile(file.handle, &bytes[total], chunk, &read, nullptr)) {
            bytes.clear();
            return ReadResult::Failed;
        }
        if (read == 0)
            break;
        total += read;
    }
    bytes.resize(total);
    return ReadResult::Ok;
}

bool makePrivateFolders(const std::string& folder)
{
    const std::wstring wide = widen(folder);
    if (wide.empty())
        return false;
    PSECURITY_DESCRIPTOR descriptor = ownerOnlyDescriptor(true);
    if (!descriptor)
        return false;
    SECURITY_ATTRIBUTES security{sizeof(SECURITY_ATTRIBUTES), descriptor, FALSE};
    bool ok = true;
    for (size_t end = 1; ok && end <= wide.size(); ++end) {
        if (end != wide.size() && !isSeparator(wide[end]))
            continue;
        const std::wstring part = wide.substr(0, end);
        if (::GetFileAttributesW(part.c_str()) != INVALID_FILE_ATTRIBUTES)
            continue; // a drive, or a folder already there
        ok = ::CreateDirectoryW(part.c_str(), &security) || ::GetLastError() == ERROR_ALREADY_EXISTS;
    }
    ::LocalFree(descriptor);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    return ok && attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

int driveSpace(const std::string& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes)
{
    totalBytes = 0;
    freeBytes = 0;
    if (path.empty())
        return ERROR_INVALID_PARAMETER;
    ULARGE_INTEGER available, total, totalFree;
    if (!::GetDiskFreeSpaceExW(widen(path).c_str(), &available, &total, &totalFree)) {
        const DWORD error = ::GetLastError();
        return error ? static_cast<int>(error) : ERROR_GEN_FAILURE;
    }
    totalBytes = total.QuadPart;
    freeBytes = available.QuadPart;
    return 0;
}

int removeStaleTemporaries(const std::string& path, int olderThanSeconds)
{
    // replaceFile's temporaries: "." + file name + "." + process id + "." + counter + ".tmp".
    size_t slash = path.size();
    while (slash > 0 && !isSeparator(static_cast<wchar_t>(path[slash - 1])))
        --slash;
    const std::string folder = slash == 0 ? "." : path.substr(0, slash - 1);
    const std::string prefix = "." + path.substr(slash) + ".";
    static const std::string kSuffix = ".tmp";
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW(widen(folder + "\\" + prefix + "*" + kSuffix).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return 0;
    FILETIME nowTime;
    ::GetSystemTimeAsFileTime(&nowTime);
    const auto ticks = [](const FILETIME& time) {
        return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    };
    const std::uint64_t now = ticks(nowTime);
    const std::uint64_t age = static_cast<std::uint64_t>(std::max(olderThanSeconds, 0)) * 10000000u;
    int removed = 0;
    do {
        const std::string name = narrow(found.cFileName);
        if (name.size() <= prefix.size() + kSuffix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        // Between prefix and suffix: digits, one dot, digits.
        const std::string middle = name.substr(prefix.size(), name.size() - prefix.size() - kSuffix.size());
        const size_t dot = middle.find('.');
        if (name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0 || dot == 0
            || dot == std::string::npos || dot + 1 == middle.size()
            || middle.find_first_not_of("0123456789", dot + 1) != std::string::npos
            || middle.find_first_not_of("0123456789") != dot
            || (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            continue;
        const std::uint64_t written = ticks(found.ftLastWriteTime);
        if (now < written || now - written < age)
            continue;
        if (::DeleteFileW(widen(folder + "\\" + name).c_str()))
            ++removed;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return removed;
}

void makeNewFilesPrivate()
{
}

unsigned fileCreationMask()
{
    return 0;
}

bool makeTreePrivate(const std::string& root)
{
    const std::wstring wide = widen(root);
    const DWORD attributes = wide.empty() ? INVALID_FILE_ATTRIBUTES : ::GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return true; // links and junctions are not followed
    const bool folder = attributes & FILE_ATTRIBUTE_DIRECTORY;
    PSECURITY_DESCRIPTOR descriptor = ownerOnlyDescriptor(folder);
    bool ok = descriptor && ::SetFileSecurityW(wide.c_str(), DACL_SECURITY_INFORMATION, descriptor);
    ::LocalFree(descriptor);
    if (!folder)
        return ok;
    WIN32_FIND_DATAW found;
    const HANDLE search = ::FindFirstFileW((wide + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return false;
    const std::string base = isSeparator(wide.back()) ? root : root + "\\";
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..")
            ok = makeTreePrivate(base + narrow(name.c_str())) && ok;
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return ok;
}

// --- text ----------------------------------------------------------------------

namespace {

// Text from one code page to another through UTF-16; false when a character
// is invalid in the source or has no exact match in the target.
bool recode(const std::string& text, UINT from, UINT to, std::string& out)
{
    out.clear();
    if (::GetACP() == CP_UTF8) {
        out = text;
        return true;
    }
    const std::wstring wide = widen(text, from, MB_ERR_INVALID_CHARS);
    return wide.empty() == text.empty() && narrowExactly(wide, to, out);
}

} // namespace

bool localToUtf8(const std::string& text, std::string& out)
{
    return recode(text, CP_ACP, CP_UTF8, out);
}

bool utf8ToLocal(const std::string& text, std::string& out)
{
    return recode(text, CP_UTF8, CP_ACP, out);
}

bool localToWide(const std::string& text, std::wstring& out)
{
    out = widen(text, CP_ACP, MB_ERR_INVALID_CHARS);
    return out.empty() == text.empty();
}

// --- registry values -----------------------------------------------------------

bool setRegistryString(const std::string& keyPath, RegistryView view, const std::string& valueName,
                       const std::string& data)
{
    bool runKey = false;
    HKEY key = nullptr;
    if (openKey(keyPath, view, KEY_SET_VALUE, true, key, &runKey) != ERROR_SUCCESS)
        return false;
    std::wstring value = widen(data);
    if (runKey) {
        // A command line: the program path in quotes, so blanks cannot split it.
        if (value.find(L'"') != std::wstring::npos) {
            ::RegCloseKey(key);
            return false;
        }
        value = L"\"" + value + L"\"";
    }
    const LONG rc =
        ::RegSetValueExW(key, widen(valueName).c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

std::string registryString(const std::string& keyPath, RegistryView view, const std::string& valueName)
{
    bool runKey = false;
    HKEY key = nullptr;
    if (openKey(keyPath, view, KEY_QUERY_VALUE, false, key, &runKey) != ERROR_SUCCESS)
        return std::string();
    const std::wstring name = widen(valueName);
    std::wstring value;
    DWORD size = 0;
    LONG rc = ::RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, nullptr, &size);
    while (rc == ERROR_SUCCESS || rc == ERROR_MORE_DATA) {
        value.assign(size / sizeof(wchar_t) + 1, L'\0');
        size = static_cast<DWORD>(value.size() * sizeof(wchar_t));
        rc = ::RegGetValueW(key, nullptr, name.c_str(), RRF_RT_REG_SZ, nullptr, &value[0], &size);
        if (rc == ERROR_SUCCESS) {
            value.resize(::wcsnlen(value.c_str(), value.size()));
            break;
        }
    }
    ::RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return std::string();
    // A Run value gives back the program of its command line.
    if (runKey && !value.empty() && value[0] == L'"') {
        const size_t close = value.find(L'"', 1);
        value = value.substr(1, close == std::wstring::npos ? std::wstring::npos : close - 1);
    }
    return narrow(value.c_str());
}

bool deleteRegistryValue(const std::string& keyPath, RegistryView view, const std::string& valueName)
{
    HKEY key = nullptr;
    const LONG opened = openKey(keyPath, view, KEY_SET_VALUE, false, key);
    if (opened != ERROR_SUCCESS)
        return opened == ERROR_FILE_NOT_FOUND; // no key: no value either
    const LONG rc = ::RegDeleteValueW(key, widen(valueName).c_str());
    ::RegCloseKey(key);
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
}

} // namespace platform
