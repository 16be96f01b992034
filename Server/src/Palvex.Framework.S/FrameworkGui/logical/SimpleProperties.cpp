#include "SimpleProperties.h"

#include <Base/Log.h>
#include <Base/StringUtil.h>

#include <Platform/Platform.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <set>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace serverframework {

namespace {

// Splits text at every separator; an empty last field after a final
// separator does not count.
std::vector<std::string> split(const std::string& text, char separator)
{
    std::vector<std::string> fields;
    std::string::size_type start = 0;
    while (start < text.size()) {
        const std::string::size_type end = text.find(separator, start);
        if (end == std::string::npos) {
            fields.push_back(text.substr(start));
            return fields;
        }
        fields.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return fields;
}

// Trims blanks (character 32) only; tabs and other white space stay.
// Only spaces count as blanks in the plug-in's format (a line end's CR stays).
std::string trimBlanks(const std::string& text)
{
    return Base::StringUtil::Trim(text, " ");
}

// One line of a properties file (without its line end), as the reader sees it.
struct ParsedLine
{
    enum Kind { Skipped, Entry, Malformed } kind = Skipped;
    std::string key;
    std::string value;
    // Where the value stands in the line, so that a save can replace just it.
    std::string::size_type valueStart = 0;
    std::string::size_type valueLength = 0;
};

ParsedLine parseLine(const std::string& line)
{
    ParsedLine parsed;
    const std::string::size_type lead = line.find_first_not_of(' ');
    const std::string trimmed = trimBlanks(line);
    if (trimmed.empty() || trimmed == "\r" || trimmed[0] == '#') {
        return parsed;
    }
    const std::vector<std::string> fields = split(trimmed, '=');
    if (fields.size() < 2) {
        parsed.kind = ParsedLine::Malformed;
        return parsed;
    }
    std::string field = fields[1];
    const std::string::size_type comment = field.find('#');
    if (comment != std::string::npos) {
        field.erase(comment);
    }
    parsed.kind = ParsedLine::Entry;
    parsed.key = trimBlanks(fields[0]);
    parsed.value = trimBlanks(field);
    const std::string::size_type blanks = field.find_first_not_of(' ');
    parsed.valueStart = lead + fields[0].size() + 1 + (blanks == std::string::npos ? field.size() : blanks);
    parsed.valueLength = parsed.value.size();
    return parsed;
}

// Cuts the carriage return of a CR LF line end, as text mode on Windows does.
void cutCarriageReturn(std::string& line)
{
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
}

} // namespace

bool SimpleProperties::load(const std::string& path)
{
    return read(path, false);
}

bool SimpleProperties::read(const std::string& path, bool skipMalformed)
{
    const std::vector<std::string> parts = split(path, '.');
    if (parts.empty() || parts.back() != "properties") {
        throw std::runtime_error(path + " is not a properties file!");
    }
    std::ifstream in(path);
    if (!in.is_open()) {
        throw std::runtime_error("can't load " + path);
    }
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        cutCarriageReturn(line);
        const ParsedLine parsed = parseLine(line);
        if (parsed.kind == ParsedLine::Malformed) {
            if (skipMalformed) {
                TLOG_WARN("Line %d of [file-%s] is not \"key=value\"; it is skipped and kept as it is.", number,
                          path.c_str());
                continue;
            }
            std::cerr << "Properties format error!" << std::endl;
            throw PropertiesError("Properties format error!");
        }
        if (parsed.kind == ParsedLine::Entry) {
            m_entries.emplace(parsed.key, parsed.value);
        }
    }
    return true;
}

bool SimpleProperties::storeInPlace(const std::string& path)
{
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    if (!std::filesystem::exists(status)) {
        return store(path);
    }
    std::ifstream in(path, std::ios::binary);
    if (!std::filesystem::is_regular_file(status) || !in.is_open()) {
        throw PropertiesError("can 't construct the output file!");
    }
    const std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    in.close();

    std::string text;
    std::set<std::string> seen;
    std::string::size_type start = 0;
    while (start < old.size()) {
        std::string::size_type end = old.find('\n', start);
        end = end == std::string::npos ? old.size() : end + 1;
        std::string line = old.substr(start, end - start);
        start = end;
        std::string body = line;
        if (!body.empty() && body.back() == '\n') {
            body.pop_back();
        }
        cutCarriageReturn(body);
        const ParsedLine parsed = parseLine(body);
        // Only the first occurrence of a key is the one read, so only it changes.
        if (parsed.kind == ParsedLine::Entry && seen.insert(parsed.key).second) {
            const auto it = m_entries.find(parsed.key);
            if (it != m_entries.end() && it->second != parsed.value) {
                line.replace(parsed.valueStart, parsed.valueLength, valueText(it->second));
            }
        }
        text += line;
    }

    const std::string lineEnd = old.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    bool needsLineEnd = !text.empty() && text.back() != '\n';
    for (const auto& entry : m_entries) {
        if (seen.count(entry.first) == 0) {
            if (needsLineEnd) {
                // A last line ending in CR gets only the LF: another CR would
                // stay in the line and could turn it into an entry.
                text += text.back() == '\r' ? std::string("\n") : lineEnd;
                needsLineEnd = false;
            }
            text += entry.first + "=" + valueText(entry.second) + lineEnd;
        }
    }
    if (text != old && !platform::writeWholeFile(path, text)) {
        throw PropertiesError("can 't construct the output file!");
    }
    return true;
}

std::string SimpleProperties::getProperty(const std::string& key)
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        std::cerr << "can't find value with " << key << std::endl;
        return std::string();
    }
    return it->second;
}

void SimpleProperties::addProperty(const std::string& key, const std::string& value)
{
    m_entries.emplace(key, value);
}

bool SimpleProperties::setProperty(const std::string& key, const std::string& value)
{
    const auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        std::cerr << "can't find value with " << key << std::endl;
        return false;
    }
    it->second = value;
    return true;
}

bool SimpleProperties::loadLogged(const std::string& path)
{
    try {
        return read(path, true);
    } catch (const std::exception& e) {
        TLOG_ERROR("Failed to load properties [file-%s]: %s", path.c_str(), e.what());
    }
    return false;
}

bool SimpleProperties::storeLogged(const std::string& path)
{
    try {
        return storeInPlace(path);
    } catch (const std::exception& e) {
        TLOG_ERROR("Failed to save properties [file-%s]: %s", path.c_str(), e.what());
    }
    return false;
}

} // namespace serverframework
