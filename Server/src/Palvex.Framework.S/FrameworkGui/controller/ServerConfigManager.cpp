#include "ServerConfigManager.h"

#include <QTranslator>

#include "Base/Log.h"
#include "CommonMethod/SetupDocument.h"
#include "CommonMethod/UserDataPath.h"
#include "logical/ProductType.h"
#include "controller/Languages.h"

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

    comm_method::CSetupDocument document(path);
    const comm_method::CSetupDocument::State state = document.load();
    if (state != comm_method::CSetupDocument::State::Loaded && state != comm_method::CSetupDocument::State::NotXml) {
        TLOG_FATAL("ReadFile fail, path = %s", path.c_str());
        return;
    }
    translator = static_cast<std::uint16_t>(document.translator());
    versionType = static_cast<std::uint16_t>(document.versionType());
    skin = document.skin();
    productType = document.productType();
}

std::string CServerConfigManager::productName() const
{
    return serverframework::productName(versionType, productType);
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
