#pragma once
// The port configuration "Setup.xml" (and its shipped default
// "Setup.xml.benchmark"): the one reader and writer of the file's format.
// Values are read from the document of the last load().

#include "CommonMethod/XmlConfigFile.h"

#include <string>

namespace comm_method {

class CSetupDocument : public CXmlConfigFile
{
public:
    // The two sections that hold single values by key.
    enum class Section { ServerPort, ExternParam };

    explicit CSetupDocument(std::string path);

    // Attribute "Version" of the root; empty when it has none.
    std::string version();
    void setVersion(const std::string& version);

    // The integers of the file; -1 when missing.
    int productType();
    int versionType();
    int translator();
    // The skin name; empty when missing.
    std::string skin();

    // The decimal port of a service; -1 when missing (0 for text without
    // digits, as every integer of the file).
    int port(const std::string& key);
    // The text stored under section and key; empty when missing.
    std::string text(Section section, const std::string& key);
    // Sets the text under section and key, creating the element when missing.
    bool setText(Section section, const std::string& key, const std::string& value);
    // "/Configs/ExternParam/Enabled" is exactly "true".
    bool externEnabled();
};

} // namespace comm_method
