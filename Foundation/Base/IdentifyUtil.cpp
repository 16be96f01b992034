#include "Base/IdentifyUtil.h"

#include "Base/Log.h"
#include "Platform/Platform.h"
#include "Base/Wipe.h"

#include <QByteArray>
#include <QCryptographicHash>

#include <cstring>
#include <mutex>

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
std::string g_storeDir; // empty: not initialised, the default folder applies

std::string defaultStoreDir()
{
    const std::string dataHome = platform::userDataHome();
    return dataHome.empty() ? std::string() : dataHome + "/Tavrin/Identify";
}

std::string storeDirLocked()
{
    return g_storeDir.empty() ? defaultStoreDir() : g_storeDir;
}

void digest(const tagRegCfgInfo& record, unsigned char* out)
{
    const QByteArray sum = QCryptographicHash::hash(
        QByteArray::fromRawData(reinterpret_cast<const char*>(&record), sizeof record), QCryptographicHash::Sha256);
    std::memcpy(out, sum.constData(), kDigestSize);
}

// Checks the stored bytes and fills record from them.
std::uint32_t parseRecord(const std::string& bytes, tagRegCfgInfo& record)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data());
    if (bytes.size() != kFileSize || std::memcmp(p, kMagic, sizeof kMagic) != 0 || p[sizeof kMagic] != kVersion)
        return kStoreError;
    p += sizeof kMagic + 1;
    tagRegCfgInfo stored;
    std::memcpy(static_cast<void*>(&stored), p, sizeof stored);
    unsigned char check[kDigestSize];
    digest(stored, check);
    if (std::memcmp(check, p + sizeof stored, kDigestSize) != 0)
        return kStoreError;
    record = stored;
    return kOk;
}

std::uint32_t readLocked(tagRegCfgInfo& record)
{
    std::string bytes;
    const platform::ReadResult read = platform::readFileStart(storeDirLocked() + "/" + kFileName, kFileSize + 1, bytes);
    if (read != platform::ReadResult::Ok)
        return read == platform::ReadResult::Missing ? kNoRecord : kStoreError;
    const std::uint32_t rc = parseRecord(bytes, record);
    wipe(&bytes[0], bytes.size());
    return rc;
}

} // namespace

std::uint32_t InitIdentifyLib(const std::string& storeDir)
{
    std::lock_guard<std::mutex> lock(g_mutex);
    const std::string dir = storeDir.empty() ? defaultStoreDir() : storeDir;
    if (!platform::makePrivateFolders(dir))
        return kStoreError;
    // A store loosened since it was made is the user's alone again.
    if (!platform::makeTreePrivate(dir))
        TLOG_ERROR("The identity store [%s] could not be made private to its user.", dir.c_str());
    g_storeDir = dir;
    tagRegCfgInfo record;
    const std::uint32_t rc = readLocked(record);
    wipe(static_cast<void*>(&record), sizeof record);
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
    if (!platform::makePrivateFolders(dir))
        return kStoreError;

    unsigned char buffer[kFileSize];
    unsigned char* p = buffer;
    std::memcpy(p, kMagic, sizeof kMagic);
    p[sizeof kMagic] = kVersion;
    p += sizeof kMagic + 1;
    std::memcpy(p, &record, sizeof record);
    digest(record, p + sizeof record);

    // Crash-safe: a crash leaves the old record or the new one.
    std::string bytes(reinterpret_cast<const char*>(buffer), sizeof buffer);
    wipe(buffer, sizeof buffer);
    const bool ok = platform::writePrivateFile(dir + "/" + kFileName, bytes);
    wipe(&bytes[0], bytes.size());
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
