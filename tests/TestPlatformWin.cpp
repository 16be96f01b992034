// The OS layer's Windows side, run under wine64 (or on Windows): prints "N passed, N failed" and ends with 1 when anything failed.
#include "Platform/Platform.h"
#include "PlatformCases.h"

#include <winsock2.h>
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#include <shlobj.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;
using namespace platform;

namespace {

int g_passed = 0;
int g_failed = 0;

void check(bool ok, const std::string& what)
{
    ok ? ++g_passed : (++g_failed, std::printf("FAIL %s\n", what.c_str()));
}
#define CHECK(condition, row) check((condition), std::string(row) + ": " #condition)

bool underWine()
{
    return ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

std::string readBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool writeBytes(const std::string& path, const std::string& bytes)
{
    return bool(std::ofstream(path, std::ios::binary) << bytes);
}

// Starts this program (or a copy) with a literal command line behind its quoted name.
HANDLE run(const std::string& exe, const std::string& args)
{
    std::string line = "\"" + exe + "\" " + args;
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    ::CreateProcessA(exe.c_str(), &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info);
    ::CloseHandle(info.hThread);
    return info.hProcess;
}

// True when the access list lets in the current user and nobody else (the system account aside, which Wine reports beside the owner).
bool ownerOnly(const std::string& path)
{
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    HANDLE token = nullptr;
    char user[256], *text = nullptr, *sid = nullptr;
    DWORD length = sizeof user;
    bool ok = ::GetNamedSecurityInfoA(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, nullptr, &descriptor)
                  == ERROR_SUCCESS
              && ::ConvertSecurityDescriptorToStringSecurityDescriptorA(descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &text, nullptr)
              && ::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token) && ::GetTokenInformation(token, TokenUser, user, length, &length)
              && ::ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user)->User.Sid, &sid);
    // Entries read "(type;flags;rights;;;trustee)": only allowing ones, for the user or the system.
    bool userSeen = false;
    for (char* at = ok ? std::strchr(text, '(') : nullptr; ok && at; at = std::strchr(at + 1, '(')) {
        const std::string entry(at + 1, std::strchr(at, ')')), trustee = entry.substr(entry.rfind(';') + 1);
        userSeen = userSeen || trustee == sid;
        ok = entry.rfind("A;", 0) == 0 && (trustee == sid || trustee == "SY");
    }
    ::CloseHandle(token), ::LocalFree(descriptor), ::LocalFree(text), ::LocalFree(sid);
    return ok && userSeen;
}

void processes(const std::string& root)
{
    const std::string out = root + "\\args.bin", client = root + "\\" + clientImageName(), self = executablePath();
    const HANDLE writer = run(self, "--args \"" + out + R"(" "say \"hi\"" "two  blanks" C:\folder\ "tail\\" "")");
    ::WaitForSingleObject(writer, 30000), ::CloseHandle(writer);
    const char expected[] = "say \"hi\"\0two  blanks\0C:\\folder\\\0tail\\\0";
    CHECK(readBytes(out) == std::string(expected, sizeof expected), "command line");

    setDllSearchDirectory(root);
    char directory[MAX_PATH] = {}, name[256];
    ::GetDllDirectoryA(MAX_PATH, directory);
    ::SetEnvironmentVariableA("HOMEDRIVE", "Q:");
    CHECK(root == directory && homeDrive() == "Q:" && publicProfileFolder() == "Q:/Users/Public", "DLL, HOMEDRIVE");
    ::SetEnvironmentVariableA("HOMEDRIVE", nullptr);
    const DWORD length = ::GetEnvironmentVariableA("USERNAME", name, sizeof name);
    CHECK(!userDataHome().empty() && publicProfileFolder() == userDataHome() && isAdmin() == (::IsUserAnAdmin() != FALSE)
              && (length == 0 || length >= sizeof name || userName() == name),
          "without HOMEDRIVE, user");

    const HANDLE child = ::CopyFileA(self.c_str(), client.c_str(), FALSE) ? run(client, "--sleep") : nullptr;
    const std::uint32_t pid = ::GetProcessId(child), me = currentProcessId();
    const auto all = listProcesses();
    const auto found = findProcessesByImageName("TAVRINclient.EXE");
    CHECK(pid && std::any_of(all.begin(), all.end(), [&](auto& p) { return p.pid == pid && p.imageName == "TavrinClient.exe"; })
              && processImageName(pid) == "TavrinClient.exe" && std::count(found.begin(), found.end(), pid) && terminateProcess(pid)
              && ::WaitForSingleObject(child, 10000) == WAIT_OBJECT_0 && processImageName(pid).empty(),
          "client found, case aside, terminated");
    ::CloseHandle(child);
    for (const cases::NotAProcess& row : cases::kNotAProcess)
        CHECK(!terminateProcess(row.pid), row.label);
    CHECK(::_stricmp(processExecutablePath(me).c_str(), self.c_str()) == 0 && processOfCurrentUser(me) && !processOfCurrentUser(0)
              && processExecutablePath(0).empty(),
          "own process");
}

using cases::openLoopback;

void ports()
{
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    std::uint16_t serverPort = 0, clientPort = 0, udpPort = 0;
    const SOCKET listener = openLoopback(SOCK_STREAM, serverPort), client = openLoopback(SOCK_STREAM, clientPort, serverPort);
    const SOCKET accepted = ::accept(listener, nullptr, nullptr), udp = openLoopback(SOCK_DGRAM, udpPort);
    const PortSnapshot snapshot = takePortSnapshot();
    int listening = 0, established = 0;
    for (const PortEntry& entry : cases::entriesOn(snapshot, Protocol::Tcp, serverPort)) {
        listening += entry.state == TcpListen;
        established += entry.state == TcpEstablished && entry.remotePort == clientPort && addressToString(entry.remoteAddress) == "127.0.0.1";
    }
    const auto udpEntries = cases::entriesOn(snapshot, Protocol::Udp, udpPort);
    // Under Wine the wineserver holds the sockets and the tables report owner 0.
    CHECK(snapshot.tcpRead && snapshot.udpRead && listening == 1 && established == 1 && udpEntries.size() == 1
              && cases::entriesOn(snapshot, Protocol::Tcp, udpPort).empty() && (underWine() || udpEntries[0].processId == currentProcessId()),
          "own sockets");
    for (const SOCKET s : {listener, client, accepted, udp})
        ::closesocket(s);
    for (const cases::AddressText& row : cases::kAddressTexts)
        CHECK(addressToString(cases::toAddress(row)) == row.text, row.label);
}

void files(const std::string& root)
{
    for (const cases::WholeFileWrite& row : cases::kWholeFileWrites) {
        const std::string folder = root + "\\" + row.label, path = folder + "\\Setup.xml";
        fs::create_directory(folder);
        CHECK((row.old.empty() || writeWholeFile(path, row.old)) && writeWholeFile(path, row.bytes) && readBytes(path) == row.bytes
                  && std::distance(fs::directory_iterator(folder), fs::directory_iterator()) == 1,
              row.label);
    }
    // The private variant replaces even a read-only file, and only its owner may open the result.
    const std::string locked = root + "\\locked.xml", tree = root + "\\tree", leaf = tree + "\\sub\\file.txt";
    std::string bytes;
    CHECK(writeWholeFile(locked, "old") && ::SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY) && !writeWholeFile(locked, "new")
              && readBytes(locked) == "old" && !writeWholeFile(root + "\\missing\\Setup.xml", "x") && !writeWholeFile(root, "x")
              && writePrivateFile(locked, "secret") && ownerOnly(locked) && !ownerOnly(root + "\\new file\\Setup.xml")
              && readFileStart(locked, 3, bytes) == ReadResult::Ok && bytes == "sec"
              && readFileStart(root + "\\none\\none.dat", 3, bytes) == ReadResult::Missing,
          "read-only, private");
    fs::create_directories(tree + "\\sub");
    CHECK(makePrivateFolders(root + "\\store\\Tavrin\\Identify") && ownerOnly(root + "\\store\\Tavrin\\Identify")
              && !makePrivateFolders(locked + "\\below") && writeBytes(leaf, "x") && !ownerOnly(leaf) && makeTreePrivate(tree) && ownerOnly(tree)
              && ownerOnly(leaf),
          "private folders and tree");

    std::string text, back;
    std::wstring wide;
    std::uint64_t total = 0, available = 0;
    CHECK(localToWide("Setup.xml", wide) && wide == L"Setup.xml" && utf8ToLocal("Setup.xml", text) && localToUtf8(text, back) && back == "Setup.xml"
              && !utf8ToLocal("bad \xC3", text) && driveSpace(root, total, available) == 0 && total > 0 && available <= total
              && driveSpace("", total, available) != 0,
          "conversions, drive space");

    // Interrupted writes' leftovers: only the old ones of this file's pattern go.
    for (const std::string name : {".Setup.xml.12.3.tmp", ".Setup.xml.12.4.tmp", ".Other.xml.1.2.tmp"})
        if (writeBytes(root + "\\" + name, "x") && name != ".Setup.xml.12.4.tmp")
            fs::last_write_time(root + "\\" + name, fs::file_time_type::clock::now() - std::chrono::hours(2));
    CHECK(removeStaleTemporaries(root + "\\Setup.xml", 3600) == 1 && fs::exists(root + "\\.Setup.xml.12.4.tmp")
              && fs::exists(root + "\\.Other.xml.1.2.tmp"),
          "stale temporaries");

    // The single-instance pieces: runtime folder, shared block, owner checks, leftovers.
    const std::string runtime = userRuntimeFolder(), path = root + "\\inst.blk";
    SharedBlock first, second;
    bool created = false, again = true;
    CHECK(fs::is_directory(runtime) && ownerOnly(runtime) && openSharedBlockLocked(path, 64, first, created) && created && ownerOnly(path)
              && claimSharedBlockOwner(first) && !sharedBlockOwnedElsewhere(first),
          "new block");
    static_cast<char*>(first.data)[0] = 7;
    unlockSharedBlock(first);
    CHECK(openSharedBlockLocked(path, 64, second, again) && !again && static_cast<char*>(second.data)[0] == 7 && sharedBlockOwnedElsewhere(second)
              && !claimSharedBlockOwner(second) && removeAbandonedSharedBlocks(root, "in", ".blk", {}) == 0 && fs::exists(path),
          "second open");
    unlockSharedBlock(second);
    releaseSharedBlockOwner(first);
    CHECK(!sharedBlockOwnedElsewhere(second), "claim released");
    closeSharedBlock(first, false);
    closeSharedBlock(second, false);
    CHECK(writeBytes(root + "\\inst.cmp", "x") && removeAbandonedSharedBlocks(root, "in", ".blk", {".cmp"}) == 1 && !fs::exists(path)
              && !fs::exists(root + "\\inst.cmp") && openSharedBlockLocked(path, 64, first, created) && created,
          "abandoned removed");
    closeSharedBlock(first, true);
    CHECK(!fs::exists(path), "closed with its file");
}

// The raw TavrinServer value of the Run key in one registry view, empty when there is none.
std::string storedValue(HKEY hive, REGSAM view)
{
    HKEY key = nullptr;
    char data[1024] = {};
    DWORD size = sizeof data - 1;
    if (::RegOpenKeyExA(hive, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run", 0, KEY_QUERY_VALUE | view, &key) == 0)
        ::RegQueryValueExA(key, "TavrinServer", nullptr, nullptr, reinterpret_cast<BYTE*>(data), &size), ::RegCloseKey(key);
    return data;
}

void registry()
{
    const auto view = RegistryView::Bits32;
    for (const cases::RunKey& key : cases::kRunKeys)
        for (const std::string& program : cases::kRunPrograms) {
            // Stored as a quoted command line, in the 32-bit view only.
            const HKEY hive = key.machineWide ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
            CHECK(setRegistryString(key.key, view, "TavrinServer", program) && registryString(key.key, view, "TavrinServer") == program
                      && storedValue(hive, KEY_WOW64_32KEY) == "\"" + program + "\""
                      && (!key.machineWide || storedValue(hive, KEY_WOW64_64KEY).empty()) && deleteRegistryValue(key.key, view, "TavrinServer")
                      && registryString(key.key, view, "TavrinServer").empty() && deleteRegistryValue(key.key, view, "TavrinServer"),
                  key.label + (" " + program));
        }
    CHECK(!setRegistryString(kUserRunKey, view, "TavrinServer", "C:\\a\" b")
              && !setRegistryString("HKEY_CURRENT_USER", view, "TavrinServer", "C:\\a.exe")
              && !deleteRegistryValue("HKEY_CURRENT_USER", view, "TavrinServer"),
          "unquotable, no sub-key");
}

void elevated(const std::string& root)
{
    if (!underWine() && !isAdmin())
        return void(std::printf("note: elevated start not checked: it would wait for the elevation prompt\n"));
    const std::string previous = fs::current_path().string();
    for (const cases::HostileFolder& row : cases::kHostileFolders) {
        const std::string base = root + "\\" + row.label, folder = base + "\\" + row.name;
        fs::create_directories(folder);
        // The script writes its working folder and argument; what a folder name could run lands in `base`.
        writeBytes(folder + "\\restart.bat", "@cd > ran.tmp\r\n@echo %1>> ran.tmp\r\n@move /y ran.tmp ran > nul\r\n");
        fs::current_path(base);
        const bool launched = runElevatedScript(folder, "restart");
        fs::current_path(previous);
        for (int wait = 0; launched && wait < 600 && !fs::exists(folder + "\\ran"); ++wait)
            ::Sleep(100);
        const std::string ran = readBytes(folder + "\\ran");
        CHECK(launched && ::_stricmp(ran.c_str(), (folder + "\r\n\"" + folder + "\"\r\n").c_str()) == 0 && !fs::exists(base + "\\INJECTED")
                  && !fs::exists(folder + "\\INJECTED") && !fs::exists(previous + "\\INJECTED"),
              row.label + (": " + ran));
    }
    CHECK(!runElevatedScript(root, "restart"), "missing script");
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args;
    const bool split = commandLineArguments(argc, argv, args);
    if (split && args.size() >= 3 && args[1] == "--args") { // writes its further arguments, each ended by NUL
        std::string all;
        for (size_t i = 3; i < args.size(); ++i)
            all += args[i] + '\0';
        return writeBytes(args[2], all) ? 0 : 3;
    }
    if (split && args.size() == 2 && args[1] == "--sleep")
        return ::Sleep(60000), 0;

    char temp[MAX_PATH], longTemp[MAX_PATH];
    if (!::GetTempPathA(MAX_PATH, temp) || !::GetLongPathNameA(temp, longTemp, MAX_PATH))
        return 2;
    const std::string root = longTemp + std::string("TavrinPlatformWin-") + std::to_string(::GetCurrentProcessId());
    fs::create_directories(root);
    processes(root);
    ports();
    files(root);
    registry();
    elevated(root);
    std::error_code ignored;
    fs::remove_all(root, ignored);
    std::printf("%d passed, %d failed\n", g_passed, g_failed);
    return g_failed ? 1 : 0;
}
