#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "Base/Singleton.h"

namespace UiDataController {

// Registers the ".rcc" files of one skin folder as Qt resources and keeps
// which skin is registered.
class CRCCLoadManager : public Base::CSingleton<CRCCLoadManager>
{
public:
    CRCCLoadManager() = default;
    CRCCLoadManager(const CRCCLoadManager&) = delete;
    CRCCLoadManager& operator=(const CRCCLoadManager&) = delete;
    virtual ~CRCCLoadManager() = default;

    // Resource directory (UTF-8) holding one folder per skin.
    virtual void setRccDir(const std::string& dir);
    // rccDir/folder/<name>.rcc for each readable "*.rcc", sorted by name.
    virtual std::vector<std::string> listRccFiles(const std::string& folder);

    // Unregisters the current skin's files, then registers the folder's.
    // True only when both steps succeeded.
    bool loadRccSkin(const std::string& folder);
    std::string getCurrentSkin();

private:
    std::string currentSkin;
    std::string rccDir;
    std::mutex currentSkinMutex;
};

} // namespace UiDataController
