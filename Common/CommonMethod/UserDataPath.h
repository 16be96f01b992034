#pragma once
// Per-user data folders of a component and its generated log4cxx
// configuration. One process-wide instance, reached through
// Base::CSingleton<comm_method::CUserDataPath>::Instance() and initialised
// once by the program entry; the host and the suite's libraries share it.
//
// Paths are narrow strings (UTF-8 on Linux, the local code page on Windows).
// A getter that cannot make its folder returns an empty string.

#include "Base/Singleton.h"

#include <string>
#include <vector>

namespace comm_method {

class CUserDataPath
{
public:
    CUserDataPath() = default;
    CUserDataPath(const CUserDataPath&) = delete;
    CUserDataPath& operator=(const CUserDataPath&) = delete;

    // exeDir ends with a separator; a version or product type of -1 is read
    // from exeDir + "maintain/Setup.xml.benchmark". False for an empty name,
    // a version type other than 0 or 1, or a folder that cannot be made.
    bool init(const std::string& exeDir, const std::string& name, int versionType = -1, int productType = -1);

    std::string getUserDataDir(); // root + name + "/" (cached)
    std::string getLogDir();      // root + "Log/" + name + "/"
    std::string getDumpDir();     // root + "Dump/" + name + "/"
    std::string getPropertiesPath();
    bool createProperties(const std::string& exeDir);

    std::string getCaptureDir();    // root + "Capture/"
    std::string getVideoDir();      // root + "Video/"
    std::string getCertDir();       // root + "Cert"
    std::string getABREMDir();      // root + "ABREM/", not created
    std::string getImportDir();     // root + "Backup/Import/"
    std::string getAutoBackupDir(); // root + "Backup/AutoBackup/"
    bool prepareAMRemConfig(const std::string& sourceDir);

    const std::string& root() const { return m_root; }
    const std::string& name() const { return m_name; }
    const std::string& exeDir() const { return m_exeDir; }
    int productType() const { return m_productType; }
    int versionType() const { return m_versionType; }

    // ---- Path decisions: pure functions, no file-system access ----

    // "Tavrin/" for 0, "Orbelle " for 1, empty for anything else.
    static std::string brandFolder(int versionType);
    // True when the first byte of exeDir equals the first byte of
    // publicProfile (case-sensitive); false when either is empty.
    static bool onSystemDrive(const std::string& exeDir, const std::string& publicProfile);
    // The folder that holds the brand's data on the system drive:
    // publicProfile + "/" + brand.
    static std::string brandBase(const std::string& publicProfile, const std::string& brand);
    // The (not yet normalised) root: brandBase + "UserData/" on the system
    // drive, exeDir + "../../UserData/" elsewhere.
    static std::string rootFor(const std::string& exeDir, const std::string& publicProfile, const std::string& brand);
    // Every "\" becomes "/", then every "/x/../" collapses to "/".
    static std::string normalise(const std::string& path);
    // True when the text holds a character in U+4E00..U+9FFF.
    static bool containsCjk(const std::wstring& text);
    // The properties template rewritten for a component: the R, error and
    // per-logger file appenders point into logDir (which ends with "/").
    static std::vector<std::string> rewriteProperties(const std::vector<std::string>& templateLines,
                                                      const std::string& logDir, const std::string& name);

private:
    std::string ensureDir(const std::string& dir); // dir, or empty on failure
    bool cjkCase() const;

    std::string m_root;
    std::string m_name;
    std::string m_exeDir;
    std::string m_userDataDir;   // cached result of getUserDataDir()
    std::string m_publicProfile; // the platform's public profile folder, seen by init()
    int m_versionType = -1;
    int m_productType = -1;
};

} // namespace comm_method

TAVRIN_SINGLETON_SHARED(comm_method::CUserDataPath)
