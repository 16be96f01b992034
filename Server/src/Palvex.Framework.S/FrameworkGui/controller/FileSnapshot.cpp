#include "FileSnapshot.h"

#include <Base/Log.h>
#include <Platform/Platform.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace serverframework {

CFileSnapshot::CFileSnapshot(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        entries.push_back(take(path));
}

CFileSnapshot::Entry CFileSnapshot::take(const std::string& path)
{
    Entry entry{path, State::Unreadable, std::string()};
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (status.type() == std::filesystem::file_type::not_found) {
        entry.state = State::Missing;
    } else if (std::filesystem::is_regular_file(status)) {
        std::ifstream in(path, std::ios::binary);
        entry.bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (in.is_open() && !in.bad())
            entry.state = State::Read;
    }
    return entry;
}

bool CFileSnapshot::restore() const
{
    bool allRestored = true;
    for (const Entry& old : entries) {
        const Entry now = take(old.path);
        if (old.state == State::Unreadable || (now.state == old.state && now.bytes == old.bytes))
            continue;
        std::error_code error;
        const bool restored = old.state == State::Read ? platform::writeWholeFile(old.path, old.bytes)
                                                       : std::filesystem::remove(old.path, error);
        if (!restored) {
            TLOG_ERROR("%s could not be put back as it was.", old.path.c_str());
            allRestored = false;
        }
    }
    return allRestored;
}

} // namespace serverframework
