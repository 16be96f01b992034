#pragma once
// The bytes of a few files at one moment, to put them back whole when a
// change that spans them fails half-way.

#include <string>
#include <vector>

namespace serverframework {

class CFileSnapshot
{
public:
    // Reads each file now; a file that cannot be read is left alone later.
    explicit CFileSnapshot(const std::vector<std::string>& paths);

    // Gives every file that changed since its old bytes back (crash-safe), or
    // removes it when it did not exist. False, with a log line, when a file
    // cannot be put back.
    bool restore() const;

private:
    enum class State { Missing, Read, Unreadable };
    struct Entry
    {
        std::string path;
        State state;
        std::string bytes;
    };
    static Entry take(const std::string& path);

    std::vector<Entry> entries;
};

} // namespace serverframework
