#include "LibCrypto.h"

#include "Base/Log.h"
#include "Platform/Platform.h"

#include <mutex>
#include <string>

namespace Base {
namespace Encrypt {

namespace {

constexpr int kLibCryptoVersion = 3;

template <typename Function>
bool resolve(void* library, Function& function, const char* name, std::string& error)
{
    function = reinterpret_cast<Function>(platform::sharedLibrarySymbol(library, name));
    if (!function)
        error = std::string("it has no ") + name;
    return function != nullptr;
}

// Null when the library or one of its functions is missing.
const LibCryptoApi* load()
{
    static LibCryptoApi api;
    std::string error;
    const std::string fileName = platform::sharedLibraryFileName("crypto", kLibCryptoVersion);
    void* library = platform::loadSharedLibrary(fileName, error);
    if (library && resolve(library, api.cipherContextNew, "EVP_CIPHER_CTX_new", error)
        && resolve(library, api.cipherContextFree, "EVP_CIPHER_CTX_free", error)
        && resolve(library, api.aes256Cbc, "EVP_aes_256_cbc", error)
        && resolve(library, api.aes256Ecb, "EVP_aes_256_ecb", error)
        && resolve(library, api.cipherInit, "EVP_CipherInit_ex", error)
        && resolve(library, api.setPadding, "EVP_CIPHER_CTX_set_padding", error)
        && resolve(library, api.cipherUpdate, "EVP_CipherUpdate", error)
        && resolve(library, api.cipherFinal, "EVP_CipherFinal_ex", error)
        && resolve(library, api.cleanse, "OPENSSL_cleanse", error))
        return &api;
    if (library)
        platform::unloadSharedLibrary(library);
    TLOG_ERROR("The cryptography library %s cannot be used (%s): nothing can be encrypted or decrypted.",
               fileName.c_str(), error.c_str());
    return nullptr;
}

} // namespace

const LibCryptoApi* LibCrypto::api()
{
    static std::once_flag once;
    static const LibCryptoApi* loaded = nullptr;
    std::call_once(once, [] { loaded = load(); });
    return loaded;
}

} // namespace Encrypt
} // namespace Base
