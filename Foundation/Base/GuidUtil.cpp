#include "Base/GuidUtil.h"

#include "Base/StringUtil.h"

#include <QByteArray>
#include <QUuid>

namespace Base {
namespace GuidUtil {

// A random (version 4) UUID from the system's cryptographic source.
std::string CreateGuid()
{
    const QByteArray bytes = QUuid::createUuid().toRfc4122();
    return StringUtil::Vlue2HexString(reinterpret_cast<const unsigned char*>(bytes.constData()),
                                      static_cast<std::size_t>(bytes.size()), true);
}

} // namespace GuidUtil
} // namespace Base
