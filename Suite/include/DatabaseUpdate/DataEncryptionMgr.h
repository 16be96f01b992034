#pragma once
// Encryption parameters of the suite's databases. Process-wide instance:
// Base::CSingleton<DatabaseUpdate::CDataEncryptionMgr>::Instance().

#include "Base/Encrypt.h"
#include "Base/Singleton.h"

namespace DatabaseUpdate {

class CDataEncryptionMgr
{
public:
    CDataEncryptionMgr();
    CDataEncryptionMgr(const CDataEncryptionMgr&) = delete;
    CDataEncryptionMgr& operator=(const CDataEncryptionMgr&) = delete;

    // The suite's fixed default AES parameters.
    const Base::Encrypt::AESParams& GetDefaultAESParams() const;

private:
    Base::Encrypt::AESParams m_defaultParams;
};

} // namespace DatabaseUpdate

TAVRIN_SINGLETON_SHARED(DatabaseUpdate::CDataEncryptionMgr)
