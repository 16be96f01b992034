// Arbitrary bytes as the working Setup.xml, checked and restored or upgraded against the shipped benchmark as at start. Checked: the file left behind
// parses, holds no port the services cannot use, and a second start leaves it as it is.
#include "FuzzScratch.h"
#include "controller/XMLConfigManager.h"

#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "CommonMethod/Proto/XmlProto.h"
#include "Base/StringUtil.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string checkedAtStart(const std::string& root, comm_methodlib::CCommonConfigFileMgr& common)
{
    serverframework::XMLConfigManager manager(root + "config/", root + "maintain/", common);
    manager.checkConfig();
    return readAll(manager.workingPath());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size)
{
    namespace fs = std::filesystem;
    static const std::string root = [] {
        const std::string dir = fuzzScratch();
        fs::create_directories(dir + "maintain");
        fs::copy_file(TAVRIN_SOURCE_DIR "/Install/maintain/Setup.xml.benchmark", dir + "maintain/Setup.xml.benchmark");
        return dir;
    }();
    fs::remove_all(root + "config");
    fs::create_directories(root + "config");
    std::ofstream(root + "config/Setup.xml", std::ios::binary).write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    comm_methodlib::CCommonConfigFileMgr common(root + "config/CommonConfig.xml");

    const std::string first = checkedAtStart(root, common);
    proto::CXmlProto doc;
    if (!doc.set_str(first))
        std::abort();
    for (const char* key :
         {"Http", "WebSocket", "Web", "TamsaCMS", "TamsaAMS", "TamsaMQTT", "TamsaSS", "TamsaVideo", "TamsaVideoVIC", "TamsaAudio", "TamsaPlayback"}) {
        const std::string text = doc.get_str(std::string("/Configs/ServerPort/") + key, std::string());
        const std::string::size_type first = text.find_first_not_of(" \t\r\n");
        const std::string port = first == std::string::npos ? std::string() : text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
        if (!text.empty() && Base::StringUtil::ParsePort(port) < 0)
            std::abort();
    }
    if (checkedAtStart(root, common) != first)
        std::abort();
    return 0;
}
