#include "XmlConfigFile.h"

#include "FileOperation.h"

#include "Base/Log.h"
#include "ZRT/ZRT.h"

#include <filesystem>
#include <system_error>

namespace comm_method {

CXmlConfigFile::CXmlConfigFile(std::string path, std::uintmax_t maxBytes)
    : m_path(std::move(path))
    , m_maxBytes(maxBytes)
{
}

CXmlConfigFile::State CXmlConfigFile::load()
{
    m_document.clear();
    if (m_path.empty() || ZRT_AccessFile(m_path.c_str(), 0) != 0)
        return State::Missing;
    std::error_code error;
    const std::uintmax_t size = std::filesystem::file_size(m_path, error);
    if (!error && size > m_maxBytes)
        return State::TooLarge;
    std::string content;
    if (!readFile(content, m_path)) {
        ZRT_AccessFile(m_path.c_str(), 4); // records why it cannot be read
        return State::Unreadable;
    }
    if (!m_document.set_str(content)) {
        m_document.clear();
        return State::NotXml;
    }
    return State::Loaded;
}

void CXmlConfigFile::logLoadFailure(State state) const
{
    switch (state) {
    case State::Loaded: return;
    case State::Missing: TLOG_ERROR("[file-%s] is missing.", m_path.c_str()); return;
    case State::TooLarge:
        TLOG_ERROR("[file-%s] holds more than a configuration file may (%llu bytes).", m_path.c_str(),
                   static_cast<unsigned long long>(m_maxBytes));
        return;
    case State::Unreadable:
        TLOG_ERROR("Failed to read [file-%s]. [error-%d-%d]", m_path.c_str(), ZRT_GetLastError(),
                   ZRT_GetSystemLastError());
        return;
    case State::NotXml: TLOG_ERROR("Failed to parse [file-%s].", m_path.c_str()); return;
    }
}

bool CXmlConfigFile::save(bool formatted)
{
    if (writeFile(m_path, formatted ? m_document.to_formatted_str() : m_document.to_str(0)))
        return true;
    TLOG_ERROR("Failed to write [file-%s].", m_path.c_str());
    return false;
}

bool CXmlConfigFile::keepDamaged(bool move) const
{
    std::string error;
    const std::string kept = keepDamagedFile(m_path, move, error);
    if (kept.empty()) {
        TLOG_ERROR("Damaged [file-%s] could not be kept: %s.", m_path.c_str(), error.c_str());
        return false;
    }
    TLOG_ERROR("Damaged [file-%s] kept as [file-%s].", m_path.c_str(), kept.c_str());
    return true;
}

} // namespace comm_method
