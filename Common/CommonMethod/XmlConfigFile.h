#pragma once
// A small XML configuration file of the user-data folder: read whole with a
// size bound and parsed, written back crash-safe, and kept beside itself when
// damaged, so that the user's values can be recovered by hand.

#include "CommonMethod/Proto/XmlProto.h"

#include <cstdint>
#include <string>

namespace comm_method {

class CXmlConfigFile
{
public:
    enum class State { Loaded, Missing, TooLarge, Unreadable, NotXml };

    // A configuration file holds a few kilobytes; parsing megabytes would
    // stall every start.
    static constexpr std::uintmax_t kMaxBytes = 4 * 1024 * 1024;

    explicit CXmlConfigFile(std::string path, std::uintmax_t maxBytes = kMaxBytes);
    CXmlConfigFile(const CXmlConfigFile&) = delete;
    CXmlConfigFile& operator=(const CXmlConfigFile&) = delete;

    const std::string& path() const { return m_path; }

    // Reads the file (or the "<stem>.data" beside an empty one) and parses
    // it; anything but Loaded leaves an empty document. Logs nothing.
    State load();
    // Logs why the last load failed, in the words every configuration
    // file uses ("Failed to read [file-...]", "Failed to parse [file-...]").
    void logLoadFailure(State state) const;

    proto::CXmlProto& document() { return m_document; }

    // Writes the document over the file crash-safe; formatted for a file a
    // person reads and edits. False (logged) when it cannot be written.
    bool save(bool formatted);
    // Keeps the file as it is now beside it: moved away when a fresh file
    // takes its place (which is then written at its own size), copied when it
    // is repaired in place. False (logged) when it could not be kept.
    bool keepDamaged(bool move) const;

private:
    std::string m_path;
    std::uintmax_t m_maxBytes;
    proto::CXmlProto m_document;
};

} // namespace comm_method
