#pragma once
// The encrypted DESetup document: four secret segments from which AES
// parameters and a 32-byte data key are derived. The file holds the plain
// document encrypted and Base64-encoded under fixed file parameters.

#include "Base/Encrypt.h"

#include <string>
#include <vector>

namespace comm_method {

class CDataEncryptionConfig
{
public:
    CDataEncryptionConfig() = default;

    bool loadConfig(const std::string& path);
    bool setDESetup(const std::string& encodedText);
    std::string decryptionXML(const std::string& path);
    bool regenerateConfig(const std::string& path);

    Base::Encrypt::AESParams& aesParams() { return m_aesParams; }
    std::string& dataKey() { return m_dataKey; }

    // The parameters the DESetup file is encrypted under.
    static Base::Encrypt::AESParams fileParams();
    // Segment path of number 1 to 4: "/DESetup/Segments/Segment<n>".
    static std::string segmentPath(int number);

private:
    bool deriveFrom(const std::vector<std::string>& segments);

    std::string m_configPath;
    Base::Encrypt::AESParams m_aesParams;
    std::string m_dataKey;
};

} // namespace comm_method
