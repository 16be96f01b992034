#include "Base/IdentifyUtil.h"

#include "Platform.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Base {
namespace IdentifyUtil {

namespace {

// Store file: magic, format version, the record, SHA-256 of the record.
constexpr char kMagic[4] = {'T', 'V', 'I', 'D'};
constexpr unsigned char kVersion = 1;
constexpr std::size_t kDigestSize = 32;
constexpr std::size_t kFileSize = sizeof kMagic + 1 + sizeof(tagRegCfgInfo) + kDigestSize;
const char* const kFileName = "IdentifyInfo.dat";

std::mutex g_mutex;
std::string g_storeDir;  // empty: not initialised, the default folder applies

std::string defaultStoreDir()
{
    std::string dataHome;
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') {
        dataHome = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (!home || !*home) {
            const passwd* pw = getpwuid(geteuid());
            home = pw ? pw->pw_dir : nullptr;
        }
        if (!home || !*home)
            return std::string();
        dataHome = std::string(home) + "/.local/share";
    }
    return dataHome + "/Tavrin/Identify";
}

std::string storeDirLocked()
{
    return g_storeDir.empty() ? defaultStoreDir() : g_storeDir;
}

// mkdir -p with owner-only permissions for the folders it creates.
bool makePath(const std::string& dir)
{
    if (dir.empty())
        return false;
    for (std::size_t pos = 1; pos <= dir.size(); ++pos) {
        if (pos != dir.size() && dir[pos] != '/')
            continue;
        const std::string part = dir.substr(0, pos);
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST)
            return false;
    }
    struct stat st{};
    return ::stat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool digest(const tagRegCfgInfo& record, unsigned char* out)
{
    unsigned int length = 0;
    return EVP_Digest(&record, sizeof record, out, &length, EVP_sha256(), nullptr) == 1 && length == kDigestSize;
}

std::uint32_t readLocked(tagRegCfgInfo& record)
{
    const std::string path = storeDirLocked() + "/" + kFileName;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT ? kNoRecord : kStoreError;
    unsigned char buffer[kFileSize + 1];
    std::size_t total = 0;
    while (total < sizeof buffer) {
        const ssize_t n = ::read(fd, buffer + total, sizeof buffer - total);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        total += static_cast<std::size_t>(n);
    }
    ::close(fd);

    const unsigned char* p = buffer;
    if (total != kFileSize || std::memcmp(p, kMagic, sizeof kMagic) != 0 || p[sizeof kMagic] != kVersion)
        return kStoreError;
    p += sizeof kMagic + 1;
    tagRegCfgInfo stored;
    std::memcpy(static_cast<void*>(&stored), p, sizeof stored);
    unsigned char check[kDigestSize];
    if (!digest(stored, check) || CRYPTO_memcmp(check, p + sizeof stored, kDigestSize) != 0)
        return kStoreError;
    record = stored;
    OPENSSL_cleanse(buffer, sizeof buffer);
    return kOk;
}

} // namespace

std::uint32_t InitIdentifyLib(const std::string& storeDir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const std::string dir = storeDir.empty() ? defaultStoreDir() : storeDir;
    if (!makePath(dir))
        return kStoreError;
    g_storeDir = dir;
    tagRegCfgInfo record;
    const std::uint32_t rc = readLocked(record);
    OPENSSL_cleanse(static_cast<void*>(&record), sizeof record);
    return rc;
}

std::uint32_t ReleaseIdentifyLib()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    g_storeDir.clear();
    return kOk;
}

std::uint32_t ReadIdentifyInfo(tagRegCfgInfo& record)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return readLocked(record);
}

std::uint32_t WriteIdenteifyInfo(const tagRegCfgInfo& record)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const std::string dir = storeDirLocked();
    if (!makePath(dir))
        return kStoreError;

    unsigned char buffer[kFileSize];
    unsigned char* p = buffer;
    std::memcpy(p, kMagic, sizeof kMagic);
    p[sizeof kMagic] = kVersion;
    p += sizeof kMagic + 1;
    std::memcpy(p, &record, sizeof record);
    if (!digest(record, p + sizeof record))
        return kStoreError;

    // Crash-safe: a crash leaves the old record or the new one.
    std::string bytes(reinterpret_cast<const char*>(buffer), sizeof buffer);
    OPENSSL_cleanse(buffer, sizeof buffer);
    const bool ok = platform::writePrivateFile(dir + "/" + kFileName, bytes);
    OPENSSL_cleanse(&bytes[0], bytes.size());
    if (!ok)
        return kStoreError;
    return kOk;
}

std::string StoreFilePath()
{
    std::lock_guard<std::mutex> lock(g_mutex);
    return storeDirLocked() + "/" + kFileName;
}

} // namespace IdentifyUtil
} // namespace Base
