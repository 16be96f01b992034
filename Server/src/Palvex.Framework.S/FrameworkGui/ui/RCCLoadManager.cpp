#include "RCCLoadManager.h"

#include <QDir>
#include <QResource>
#include <QString>
#include <QStringList>

namespace UiDataController {

void CRCCLoadManager::setRccDir(const std::string& dir)
{
    rccDir = dir;
}

std::vector<std::string> CRCCLoadManager::listRccFiles(const std::string& folder)
{
    const QString folderPath = QString::fromStdString(rccDir) + QLatin1Char('/') + QString::fromStdString(folder);
    const QStringList entries = QDir(folderPath).entryList(QStringList{QStringLiteral("*.rcc")},
                                                           QDir::Files | QDir::Readable, QDir::Name);
    std::vector<std::string> files;
    files.reserve(entries.size());
    for (const QString& entry : entries)
        files.push_back((folderPath + QLatin1Char('/') + entry).toStdString());
    return files;
}

bool CRCCLoadManager::loadRccSkin(const std::string& folder)
{
    bool removed = true;
    const std::string previous = getCurrentSkin();
    if (!previous.empty()) {
        for (const std::string& file : listRccFiles(previous)) {
            if (!QResource::unregisterResource(QString::fromStdString(file))) {
                removed = false;
                break;
            }
        }
    }

    {
        std::lock_guard<std::mutex> lock(currentSkinMutex);
        currentSkin = folder;
    }

    bool registered = true;
    for (const std::string& file : listRccFiles(folder)) {
        if (!QResource::registerResource(QString::fromStdString(file))) {
            registered = false;
            break;
        }
    }
    return removed && registered;
}

std::string CRCCLoadManager::getCurrentSkin()
{
    std::lock_guard<std::mutex> lock(currentSkinMutex);
    return currentSkin;
}

} // namespace UiDataController
