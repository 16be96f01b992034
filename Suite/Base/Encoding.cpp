#include "Base/Encoding.h"

#include <cerrno>
#include <cstring>
#include <strings.h>

#include <iconv.h>
#include <langinfo.h>

namespace Base {

namespace {

// Name of the local code page: the codeset of the C library's current
// LC_CTYPE. In the plain C locale (no locale chosen yet, the codeset is
// ASCII) file names are still UTF-8 on Linux, so UTF-8 is taken then.
std::string localCharset()
{
    const char* codeset = nl_langinfo(CODESET);
    if (!codeset || !*codeset || std::strcmp(codeset, "ANSI_X3.4-1968") == 0)
        return "UTF-8";
    return codeset;
}

bool isUtf8(const std::string& charset)
{
    return strcasecmp(charset.c_str(), "UTF-8") == 0 || strcasecmp(charset.c_str(), "UTF8") == 0;
}

// Converts with iconv; false for text that the target cannot hold.
bool convert(const std::string& text, const std::string& from, const std::string& to, std::string& out)
{
    out.clear();
    if (text.empty())
        return true;
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
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
        const std::size_t rc = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
        result.append(buffer, sizeof buffer - outLeft);
        if (rc == static_cast<std::size_t>(-1) && errno != E2BIG) {
            ok = false;
            break;
        }
    }
    if (ok) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
        result.append(buffer, sizeof buffer - outLeft);
        out.swap(result);
    }
    iconv_close(cd);
    return ok;
}

} // namespace

std::string LocalToUTF8(const std::string& text)
{
    const std::string charset = localCharset();
    if (isUtf8(charset))
        return text;
    std::string out;
    return convert(text, charset, "UTF-8", out) ? out : std::string();
}

std::string UTF8ToLocal(const std::string& text)
{
    const std::string charset = localCharset();
    if (isUtf8(charset))
        return text;
    std::string out;
    return convert(text, "UTF-8", charset, out) ? out : std::string();
}

std::wstring LocalToWide(const std::string& text)
{
    std::string bytes;
    if (!convert(text, localCharset(), "WCHAR_T", bytes))
        return std::wstring();
    std::wstring out(bytes.size() / sizeof(wchar_t), L'\0');
    if (!out.empty())
        std::memcpy(&out[0], bytes.data(), out.size() * sizeof(wchar_t));
    return out;
}

} // namespace Base
