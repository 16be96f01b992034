#include "SkinLoader.h"

#include <QtGlobal>

#include "Base/FileUtil.h"
#include "QssReloadNotifyMgr.h"
#include "RCCLoadManager.h"

namespace serverframework {

std::string skinFolder(const std::string& skinName)
{
    if (skinName == "BlackRedSkin")
        return "BlackRed";
    if (skinName == "GreyRedSkin")
        return "GreyRed";
    if (skinName == "BlueSkin")
        return "Blue";
    if (skinName == "NeutralSkin")
        return "Neutral";
    return std::string();
}

bool loadSkin(const std::string& skinName)
{
    return loadSkin(skinName, Base::FileUtil::GetCurExeDirUtf8() + "rcc");
}

bool loadSkin(const std::string& skinName, const std::string& rccDir)
{
    const std::string folder = skinFolder(skinName);
    if (folder.empty())
        return false;
    auto& manager = UiDataController::CRCCLoadManager::Instance();
    manager.setRccDir(rccDir);
    const bool loaded = manager.loadRccSkin(folder);
    qWarning("Loading skin %s of module ServerFramework %s", skinName.c_str(), loaded ? "succeeded" : "failed");
    return loaded;
}

bool registerRccCallback(const char* skinName, void* /*user*/)
{
    const std::string name = skinName ? skinName : "";
    const bool loaded = loadSkin(name);
    comm_method::CQssReloadNotifyMgr::Instance().NotifyQssReload(name);
    return loaded;
}

} // namespace serverframework
