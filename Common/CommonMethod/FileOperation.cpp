#include "FileOperation.h"

#include "Base/Log.h"
#include "Platform/Platform.h"

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace {

constexpr int kStaleTemporarySeconds = 60;

// Reads the whole file; false when it cannot be opened or holds no byte. A
// folder in the file's place opens as a stream too, of no sensible size.
bool readWhole(const std::string& path, std::string& bytes)
{
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error))
        return false;
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in)
        return false;
    const std::streamoff size = in.tellg();
    if (size <= 0)
        return false;
    std::string buffer(static_cast<std::size_t>(size), '\0');
    in.seekg(0);
    in.read(&buffer[0], size);
    buffer.resize(static_cast<std::size_t>(in.gcount()));
    bytes.swap(buffer);
    return true;
}

// "<folder>/<stem>.data" beside path; empty when path has no separator.
std::string dataFileBeside(const std::string& path)
{
    const std::string::size_type slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return std::string();
    std::string fileName = path.substr(slash + 1);
    const std::string::size_type dot = fileName.rfind('.');
    if (dot != std::string::npos)
        fileName.erase(dot);
    return path.substr(0, slash) + "/" + fileName + ".data";
}

void cutTrailingLineFeeds(std::string& text)
{
    const std::string::size_type last = text.find_last_not_of('\n');
    text.erase(last == std::string::npos ? 0 : last + 1);
}

} // namespace

bool readFile(std::string& content, const std::string& path, std::string fallbackPath)
{
    std::string bytes;
    if (!readWhole(path, bytes)) {
        if (fallbackPath.empty())
            fallbackPath = dataFileBeside(path);
        if (fallbackPath.empty() || !readWhole(fallbackPath, bytes))
            return false;
    }
    cutTrailingLineFeeds(bytes);
    content.swap(bytes);
    return true;
}

namespace comm_method {

std::string paddedFileContent(const std::string& content, unsigned long long currentSize)
{
    constexpr unsigned long long kSector = 512;
    std::string text = content;
    const std::string::size_type last = text.find_last_not_of('\n');
    if (last != std::string::npos)
        text.erase(last + 1); // a text of line feeds only is kept whole
    unsigned long long length = std::max<unsigned long long>(text.size(), currentSize);
    length = (length + kSector - 1) / kSector * kSector;
    if (length == 0)
        return std::string();
    std::string padded(static_cast<std::size_t>(length), '\n');
    padded.replace(0, text.size(), text);
    return padded;
}

} // namespace comm_method

bool writeFile(const std::string& path, const std::string& content)
{
    if (path.empty())
        return false;
    namespace fs = std::filesystem;
    std::error_code error;
    unsigned long long currentSize = 0;
    const fs::file_status status = fs::status(path, error);
    if (fs::exists(status)) {
        if (!fs::is_regular_file(status))
            return false;
        currentSize = fs::file_size(path, error);
        if (error)
            return false;
    }
    const std::string padded = comm_method::paddedFileContent(content, currentSize);
    if (padded.empty())
        return false;
    return platform::writeWholeFile(path, padded);
}

void removeStaleWriteTemporaries(const std::string& path)
{
    if (path.empty())
        return;
    const int removed = platform::removeStaleTemporaries(path, kStaleTemporarySeconds);
    if (removed > 0)
        TLOG_WARN("Removed %d temporary file(s) of interrupted writes of [file-%s].", removed, path.c_str());
}

std::string keepDamagedFile(const std::string& path, bool move, std::string& error)
{
    namespace fs = std::filesystem;
    char stamp[32] = "";
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local))
        std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = path + ".damaged-" + stamp;
    std::string kept = stem;
    std::error_code status;
    for (int n = 2; fs::exists(fs::symlink_status(kept, status)); ++n)
        kept = stem + "-" + std::to_string(n);
    if (move)
        fs::rename(fs::path(path), fs::path(kept), status);
    else
        fs::copy_file(fs::path(path), fs::path(kept), status);
    if (status) {
        error = status.message();
        return std::string();
    }
    return kept;
}
