#include "DatabaseUpdate/DataEncryptionMgr.h"

namespace DatabaseUpdate {

CDataEncryptionMgr::CDataEncryptionMgr()
{
    // The suite's fixed default parameters, shared by every component that
    // stores records under them.
    m_defaultParams.key = "Tavrin.DatabaseUpdate.DefaultKey.2";
    m_defaultParams.salt = "Tavrin.DatabaseUpdate.DefaultSalt";
    m_defaultParams.mode = Base::Encrypt::AESParams::Mode::CBC;
}

const Base::Encrypt::AESParams& CDataEncryptionMgr::GetDefaultAESParams() const
{
    return m_defaultParams;
}

} // namespace DatabaseUpdate

TAVRIN_SINGLETON_DEFINE(DatabaseUpdate::CDataEncryptionMgr)
