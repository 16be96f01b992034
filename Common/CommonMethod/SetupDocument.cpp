#include "SetupDocument.h"

namespace comm_method {

namespace {

std::string pathOf(CSetupDocument::Section section, const std::string& key)
{
    return (section == CSetupDocument::Section::ServerPort ? "/Configs/ServerPort/" : "/Configs/ExternParam/") + key;
}

} // namespace

CSetupDocument::CSetupDocument(std::string path)
    : CXmlConfigFile(std::move(path))
{
}

std::string CSetupDocument::version()
{
    return document().get_attr("/Configs", "Version", std::string());
}

void CSetupDocument::setVersion(const std::string& version)
{
    document().set_attr("/Configs", "Version", version);
}

int CSetupDocument::productType()
{
    return document().get_int("/Configs/ProductType/Value", -1);
}

int CSetupDocument::versionType()
{
    return document().get_int("/Configs/VersionType/Value", -1);
}

int CSetupDocument::translator()
{
    return document().get_int("/Configs/Translator/Value", -1);
}

std::string CSetupDocument::skin()
{
    return document().get_str("/Configs/Skin/Value", std::string());
}

int CSetupDocument::port(const std::string& key)
{
    return document().get_int(pathOf(Section::ServerPort, key), -1);
}

std::string CSetupDocument::text(Section section, const std::string& key)
{
    return document().get_str(pathOf(section, key), std::string());
}

bool CSetupDocument::setText(Section section, const std::string& key, const std::string& value)
{
    return document().set_value(pathOf(section, key), value);
}

bool CSetupDocument::externEnabled()
{
    return text(Section::ExternParam, "Enabled") == "true";
}

} // namespace comm_method
