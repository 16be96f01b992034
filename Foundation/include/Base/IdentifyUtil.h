#pragma once

#include <cstdint>
#include <cstring>
#include <string>

// Identity authentication parameters shared by the suite's services
// (112 bytes, laid out exactly as below).
struct tagRegCfgInfo
{
    char encryptName[20] = {};
    char encryptMode[20] = {};
    char digest[20] = {};
    char saltKey[17] = {};   // 16 characters and NUL
    char secretKey[17] = {}; // 16 characters and NUL
    char alignment[2] = {};
    std::int32_t keyLength = 128;
    std::int32_t authenType = 0;
    std::int32_t securityLevel = 0;
    std::int32_t padding = 0;

    // Defaults: "AES", "ECB", "sha256", empty keys, key length 128, rest 0.
    tagRegCfgInfo()
    {
        std::strncpy(encryptName, "AES", sizeof(encryptName) - 1);
        std::strncpy(encryptMode, "ECB", sizeof(encryptMode) - 1);
        std::strncpy(digest, "sha256", sizeof(digest) - 1);
    }
};
static_assert(sizeof(tagRegCfgInfo) == 112, "tagRegCfgInfo must be 112 bytes");

namespace Base {
namespace IdentifyUtil {

// Result codes.
constexpr std::uint32_t kOk = 0;
constexpr std::uint32_t kNoRecord = 0x8000000E; // no record stored yet
constexpr std::uint32_t kInvalidArgument = 0x80070057;
constexpr std::uint32_t kStoreError = 0x80004005; // store unreadable/unwritable

// Opens the store in `storeDir` (created when missing); an empty `storeDir`
// means the user's data folder ($XDG_DATA_HOME, else ~/.local/share) +
// "/Tavrin/Identify". Returns kOk when a record is stored, kNoRecord while
// none is (the store is open all the same, so a record can be written), or
// kStoreError when the folder cannot be made.
std::uint32_t InitIdentifyLib(const std::string& storeDir = std::string());

// Closes the store; kOk.
std::uint32_t ReleaseIdentifyLib();

// Reads the stored record: kOk, kNoRecord, or kStoreError for a damaged store.
// Without a preceding InitIdentifyLib the default store is used.
std::uint32_t ReadIdentifyInfo(tagRegCfgInfo& record);

// Stores the record (readable by its owner only, mode 0600; replaced whole,
// never left half-written): kOk or kStoreError.
std::uint32_t WriteIdenteifyInfo(const tagRegCfgInfo& record);

// Path of the store file in use (for diagnostics).
std::string StoreFilePath();

} // namespace IdentifyUtil
} // namespace Base
