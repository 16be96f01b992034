// The OS layer's Windows side, run under wine64 (or on Windows): prints
// "N passed, N failed" and ends with 1 when anything failed.
#include "Platform.h"
#include "PlatformCases.h"

#include <winsock2.h>
#include <windows.h>
#include <aclapi.h>
#include <shlobj.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const std::string& what)
{
    ok ? ++g_passed : ++g_failed;
    if (!ok)
        std::printf("FAIL %s\n", what.c_str());
}
#define CHECK(condition, row) check((condition), std::string(row) + ": " #condition)

bool underWine()
{
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool writeBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    return bool(out << bytes);
}

// Runs this program with a literal command line behind its own quoted name.
bool start(const std::string& exe, const std::string& args, PROCESS_INFORMATION& info)
{
    std::string line = "\"" + exe + "\" " + args;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    return ::CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
}

void finish(PROCESS_INFORMATION& info, DWORD wait)
{
    ::WaitForSingleObject(info.hProcess, wait);
    ::CloseHandle(info.hThread);
    ::CloseHandle(info.hProcess);
}

// True when the access list lets in the current user and nobody else (the
// system account aside, which Wine reports beside the owner).
bool ownerOnly(const std::string& path)
{
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &dacl,
                                nullptr, &descriptor) != ERROR_SUCCESS)
        return false;
    HANDLE token = nullptr;
    char user[256];
    DWORD length = sizeof user;
    BYTE system[SECURITY_MAX_SID_SIZE];
    DWORD systemSize = sizeof system;
    ACL_SIZE_INFORMATION size{};
    bool ok = dacl && ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)
              && ::GetTokenInformation(token, TokenUser, user, length, &length)
              && ::CreateWellKnownSid(WinLocalSystemSid, nullptr, system, &systemSize)
              && ::GetAclInformation(dacl, &size, sizeof size, AclSizeInformation);
    bool userSeen = false;
    for (DWORD i = 0; ok && i < size.AceCount; ++i) {
        void* ace = nullptr;
        ok = ::GetAce(dacl, i, &ace) && static_cast<ACE_HEADER*>(ace)->AceType == ACCESS_ALLOWED_ACE_TYPE;
        PSID sid = ok ? &static_cast<ACCESS_ALLOWED_ACE*>(ace)->SidStart : nullptr;
        const bool isUser = ok && ::EqualSid(sid, reinterpret_cast<TOKEN_USER*>(user)->User.Sid);
        userSeen = userSeen || isUser;
        ok = ok && (isUser || ::EqualSid(sid, system));
    }
    if (token)
        ::CloseHandle(token);
    ::LocalFree(descriptor);
    return ok && userSeen;
}

void startUp(const std::string& root)
{
    PROCESS_INFORMATION child{};
    const std::string output = root + "\\args.bin";
    CHECK(start(platform::executablePath(), "--args \"" + output + R"(" "say \"hi\"" "two  blanks" C:\folder\ "tail\\" "")", child),
          "start");
    finish(child, 30000);
    const char expected[] = "say \"hi\"\0two  blanks\0C:\\folder\\\0tail\\\0";
    CHECK(readBytes(output) == std::string(expected, sizeof expected), "command line");

    platform::setDllSearchDirectory(root);
    char directory[MAX_PATH] = {};
    ::GetDllDirectoryA(MAX_PATH, directory);
    CHECK(root == directory, "DLL directory");

    ::SetEnvironmentVariableA("HOMEDRIVE", "Q:");
    CHECK(platform::homeDrive() == "Q:" && platform::publicProfileFolder() == "Q:/Users/Public", "profile with HOMEDRIVE");
    ::SetEnvironmentVariableA("HOMEDRIVE", nullptr);
    CHECK(!platform::userDataHome().empty() && platform::publicProfileFolder() == platform::userDataHome(),
          "profile without HOMEDRIVE");
    CHECK(platform::isAdmin() == (::IsUserAnAdmin() != FALSE), "administrator check");
    char name[256];
    const DWORD length = ::GetEnvironmentVariableA("USERNAME", name, sizeof name);
    CHECK(length == 0 || length >= sizeof name || platform::userName() == name, "user name");
}

void processes(const std::string& root)
{
    const std::string client = root + "\\" + platform::clientImageName();
    PROCESS_INFORMATION child{};
    if (!::CopyFileA(platform::executablePath().c_str(), client.c_str(), FALSE) || !start(client, "--sleep", child)) {
        CHECK(false, "start client");
        return;
    }
    const std::uint32_t pid = child.dwProcessId;
    const auto all = platform::listProcesses();
    CHECK(std::any_of(all.begin(), all.end(), [&](auto& p) { return p.pid == pid && p.imageName == "TavrinClient.exe"; }),
          "process list");
    CHECK(platform::processImageName(pid) == "TavrinClient.exe", "image name");
    const std::vector<std::uint32_t> found = platform::findProcessesByImageName("TAVRINclient.EXE");
    CHECK(std::find(found.begin(), found.end(), pid) != found.end(), "names compared without regard to case");
    CHECK(platform::terminateProcess(pid), "terminate");
    finish(child, 10000);
    CHECK(platform::processImageName(pid).empty(), "ended process has no name");
    for (const cases::NotAProcess& row : cases::kNotAProcess)
        CHECK(!platform::terminateProcess(row.pid), row.label);

    const std::uint32_t self = platform::currentProcessId();
    CHECK(::_stricmp(platform::processExecutablePath(self).c_str(), platform::executablePath().c_str()) == 0,
          "own executable path " + platform::processExecutablePath(self));
    CHECK(platform::processOfCurrentUser(self) && !platform::processOfCurrentUser(0)
              && platform::processExecutablePath(0).empty(), "own user");
}

// A loopback socket bound to a free port (listening for TCP), and its port.
SOCKET openLoopback(int type, std::uint16_t& port, std::uint16_t connectTo = 0)
{
    const SOCKET s = ::socket(AF_INET, type, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    if (::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || (type == SOCK_STREAM && !connectTo && ::listen(s, 4)))
        return INVALID_SOCKET;
    address.sin_port = htons(connectTo);
    if (connectTo && ::connect(s, reinterpret_cast<sockaddr*>(&address), length) != 0)
        return INVALID_SOCKET;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    return s;
}

void ports()
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    std::uint16_t serverPort = 0, clientPort = 0, udpPort = 0;
    const SOCKET listener = openLoopback(SOCK_STREAM, serverPort);
    const SOCKET client = openLoopback(SOCK_STREAM, clientPort, serverPort);
    const SOCKET accepted = ::accept(listener, nullptr, nullptr);
    const SOCKET udp = openLoopback(SOCK_DGRAM, udpPort);

    const platform::PortSnapshot snapshot = platform::takePortSnapshot();
    int listening = 0, established = 0;
    for (const platform::PortEntry& entry : cases::entriesOn(snapshot, platform::Protocol::Tcp, serverPort)) {
        listening += entry.state == platform::TcpListen;
        established += entry.state == platform::TcpEstablished && entry.remotePort == clientPort
                       && platform::addressToString(entry.remoteAddress) == "127.0.0.1";
    }
    const auto udpEntries = cases::entriesOn(snapshot, platform::Protocol::Udp, udpPort);
    CHECK(snapshot.tcpRead && snapshot.udpRead && listening == 1 && established == 1 && udpEntries.size() == 1
              && cases::entriesOn(snapshot, platform::Protocol::Tcp, udpPort).empty(), "own sockets");
    // Under Wine the wineserver holds the sockets and the tables report owner 0.
    CHECK(underWine() || udpEntries.at(0).processId == platform::currentProcessId(), "owner");
    for (const SOCKET s : {listener, client, accepted, udp})
        ::closesocket(s);
    for (const cases::AddressText& row : cases::kAddressTexts)
        CHECK(platform::addressToString(cases::toAddress(row)) == row.text, row.label);
    ::WSACleanup();
}

void files(const std::string& root)
{
    int index = 0;
    for (const cases::WholeFileWrite& row : cases::kWholeFileWrites) {
        const std::string folder = root + "\\write" + std::to_string(index++);
        fs::create_directory(folder);
        const std::string path = folder + "\\Setup.xml";
        if (!row.old.empty())
            platform::writeWholeFile(path, row.old);
        CHECK(platform::writeWholeFile(path, row.bytes) && readBytes(path) == row.bytes
                  && std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 1, row.label);
    }

    const std::string locked = root + "\\locked.xml";
    CHECK(platform::writeWholeFile(locked, "old") && ::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY)
              && !platform::writeWholeFile(locked, "new") && readBytes(locked) == "old", "read-only target");
    CHECK(!platform::writeWholeFile(root + "\\missing\\Setup.xml", "x") && !platform::writeWholeFile(root, "x"), "not a file");

    // The private variant replaces even a read-only file, and only its owner may open the result.
    CHECK(platform::writePrivateFile(locked, "secret") && readBytes(locked) == "secret", "private file");
    CHECK(ownerOnly(locked) && !ownerOnly(root + "\\write0\\Setup.xml"), "private file");
    std::string bytes;
    CHECK(platform::readFileStart(locked, 3, bytes) == platform::ReadResult::Ok && bytes == "sec"
              && platform::readFileStart(root + "\\none\\none.dat", 3, bytes) == platform::ReadResult::Missing, "read start");
    const std::string store = root + "\\store\\Tavrin\\Identify";
    CHECK(platform::makePrivateFolders(store) && ownerOnly(store) && !platform::makePrivateFolders(locked + "\\below"),
          "private folders");
    const std::string tree = root + "\\tree";
    fs::create_directories(tree + "\\sub");
    writeBytes(tree + "\\sub\\file.txt", "x");
    CHECK(!ownerOnly(tree + "\\sub\\file.txt") && platform::makeTreePrivate(tree) && ownerOnly(tree)
              && ownerOnly(tree + "\\sub\\file.txt"), "private tree");

    std::string text, back;
    std::wstring wide;
    CHECK(platform::localToWide("Setup.xml", wide) && wide == L"Setup.xml" && platform::utf8ToLocal("Setup.xml", text)
              && platform::localToUtf8(text, back) && back == "Setup.xml", "ASCII conversions");
    CHECK(!platform::utf8ToLocal("bad \xC3", text), "invalid UTF-8");
    std::uint64_t total = 0, available = 0;
    CHECK(platform::driveSpace(root, total, available) == 0 && total > 0 && available <= total
              && platform::driveSpace("", total, available) != 0, "drive space");

    // Interrupted writes' leftovers: only the old ones of this file's pattern go.
    FILETIME old{};
    ::GetSystemTimeAsFileTime(&old);
    ULARGE_INTEGER ticks{{old.dwLowDateTime, old.dwHighDateTime}};
    ticks.QuadPart -= 7200ull * 10000000ull; // two hours ago
    old = FILETIME{ticks.LowPart, ticks.HighPart};
    for (const char* name : {".Setup.xml.12.3.tmp", ".Setup.xml.12.4.tmp", ".Other.xml.1.2.tmp"}) {
        writeBytes(root + "\\" + name, "x");
        HANDLE file = ::CreateFileA((root + "\\" + name).c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        if (std::string(name) != ".Setup.xml.12.4.tmp")
            ::SetFileTime(file, nullptr, nullptr, &old);
        ::CloseHandle(file);
    }
    CHECK(platform::removeStaleTemporaries(root + "\\Setup.xml", 3600) == 1 && fs::exists(root + "\\.Setup.xml.12.4.tmp")
              && fs::exists(root + "\\.Other.xml.1.2.tmp"), "stale temporaries");
}

// The raw TavrinServer value of a Run key in one registry view.
LONG storedValue(HKEY hive, REGSAM view, std::string& value)
{
    HKEY key = nullptr;
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    LONG rc = ::RegOpenKeyExA(hive, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_QUERY_VALUE | view, &key);
    if (rc == ERROR_SUCCESS) {
        rc = ::RegQueryValueExA(key, "TavrinServer", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size);
        ::RegCloseKey(key);
    }
    value = data;
    return rc;
}

void registry()
{
    const auto view = platform::RegistryView::Bits32;
    for (const cases::RunKey& key : cases::kRunKeys) {
        const HKEY hive = key.machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
        for (const std::string& program : cases::kRunPrograms) {
            const std::string row = std::string(key.label) + " " + program;
            CHECK(platform::setRegistryString(key.key, view, "TavrinServer", program)
                      && platform::registryString(key.key, view, "TavrinServer") == program, row);
            // Stored as a quoted command line, in the 32-bit view only.
            std::string stored;
            CHECK(storedValue(hive, KEY_WOW64_32KEY, stored) == ERROR_SUCCESS && stored == "\"" + program + "\"", row);
            if (key.machineWide)
                CHECK(storedValue(hive, KEY_WOW64_64KEY, stored) == ERROR_FILE_NOT_FOUND, row + " (64-bit view)");
            CHECK(platform::deleteRegistryValue(key.key, view, "TavrinServer")
                      && platform::registryString(key.key, view, "TavrinServer").empty()
                      && platform::deleteRegistryValue(key.key, view, "TavrinServer"), row);
        }
    }
    CHECK(!platform::setRegistryString(platform::kUserRunKey, view, "TavrinServer", "C:\\a\" b"), "unquotable path");
    CHECK(!platform::setRegistryString("HKEY_CURRENT_USER", view, "TavrinServer", "C:\\a.exe")
              && !platform::deleteRegistryValue("HKEY_CURRENT_USER", view, "TavrinServer"), "no sub-key");
}

void elevated(const std::string& root)
{
    if (!underWine() && !platform::isAdmin()) {
        std::printf("note: elevated start not checked: it would wait for the elevation prompt\n");
        return;
    }
    const std::string previous = fs::current_path().string();
    int index = 0;
    for (const cases::HostileFolder& row : cases::kHostileFolders) {
        const std::string base = root + "\\elevate" + std::to_string(index++);
        const std::string folder = base + "\\" + row.name;
        fs::create_directories(folder);
        // The script writes its working folder and its argument.
        writeBytes(folder + "\\restart.bat", "@cd > ran.tmp\r\n@echo %1>> ran.tmp\r\n@move /y ran.tmp ran > nul\r\n");
        // Anything a pasted folder name could run would land in the current folder.
        fs::current_path(base);
        const bool launched = platform::runElevatedScript(folder, "restart");
        fs::current_path(previous);
        for (int wait = 0; launched && wait < 600 && !fs::exists(folder + "\\ran"); ++wait)
            ::Sleep(100);
        const std::string ran = readBytes(folder + "\\ran");
        CHECK(launched && ::_stricmp(ran.c_str(), (folder + "\r\n\"" + folder + "\"\r\n").c_str()) == 0, row.label + (": " + ran));
        CHECK(!fs::exists(base + "\\INJECTED") && !fs::exists(folder + "\\INJECTED")
                  && !fs::exists(previous + "\\INJECTED"), row.label);
    }
    CHECK(!platform::runElevatedScript(root, "restart"), "missing script");
}

// The single-instance pieces: runtime folder, shared block, owner checks, temporaries.
void instance(const std::string& root)
{
    const std::string runtime = platform::userRuntimeFolder();
    CHECK(fs::is_directory(runtime) && ownerOnly(runtime), "runtime folder " + runtime);

    const std::string path = root + "\\inst.blk";
    platform::SharedBlock first, second;
    bool created = false;
    CHECK(platform::openSharedBlockLocked(path, 64, first, created) && created && ownerOnly(path), "new block");
    static_cast<char*>(first.data)[0] = 7;
    CHECK(platform::claimSharedBlockOwner(first) && !platform::sharedBlockOwnedElsewhere(first), "claim");
    platform::unlockSharedBlock(first);
    CHECK(platform::openSharedBlockLocked(path, 64, second, created) && !created
              && static_cast<char*>(second.data)[0] == 7, "second open sees the content");
    CHECK(platform::sharedBlockOwnedElsewhere(second) && !platform::claimSharedBlockOwner(second), "claim held");
    platform::unlockSharedBlock(second);
    CHECK(platform::removeAbandonedSharedBlocks(root, "in", ".blk", {}) == 0 && fs::exists(path), "owned kept");
    platform::releaseSharedBlockOwner(first);
    CHECK(!platform::sharedBlockOwnedElsewhere(second), "claim released");
    platform::closeSharedBlock(first, false);
    platform::closeSharedBlock(second, false);
    writeBytes(root + "\\inst.cmp", "x");
    CHECK(platform::removeAbandonedSharedBlocks(root, "in", ".blk", {".cmp"}) == 1 && !fs::exists(path)
              && !fs::exists(root + "\\inst.cmp"), "abandoned removed");
    CHECK(platform::openSharedBlockLocked(path, 64, first, created) && created, "reopened");
    platform::closeSharedBlock(first, true);
    CHECK(!fs::exists(path), "closed with its file");

}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args;
    const bool split = platform::commandLineArguments(argc, argv, args);
    // Child roles for the command-line and process checks.
    if (split && args.size() >= 3 && args[1] == "--args") {
        std::string all;
        for (size_t i = 3; i < args.size(); ++i)
            all += args[i] + '\0';
        return writeBytes(args[2], all) ? 0 : 3;
    }
    if (split && args.size() == 2 && args[1] == "--sleep") {
        ::Sleep(60000);
        return 0;
    }
    CHECK(split && args.size() == 1, "own command line");

    char temp[MAX_PATH];
    char longTemp[MAX_PATH];
    if (!::GetTempPathA(MAX_PATH, temp) || !::GetLongPathNameA(temp, longTemp, MAX_PATH))
        return 2;
    const std::string root = longTemp + std::string("TavrinPlatformWin-") + std::to_string(::GetCurrentProcessId());
    fs::create_directories(root);
    startUp(root);
    processes(root);
    ports();
    files(root);
    registry();
    elevated(root);
    instance(root);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
