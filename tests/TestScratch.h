#pragma once
// A private home for a test: HOME, the XDG folders and HOMEDRIVE point into a
// scratch folder. Construct it before anything reads these variables.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtGlobal>

class ScratchHome
{
public:
    // WithDrive: HOMEDRIVE is drive() (public profile <drive>/Users/Public).
    enum Drive { WithoutDrive, WithDrive };

    explicit ScratchHome(Drive drive = WithoutDrive)
    {
        static const struct { const char* name; const char* folder; } kVariables[] = {
            {"HOME", "home"},           {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
            {"XDG_CACHE_HOME", "cache"}, {"XDG_CONFIG_DIRS", "xdg"},   {"XDG_RUNTIME_DIR", "runtime"},
        };
        for (const auto& variable : kVariables) {
            const QString folder = QDir(m_dir.path()).filePath(QLatin1String(variable.folder));
            QDir().mkpath(folder);
            qputenv(variable.name, folder.toUtf8());
        }
        QFile::setPermissions(QDir(m_dir.path()).filePath(QStringLiteral("runtime")),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        if (drive == WithDrive) {
            QDir().mkpath(this->drive());
            qputenv("HOMEDRIVE", this->drive().toUtf8());
        } else {
            qunsetenv("HOMEDRIVE");
        }
    }

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString drive() const { return QDir(m_dir.path()).filePath(QStringLiteral("drive")); }

private:
    QTemporaryDir m_dir;
};

// main() of a test that runs whole in a scratch home.
#define SCRATCH_TEST_MAIN(Application, TestClass)                                                          \
    int main(int argc, char** argv)                                                                        \
    {                                                                                                      \
        ScratchHome home;                                                                                  \
        Application app(argc, argv);                                                                       \
        TestClass test;                                                                                    \
        return QTest::qExec(&test, argc, argv);                                                            \
    }
