#pragma once
// The operating-system layer. Everything the host needs from the OS goes
// through these plain functions and value types; one implementation file per
// OS provides them. No Qt here: the Windows side compiles on its own.
//
// Strings are narrow: UTF-8 on Linux, the local code page on Windows.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

// ---------------------------------------------------------------------------
// Process entry and start-up
// ---------------------------------------------------------------------------

// The process arguments as the program sees them. Windows splits the wide
// command line of the process (argc/argv are ignored there); Linux copies
// argv. False when the command line cannot be split.
bool commandLineArguments(int argc, char** argv, std::vector<std::string>& args);

// Makes the libraries beside the executable win the DLL search. Linux finds
// them through the executable's RPATH ($ORIGIN): nothing to do.
void setDllSearchDirectory(const std::string& directory);

// Marks the process DPI-unaware. Nothing to do on Linux.
void setProcessDpiUnaware();

// Full path of the running executable; empty when it cannot be found.
std::string executablePath();

// A shared library loaded when it is first needed rather than at start.
// The file name of library `name` at major `version` on this OS
// ("libNAME.so.VERSION"; "NAME.dll" on Windows, which has no version in it).
std::string sharedLibraryFileName(const std::string& name, int version);
// Loads it (found the OS's usual way); null, with the reason in `error`, when
// it cannot be loaded. Every successful load is paired with an unload.
void* loadSharedLibrary(const std::string& fileName, std::string& error);
// An exported function or object; null when the library has none of that name.
void* sharedLibrarySymbol(void* library, const char* symbol);
void unloadSharedLibrary(void* library);

// ---------------------------------------------------------------------------
// Displays
// ---------------------------------------------------------------------------

struct DisplaySize
{
    int width = 0;
    int height = 0;
};

// The size of every display device in enumeration order. A device whose size
// cannot be read is reported as 0 x 0 (callers skip those). Linux reads the
// connected connectors under <sysfsRoot>/class/drm/*/ (status "connected",
// first line of "modes"), in name order. No display: an empty list.
// Windows: every display device with its current mode; sysfsRoot is unused.
std::vector<DisplaySize> displaySizes(const std::string& sysfsRoot = "/sys");

// ---------------------------------------------------------------------------
// Port tables (the owner-process TCP and UDP tables)
// ---------------------------------------------------------------------------

enum class Protocol : std::uint8_t { Tcp = 0, Udp = 1 };

// TCP states in the Windows numbering (MIB_TCP_STATE). UDP entries carry 0.
enum TcpState : int {
    TcpStateNone = 0,
    TcpClosed = 1,
    TcpListen = 2,
    TcpSynSent = 3,
    TcpSynReceived = 4,
    TcpEstablished = 5,
    TcpFinWait1 = 6,
    TcpFinWait2 = 7,
    TcpCloseWait = 8,
    TcpClosing = 9,
    TcpLastAck = 10,
    TcpTimeWait = 11,
    TcpDeleteTcb = 12
};

// Owner id of a socket whose owning process is not known: not looked up yet
// (see findPortOwners), or not visible (another user's process, looked at
// without privileges). Non-zero so the port still counts as taken; never a
// real process id. Windows reports every owner: never seen there.
constexpr std::uint32_t kUnknownOwnerPid = 0xFFFFFFFFu;

// An IPv4 or IPv6 address in network byte order (IPv4 in the first 4 bytes).
struct IpAddress
{
    bool v6 = false;
    std::array<std::uint8_t, 16> bytes{};
};

// Numeric text of an address: "127.0.0.1", "::", "fe80::1".
std::string addressToString(const IpAddress& address);

struct PortEntry
{
    Protocol protocol = Protocol::Tcp;
    IpAddress localAddress;
    std::uint16_t localPort = 0;  // host byte order
    IpAddress remoteAddress;      // UDP: unspecified
    std::uint16_t remotePort = 0; // host byte order; UDP: 0
    int state = TcpStateNone;     // TcpState; UDP: 0
    std::uint32_t processId = 0;  // 0: none (time-wait and the like)
    std::uint64_t socketId = 0;   // Linux: the socket's inode, for findPortOwners
};

struct PortSnapshot
{
    bool tcpRead = false;           // false: the TCP tables could not be read
    bool udpRead = false;           // false: the UDP tables could not be read
    std::vector<PortEntry> entries; // TCP (IPv4, IPv6) first, then UDP (IPv4, IPv6)
};

// One snapshot of every TCP and UDP socket of the machine. A table that
// cannot be read is left out and its flag stays false. Windows reports each
// owner in the table; Linux leaves every socket that has one at
// kUnknownOwnerPid, because finding owners walks every process's descriptors:
// findPortOwners does that for the entries that matter.
PortSnapshot takePortSnapshot();

// Fills in, with one walk, the owner of every entry still at kUnknownOwnerPid;
// an owner that cannot be seen stays unknown. Windows: owners are already known.
void findPortOwners(std::vector<PortEntry>& entries);

// ---------------------------------------------------------------------------
// Processes
// ---------------------------------------------------------------------------

struct ProcessInfo
{
    std::uint32_t pid = 0;
    std::string imageName; // base name of the executable, "Palvex.Framework.S" (".exe" on Windows)
};

// Every process of the machine. Empty when no snapshot can be taken.
std::vector<ProcessInfo> listProcesses();

// The image name of one process; empty when it does not exist.
std::string processImageName(std::uint32_t pid);

// The ids of the processes whose image name equals imageName: exactly on
// Linux, without regard to case on Windows (as its file names compare).
std::vector<std::uint32_t> findProcessesByImageName(const std::string& imageName);

std::uint32_t currentProcessId();

// Asks a process to end (SIGTERM; TerminateProcess on Windows) without
// waiting for it. False when there is no such process or it may not be ended;
// 0 and kUnknownOwnerPid never name a process.
bool terminateProcess(std::uint32_t pid);

// The suite client's image name: "TavrinClient" ("TavrinClient.exe" on Windows).
std::string clientImageName();

// True when the process runs as the same (effective) user as this one.
// Windows: the user SIDs of the two processes' tokens are equal.
bool processOfCurrentUser(std::uint32_t pid);

// The full path of a process's executable; empty when it cannot be read.
std::string processExecutablePath(std::uint32_t pid);

// ---------------------------------------------------------------------------
// User and elevation
// ---------------------------------------------------------------------------

// The effective user's name; falls back to the environment ($USER,
// %USERNAME% on Windows); empty when neither is known.
std::string userName();

// True when the process runs with administrator rights: effective uid 0; on
// Windows an elevated token, or the Administrators group enabled where UAC is off.
bool isAdmin();

// File name extension of the suite's scripts: ".sh" (".bat" on Windows).
std::string scriptExtension();

// Runs the script <folder>/<scriptBaseName><scriptExtension()> elevated, with
// folder as its working directory and as its one argument; does not wait for
// it. Linux: directly when already root, otherwise through pkexec. The folder
// is never part of a shell command line, so any folder name is safe.
// Windows: cmd.exe started with the verb "runas" (the elevation prompt), the
// folder only inside double quotes; a name holding '%' (which cmd expands
// even there) or '"' is refused.
// True when the script was launched (false: missing script, no way to start).
bool runElevatedScript(const std::string& folder, const std::string& scriptBaseName);

// Opens a web address in the desktop's browser. Linux: xdg-open, waited for
// up to waitMs (one still running then, a browser it keeps in the
// foreground, has opened it); Windows: the shell's "open". False when
// nothing could open it (no opener, no browser).
bool openWebAddress(const std::string& url, int waitMs);

// ---------------------------------------------------------------------------
// Folders and environment
// ---------------------------------------------------------------------------

// The value of $HOMEDRIVE; empty when unset.
std::string homeDrive();

// The user's data folder: $XDG_DATA_HOME, else $HOME/.local/share (no
// trailing separator); empty when no home folder is known. Windows: the
// local application data folder.
std::string userDataHome();

// The public profile folder: $HOMEDRIVE + "/Users/Public" when HOMEDRIVE is
// set, otherwise userDataHome().
std::string publicProfileFolder();

// The user's runtime folder, private to the user (mode 0700): $XDG_RUNTIME_DIR
// when it names a folder of this user, otherwise <cache>/tavrin-runtime below
// the user's own cache folder ($XDG_CACHE_HOME, else ~/.cache), created when
// missing: never a name in a shared folder that another user could take
// first. Empty when no folder of the user can be had there (a link stands in
// the way, or no home folder is known).
// Windows: <user temp folder>\runtime-<user>, created with an owner-only access list.
std::string userRuntimeFolder();

// ---------------------------------------------------------------------------
// Shared blocks: a small block of memory shared by the processes of one user
// that open the same path (a file mapped into memory, on Windows too: its
// locks are byte-range locks of the file handle). Each block has a lock serialising its users, and an owner
// claim that ends with its holder, however the holder ends.
// ---------------------------------------------------------------------------

struct SharedBlock
{
    std::intptr_t handle = -1;
    void* data = nullptr;
    std::size_t size = 0;
    std::string path;
};

// Opens the block at path (created 0600 and zero-filled when missing) with at
// least size bytes and returns it locked. created: whether it was new. A
// block removed while this call waited for its lock is left for the one now
// at path. False (block closed) when it cannot be opened or mapped.
bool openSharedBlockLocked(const std::string& path, std::size_t size, SharedBlock& block, bool& created);
bool lockSharedBlock(SharedBlock& block);
void unlockSharedBlock(SharedBlock& block);
// Claims the block for this process until releaseSharedBlockOwner, closing
// it, or the end of the process. False when another process holds the claim.
bool claimSharedBlockOwner(SharedBlock& block);
void releaseSharedBlockOwner(SharedBlock& block);
// True when a process other than this one holds the owner claim.
bool sharedBlockOwnedElsewhere(const SharedBlock& block);
// Unmaps and closes the block; with removeFile (lock held) its file goes too.
void closeSharedBlock(SharedBlock& block, bool removeFile);
// Removes the blocks of folder whose file names start with prefix and end
// with suffix that nobody owns or holds locked (left by killed processes),
// together with the files named the same plus each of companionSuffixes.
// Returns how many blocks were removed.
int removeAbandonedSharedBlocks(const std::string& folder, const std::string& prefix, const std::string& suffix,
                                const std::vector<std::string>& companionSuffixes);

// ---------------------------------------------------------------------------
// Termination requests and the service manager
// ---------------------------------------------------------------------------

// Turns the requests to end the process (SIGTERM, SIGINT, SIGHUP on Linux)
// into bytes on a descriptor the event loop can watch, instead of ending the
// process. Returns the descriptor to read (the same on every call), -1 when
// this cannot be set up.
// Windows: console control events instead, and the value is the handle of an event set while requests wait (not pollable: wait on it, e.g. QWinEventNotifier).
int terminationRequestDescriptor();
// The next request waiting on that descriptor (the signal number), 0 when
// none waits. Windows: SIGINT for Ctrl+C, SIGBREAK for Ctrl+Break, SIGTERM for close, log-off and shut-down.
int takeTerminationRequest(int descriptor);

// Sends one state line ("READY=1", "EXTEND_TIMEOUT_USEC=...") to the service
// manager that started the process ($NOTIFY_SOCKET). True when it was sent or
// when no service manager listens. Windows: none listens, so it does nothing and returns true.
bool notifyServiceManager(const std::string& state);
// Whether a service manager started the process and listens for its state
// lines ($NOTIFY_SOCKET set). Windows: never.
bool serviceManagerListens();

// A write to a pipe or socket whose reader has gone fails (EPIPE) instead of
// ending the process: a host whose output nobody reads any more runs on.
void ignoreBrokenPipes();

// Starts this program again once this process has ended: the executable by
// its path (an upgrade in between is what starts), with the arguments and
// the environment this process was started with, in a session of its own,
// with this process's standard input, output and error and none of its other
// descriptors. True when the start is arranged. Linux: a shell waits on a
// pipe whose other end only this process holds, so that nothing but the end
// of this process lets it go on. Windows: not available, always false.
bool startAgainAfterExit();

// ---------------------------------------------------------------------------
// Files
// ---------------------------------------------------------------------------

// How replaceFile writes (flags, or-ed).
enum FileWrite : unsigned {
    // Flushed to the disk (file and folder) before and after the new file
    // takes the old one's place.
    Durable = 1,
    // Only its owner may read it: 0600 (on Windows an access list of the
    // owner alone) whatever the old file's permissions; a read-only file is
    // replaced too.
    OwnerOnly = 2,
    // The file must not exist yet: false, and the file left alone, when it
    // does (also when it appears during the write).
    KeepExisting = 4,
};

// Replaces the whole content of path with bytes, crash-safe: a crash at any
// moment leaves the old content or the new one, never a mix. Creates the file
// when missing; an existing file keeps its permissions (on Windows its access
// list and attributes) unless OwnerOnly. A read-only file is left alone
// (false) unless OwnerOnly.
bool replaceFile(const std::string& path, const std::string& bytes, unsigned how);

// The configuration files.
inline bool writeWholeFile(const std::string& path, const std::string& bytes)
{
    return replaceFile(path, bytes, Durable);
}
inline bool writeNewFile(const std::string& path, const std::string& bytes)
{
    return replaceFile(path, bytes, Durable | KeepExisting);
}
inline bool writePrivateFile(const std::string& path, const std::string& bytes)
{
    return replaceFile(path, bytes, Durable | OwnerOnly);
}
// A file made anew at every start and read only while the program runs (a
// session token): replaced in one step all the same, but not flushed to the
// disk, which cost every start a wait for the disk and saved nothing a crash
// could lose.
inline bool writePrivateRunFile(const std::string& path, const std::string& bytes)
{
    return replaceFile(path, bytes, OwnerOnly);
}

enum class ReadResult { Ok, Missing, Failed };

// Reads at most maxBytes from the start of path. Missing: the file or one of
// its folders does not exist.
ReadResult readFileStart(const std::string& path, std::size_t maxBytes, std::string& bytes);

// Creates folder and its missing parents; the folders it creates only their
// owner may enter (0700; on Windows an inherited access list of the owner
// alone). True when folder is a folder afterwards.
bool makePrivateFolders(const std::string& folder);

// Capacity of the file system holding path and the space the calling user may
// still fill. 0 on success, otherwise the system's error number (counts 0).
int driveSpace(const std::string& path, std::uint64_t& totalBytes, std::uint64_t& freeBytes);

// ---------------------------------------------------------------------------
// Text
// ---------------------------------------------------------------------------

// Conversions from and to the local code page: the codeset of the C library's
// LC_CTYPE (UTF-8 while no locale is chosen), the ANSI code page on Windows.
// Wide text is UTF-32 on Linux, UTF-16 on Windows. False (out empty) when the
// text cannot be converted; from UTF-8 to UTF-8 the bytes pass unchecked.
bool localToUtf8(const std::string& text, std::string& out);
bool utf8ToLocal(const std::string& text, std::string& out);
bool localToWide(const std::string& text, std::wstring& out);
// Removes what interrupted writes of path by writeWholeFile or
// writePrivateFile left beside it, when older than olderThanSeconds (younger
// ones may belong to a write still running). Returns how many were removed.
int removeStaleTemporaries(const std::string& path, int olderThanSeconds);

// From now on every file and folder this process creates is for its user
// only (Linux: the file-creation mask 077).
// Windows has no mask: new files take their folder's inherited access list, so this does nothing.
void makeNewFilesPrivate();
// The permission bits a new file does not get (Linux: the umask, read
// without changing it). Windows: always 0 (no mask).
unsigned fileCreationMask();

// Makes the existing tree under root private to its user: folders 0700,
// files 0600 (Linux; symbolic links are not followed). False when a mode
// could not be changed. Windows: every file and folder gets writePrivateFile's owner-only access list; reparse points are not followed.
bool makeTreePrivate(const std::string& root);

// ---------------------------------------------------------------------------
// Registry values (Linux: the log-on Run keys only, as XDG autostart entries)
// ---------------------------------------------------------------------------

// The registry view a key is opened in.
enum class RegistryView : int { Bits32 = 0, Bits64 = 1 };

// The programs run at log-on, machine-wide and per user.
constexpr const char* kMachineRunKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr const char* kUserRunKey = "HKEY_CURRENT_USER\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";

// keyPath is "<hive>\<sub-key>"; an unknown hive name means the current
// user's hive. On Linux the Run keys map to the XDG autostart folders
// (machine-wide: first folder of $XDG_CONFIG_DIRS, default /etc/xdg, plus
// "/autostart"; per user: $XDG_CONFIG_HOME, default ~/.config, plus
// "/autostart"), value N to the file N.desktop whose Exec runs the value's
// program path; every other key opens nothing (false / empty). Windows opens
// any key in the view asked for; a Run key's value is stored as a quoted
// command line (a path holding '"' is refused) and read back as its program.
bool setRegistryString(const std::string& keyPath, RegistryView view, const std::string& valueName,
                       const std::string& data);
std::string registryString(const std::string& keyPath, RegistryView view, const std::string& valueName);
// True when the value is gone afterwards.
bool deleteRegistryValue(const std::string& keyPath, RegistryView view, const std::string& valueName);

} // namespace platform
