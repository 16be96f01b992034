#pragma once
// The host's manager of the identity authentication parameters shared by the
// suite's services: loads and releases the identity store, creates the
// record on first start, and exports it to (or imports it from) an XML file
// whose two keys are encrypted.

#include <Base/IdentifyUtil.h>
#include <Base/Singleton.h>

#include <cstdint>
#include <string>

class TiXmlDocument;

namespace serverframework {

// The export file's form of the record.
struct IdentifyData
{
    std::string version;
    tagRegCfgInfo info;
};

class CAuthenticationManager : public Base::CSingleton<CAuthenticationManager>, public Base::CNoncopyable
{
public:
    // Code of InitIdentifyLib when the store holds no record yet.
    static constexpr std::uint32_t kNoRecord = Base::IdentifyUtil::kNoRecord;

    CAuthenticationManager();

    // The identity library's code, unchanged (0 on success).
    std::uint32_t InitIdentifyLib();
    bool ReleaseIdentifyLib();
    // Stores a default record with two freshly generated keys.
    void CreateIdentifyInfo();
    // path in the local code page; true when the file was written.
    bool ExportIdentifyInfo(const std::string& path);
    // Reads a file of the export format, checks it and stores its record.
    bool ImportIdentifyInfo(const std::string& path);
    void ParseIdentifyInfoXml(const TiXmlDocument& document, IdentifyData& data);

    bool isLibInitialised() const { return libInitialised; }

private:
    static std::string generateKey();
    static bool recordAcceptable(const IdentifyData& data);

    bool libInitialised;
};

} // namespace serverframework
