#include "SimpleProperties.h"

#include <Base/FileUtil.h>
#include <Base/Log.h>

#include <fstream>
#include <iostream>
#include <stdexcept>
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
std::string trimBlanks(const std::string& text)
{
    const std::string::size_type first = text.find_first_not_of(' ');
    if (first == std::string::npos) {
        return std::string();
    }
    const std::string::size_type last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

} // namespace

bool SimpleProperties::load(const std::string& path)
{
    const std::vector<std::string> parts = split(path, '.');
    if (parts.empty() || parts.back() != "properties") {
        throw new std::runtime_error(path + " is not a properties file!");
    }
    std::ifstream in(path);
    if (!in.is_open()) {
        throw new std::runtime_error("can't load " + path);
    }
    std::string line;
    while (std::getline(in, line)) {
        // Files written with CR LF line ends read like text mode on Windows.
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        line = trimBlanks(line);
        if (line.empty() || line == "\r" || line[0] == '#') {
            continue;
        }
        const std::vector<std::string> fields = split(line, '=');
        if (fields.size() < 2) {
            std::cerr << "Properties format error!" << std::endl;
            throw new PropertiesError("Properties format error!");
        }
        std::string value = fields[1];
        const std::string::size_type comment = value.find('#');
        if (comment != std::string::npos) {
            value.erase(comment);
        }
        m_entries.emplace(trimBlanks(fields[0]), trimBlanks(value));
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
        return load(path);
    } catch (std::exception* e) {
        TLOG_ERROR("Failed to load properties [file-%s]: %s", path.c_str(), e->what());
        delete e;
    }
    return false;
}

bool SimpleProperties::storeLogged(const std::string& path)
{
    try {
        return store(path);
    } catch (std::exception* e) {
        TLOG_ERROR("Failed to save properties [file-%s]: %s", path.c_str(), e->what());
        delete e;
    }
    return false;
}

std::string SimpleProperties::smsConfigPath()
{
    return Base::FileUtil::GetCurExeDir() + "../TavrinSMSPlugin/conf/" + "config.properties";
}

} // namespace serverframework
