#pragma once
// Key/value store in the SMS plug-in's properties file format: one
// "key=value" per line, "#" comments, first occurrence of a key wins.
//
// load and store report failures by throwing (std::runtime_error for a wrong
// file name or an unreadable file, PropertiesError for a malformed line or an
// unwritable output); callers catch const std::exception&.

#include <exception>
#include <map>
#include <string>

namespace serverframework {

// A failure of the properties file that is not a runtime_error.
class PropertiesError : public std::exception
{
public:
    explicit PropertiesError(std::string message)
        : m_message(std::move(message))
    {
    }
    const char* what() const noexcept override { return m_message.c_str(); }

private:
    std::string m_message;
};

class Properties
{
public:
    virtual bool load(const std::string& path) = 0;
    // The value; for an absent key a note on stderr and the empty string.
    virtual std::string getProperty(const std::string& key) = 0;
    // Adds the pair only when the key is absent.
    virtual void addProperty(const std::string& key, const std::string& value) = 0;
    // Replaces the value of an existing key; false (and a note on stderr)
    // when the key is absent.
    virtual bool setProperty(const std::string& key, const std::string& value) = 0;
    virtual ~Properties() = default;

    // Replaces the file with every entry, sorted by key.
    bool store(const std::string& path);

    // Every entry read or added, by key.
    const std::map<std::string, std::string>& entries() const { return m_entries; }

protected:
    // The text a save writes for a value. A value the line would lose is
    // closed by "=", which the reader drops as an empty last field: an empty
    // one ("key=" alone is malformed) and one ending in a carriage return
    // (read as part of the line end).
    static std::string valueText(const std::string& value);

    std::map<std::string, std::string> m_entries;
};

} // namespace serverframework
