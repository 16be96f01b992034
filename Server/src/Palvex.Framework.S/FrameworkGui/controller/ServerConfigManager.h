#pragma once

#include <QLocale>
#include <QVector>

#include <cstdint>
#include <string>

#include "Base/Singleton.h"

class QTranslator;

namespace serverframework {

// Presentation settings kept in "Setup.xml": language, skin, branding and
// product type; owns the installed translators.
class CServerConfigManager : public Base::CSingleton<CServerConfigManager>
{
public:
    // Reads "Setup.xml" of the user-data folder.
    CServerConfigManager();
    // Reads "Setup.xml" of dataDir (ending with a separator).
    explicit CServerConfigManager(const std::string& dataDir);
    CServerConfigManager(const CServerConfigManager&) = delete;
    CServerConfigManager& operator=(const CServerConfigManager&) = delete;

    std::string productName() const;

    void loadLanguage(int language);
    QVector<QTranslator*> getTranslators() const;
    QLocale localeFor(int language) const;
    void switchLanguage(int language);

    std::uint16_t translator = 0;
    std::uint16_t versionType = 0;
    std::string skin = "GreyRedSkin";
    int productType = 0;
    QLocale locale;

    const std::string& getDataDir() const { return dataDir; }

private:
    void init();

    std::string dataDir;
    QVector<QTranslator*> translators;
};

} // namespace serverframework
