#pragma once
// Points HOME, the XDG folders and HOMEDRIVE at a scratch folder, so that no
// configuration test touches the real home folder.

#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

class ScratchEnvironment
{
public:
    ScratchEnvironment()
    {
        const QString root = m_dir.path();
        for (const char* sub : {"home", "config", "data", "xdg", "runtime", "drive"})
            QDir(root).mkpath(sub);
        qputenv("HOME", QDir(root).filePath("home").toUtf8());
        qputenv("XDG_CONFIG_HOME", QDir(root).filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", QDir(root).filePath("data").toUtf8());
        qputenv("XDG_CONFIG_DIRS", QDir(root).filePath("xdg").toUtf8());
        qputenv("XDG_RUNTIME_DIR", QDir(root).filePath("runtime").toUtf8());
        // The public profile folder becomes <drive>/Users/Public.
        qputenv("HOMEDRIVE", QDir(root).filePath("drive").toUtf8());
    }
    QString path() const { return m_dir.path(); }
    QString drive() const { return QDir(m_dir.path()).filePath("drive"); }

private:
    QTemporaryDir m_dir;
};
