#include "ServerConfigManager.h"

#include <QTranslator>

#include "Base/Log.h"
#include "CommonMethod/FileOperation.h"
#include "ui/Languages.h"
#include "CommonMethod/Proto/XmlProto.h"
#include "CommonMethod/UserDataPath.h"

namespace serverframework {

CServerConfigManager::CServerConfigManager()
    : dataDir(Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir())
{
    init();
}

CServerConfigManager::CServerConfigManager(const std::string& dir)
    : dataDir(dir)
{
    init();
}

void CServerConfigManager::init()
{
    const std::string path = dataDir + "Setup.xml";
    TLOG_INFO("setup.xml path = %s", path.c_str());

    std::string content;
    if (!readFile(content, path)) {
        TLOG_FATAL("ReadFile fail, path = %s", path.c_str());
        return;
    }

    proto::CXmlProto document;
    document.set_str(content);
    translator = static_cast<std::uint16_t>(document.get_int("/Configs/Translator/Value", -1));
    versionType = static_cast<std::uint16_t>(document.get_int("/Configs/VersionType/Value", -1));
    skin = document.get_str("/Configs/Skin/Value", std::string());
    productType = document.get_int("/Configs/ProductType/Value", -1);
}

std::string CServerConfigManager::productName() const
{
    const bool second = versionType == 1;
    switch (productType) {
    case 1:
        return second ? "Orbelle AC" : "Palvex AC";
    case 2:
    case 4:
        return second ? "Orbelle VS" : "Palvex VS";
    case 3:
    case 10:
        return second ? "Orbelle Brevant" : "Palvex Brevant";
    default:
        return second ? "Orbelle" : "Palvex";
    }
}

void CServerConfigManager::loadLanguage(int language)
{
    translators = loadTranslators(language, translationsDir());
}

QVector<QTranslator*> CServerConfigManager::getTranslators() const
{
    return translators;
}

QLocale CServerConfigManager::localeFor(int language) const
{
    return languageLocale(language);
}

void CServerConfigManager::switchLanguage(int language)
{
    const QString dir = translationsDir();
    locale = languageLocale(language);
    translators = switchTranslators(language, dir, translators);
    translator = static_cast<std::uint16_t>(language);
}

} // namespace serverframework
