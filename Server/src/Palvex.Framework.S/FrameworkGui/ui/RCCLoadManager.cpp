#include "RCCLoadManager.h"

#include <QCoreApplication>
#include <QDir>
#include <QMetaObject>
#include <QPixmapCache>
#include <QResource>
#include <QString>
#include <QStringList>
#include <QThread>

#include "Base/Log.h"
#include "controller/FolderFiles.h"

namespace UiDataController {

namespace {

// Images read from the previous skin stay in the pixmap cache under the same
// resource path (the skins' files may share sizes and times); drop them so the
// next image of a path comes from the new skin. The cache belongs to the main
// thread, so a switch from another thread clears it there, ahead of the style
// sheet reload that follows the switch.
void dropCachedImages()
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app)
        return;
    if (QThread::currentThread() == app->thread())
        QPixmapCache::clear();
    else
        QMetaObject::invokeMethod(
            app, [] { QPixmapCache::clear(); }, Qt::QueuedConnection);
}

} // namespace

void CRCCLoadManager::setRccDir(const std::string& dir)
{
    rccDir = dir;
}

std::vector<std::string> CRCCLoadManager::listRccFiles(const std::string& folder)
{
    const QString folderPath = QString::fromStdString(rccDir) + QLatin1Char('/') + QString::fromStdString(folder);
    const QStringList entries = serverframework::filesWithSuffix(
        QDir(folderPath, QString(), QDir::Name, QDir::Files | QDir::Readable), QStringLiteral(".rcc"));
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
    int count = 0;
    const std::vector<std::string> files = listRccFiles(folder);
    for (const std::string& file : files) {
        if (!QResource::registerResource(QString::fromStdString(file))) {
            registered = false;
            break;
        }
        ++count;
    }
    TLOG_INFO("Skin %s: %d of %d resource files registered from %s/%s", folder.c_str(), count, int(files.size()),
              rccDir.c_str(), folder.c_str());
    dropCachedImages();
    return removed && registered;
}

std::string CRCCLoadManager::getCurrentSkin()
{
    std::lock_guard<std::mutex> lock(currentSkinMutex);
    return currentSkin;
}

} // namespace UiDataController
