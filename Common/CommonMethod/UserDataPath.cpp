#include "UserDataPath.h"

#include "FileOperation.h"
#include "SetupDocument.h"

#include "Base/Encoding.h"
#include "Base/Log.h"
#include "Platform/Platform.h"
#include "ZRT/ZRT.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace comm_method {

namespace {

namespace fs = std::filesystem;

const char* const kPropertiesSuffix = ".log4cxx.properties";
const char* const kPropertiesTemplate = "log4cxx.properties.benchmark";
const char* const kBenchmarkSetup = "Setup.xml.benchmark";

bool exists(const std::string& path)
{
    std::error_code error;
    return fs::exists(fs::path(path), error);
}

// A logging configuration larger than this is not one of ours (the logger's
// parser takes minutes over a single line of megabytes).
constexpr std::uintmax_t kMaxPropertiesBytes = 256 * 1024;

std::string trimmed(const std::string& text)
{
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Why the logging configuration at path cannot serve; empty when it can (or
// cannot be read at all, which the logger reports when it loads it).
std::string propertiesDamage(const std::string& path)
{
    std::error_code error;
    const std::uintmax_t size = fs::file_size(fs::path(path), error);
    if (error)
        return std::string();
    if (size > kMaxPropertiesBytes)
        return "it is larger than " + std::to_string(kMaxPropertiesBytes) + " bytes";
    static const std::string kAppender = "log4j.appender.";
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        line = trimmed(line);
        const size_t equals = line.find('=');
        if (line.compare(0, kAppender.size(), kAppender) != 0 || equals == std::string::npos)
            continue;
        // "log4j.appender.<name>=<class>" defines one; "<name>.<option>=" only configures it.
        const std::string name = trimmed(line.substr(kAppender.size(), equals - kAppender.size()));
        if (!name.empty() && name.find('.') == std::string::npos && !trimmed(line.substr(equals + 1)).empty())
            return std::string();
    }
    return "it defines no appender";
}

bool makeDir(const std::string& path)
{
    std::error_code error;
    fs::create_directories(fs::path(path), error);
    return fs::is_directory(fs::path(path), error);
}

} // namespace

// ---- Path decisions --------------------------------------------------------

std::string CUserDataPath::brandFolder(int versionType)
{
    switch (versionType) {
    case 0: return "Tavrin/";
    case 1: return "Orbelle "; // "UserData/" follows inside the same folder name
    default: return std::string();
    }
}

bool CUserDataPath::onSystemDrive(const std::string& exeDir, const std::string& publicProfile)
{
    return !exeDir.empty() && !publicProfile.empty() && exeDir[0] == publicProfile[0];
}

std::string CUserDataPath::brandBase(const std::string& publicProfile, const std::string& brand)
{
    return publicProfile + "/" + brand;
}

std::string CUserDataPath::rootFor(const std::string& exeDir, const std::string& publicProfile,
                                   const std::string& brand)
{
    if (onSystemDrive(exeDir, publicProfile))
        return brandBase(publicProfile, brand) + "UserData/";
    return exeDir + "../../UserData/";
}

std::string CUserDataPath::normalise(const std::string& path)
{
    std::string result = path;
    for (char& c : result) {
        if (c == '\\')
            c = '/';
    }
    std::string::size_type from = 0;
    for (;;) {
        const std::string::size_type up = result.find("/../", from);
        if (up == std::string::npos)
            break;
        if (up == 0) { // nothing above the first folder to remove
            from = 1;
            continue;
        }
        const std::string::size_type slash = result.rfind('/', up - 1);
        if (slash == std::string::npos) { // relative first folder: keep as it is
            from = up + 1;
            continue;
        }
        result.erase(slash, up + 3 - slash);
        from = slash;
    }
    return result;
}

bool CUserDataPath::containsCjk(const std::wstring& text)
{
    for (wchar_t c : text) {
        if (c >= 0x4E00 && c <= 0x9FFF)
            return true;
    }
    return false;
}

std::vector<std::string> CUserDataPath::rewriteProperties(const std::vector<std::string>& templateLines,
                                                          const std::string& logDir, const std::string& name)
{
    static const std::string kRFile = "log4j.appender.R.File=";
    static const std::string kErrorFile = "log4j.appender.error.File=";
    static const std::string kLogger = "log4j.logger.";

    std::vector<std::string> components;
    std::vector<std::string> output;
    output.reserve(templateLines.size());
    for (std::string line : templateLines) {
        const bool isRFile = line.find(kRFile) != std::string::npos;
        const bool isErrorFile = line.find(kErrorFile) != std::string::npos;
        if (isRFile)
            line = kRFile + logDir + name + ".txt";
        if (isErrorFile)
            line = kErrorFile + logDir + name + ".Error.txt";
        const std::string::size_type equals = line.find('=');
        if (line.find(kLogger) != std::string::npos && equals != std::string::npos && equals > kLogger.size())
            components.push_back(line.substr(kLogger.size(), equals - kLogger.size()));
        for (const std::string& component : components) {
            const std::string key = "log4j.appender." + component + ".File=";
            if (line.find(key) != std::string::npos)
                line = key + logDir + component + ".txt";
        }
        output.push_back(line);
    }
    return output;
}

// ---- Initialisation ----------------------------------------------------------

bool CUserDataPath::init(const std::string& exeDir, const std::string& name, int versionType, int productType)
{
    if (name.empty())
        return false;
    m_exeDir = exeDir;

    if (versionType == -1 || productType == -1) {
        CSetupDocument benchmark(exeDir + "maintain/" + kBenchmarkSetup);
        const CSetupDocument::State state = benchmark.load();
        if (state == CSetupDocument::State::Loaded || state == CSetupDocument::State::NotXml) {
            if (productType == -1)
                productType = benchmark.productType();
            if (versionType == -1)
                versionType = benchmark.versionType();
        }
    }
    m_versionType = versionType;
    m_productType = productType;

    const std::string brand = brandFolder(versionType);
    if (brand.empty()) {
        TLOG_ERROR("Unknown version type %d: no user data folder.", versionType);
        return false;
    }

    // Logs, dumps and settings are the user's own: nothing created from here
    // on is readable by other users.
    platform::makeNewFilesPrivate();
    m_publicProfile = platform::publicProfileFolder();
    const std::string root = rootFor(exeDir, m_publicProfile, brand);
    // Every tree the host owns; the brand's folder holds the root (and the
    // identity store) unless the brand is a name prefix rather than a folder.
    std::vector<std::string> ownTrees{root};
    if (onSystemDrive(exeDir, m_publicProfile)) {
        const std::string base = brandBase(m_publicProfile, brand);
        if (!exists(base) && !makeDir(base)) {
            TLOG_ERROR("Failed to create the folder [%s].", base.c_str());
            return false;
        }
        if (base.back() == '/')
            ownTrees = {base};
        else
            ownTrees.push_back(base);
    }
    if (!exists(root)) {
        static const char* const kFolders[] = {
            "Dump", "Log", "Capture", "Video", "ABREM", "Backup", "Backup/AutoBackup/", "Backup/Import/"};
        if (!makeDir(root)) {
            TLOG_ERROR("Failed to create the folder [%s].", root.c_str());
            return false;
        }
        for (const char* folder : kFolders) {
            if (!makeDir(root + folder)) {
                TLOG_ERROR("Failed to create the folder [%s%s].", root.c_str(), folder);
                return false;
            }
        }
    }

    // A tree made before (by an older version, or loosened since) is made
    // private again at every start, whatever lies in it.
    for (const std::string& tree : ownTrees) {
        if (!platform::makeTreePrivate(tree))
            TLOG_ERROR("The folder [%s] could not be made private to its user.", tree.c_str());
    }

    m_root = normalise(root);
    m_name = name;
    m_userDataDir.clear();
    getUserDataDir();
    createProperties(exeDir);
    return true;
}

// ---- Folders -------------------------------------------------------------------

std::string CUserDataPath::ensureDir(const std::string& dir)
{
    if (m_root.empty())
        return std::string();
    return makeDir(dir) ? dir : std::string();
}

std::string CUserDataPath::getUserDataDir()
{
    if (!m_userDataDir.empty())
        return m_userDataDir;
    if (m_root.empty() || m_name.empty())
        return std::string();
    const std::string dir = ensureDir(m_root + m_name + "/");
    if (dir.empty())
        return std::string();
    getLogDir();
    getDumpDir();
    m_userDataDir = dir;
    return m_userDataDir;
}

std::string CUserDataPath::getLogDir()
{
    if (ensureDir(m_root + "Log/").empty() || m_name.empty())
        return std::string();
    return ensureDir(m_root + "Log/" + m_name + "/");
}

std::string CUserDataPath::getDumpDir()
{
    if (ensureDir(m_root + "Dump/").empty() || m_name.empty())
        return std::string();
    return ensureDir(m_root + "Dump/" + m_name + "/");
}

std::string CUserDataPath::getCaptureDir()
{
    return ensureDir(m_root + "Capture/");
}

std::string CUserDataPath::getVideoDir()
{
    return ensureDir(m_root + "Video/");
}

std::string CUserDataPath::getCertDir()
{
    return ensureDir(m_root + "Cert");
}

std::string CUserDataPath::getABREMDir()
{
    return m_root.empty() ? std::string() : m_root + "ABREM/";
}

std::string CUserDataPath::getImportDir()
{
    if (ensureDir(m_root + "Backup/").empty())
        return std::string();
    return ensureDir(m_root + "Backup/" + "Import/");
}

std::string CUserDataPath::getAutoBackupDir()
{
    if (ensureDir(m_root + "Backup/").empty())
        return std::string();
    return ensureDir(m_root + "Backup/" + "AutoBackup/");
}

bool CUserDataPath::prepareAMRemConfig(const std::string& sourceDir)
{
    const std::string dir = ensureDir(m_root + "ABREM/");
    if (dir.empty())
        return false;
    const std::string target = dir + "AMRemConfig.xml";
    return exists(target) || ZRT_CopyFile((sourceDir + "AMRemConfig.xml").c_str(), target.c_str(), 1) == 0;
}

// ---- Logging configuration -------------------------------------------------------

bool CUserDataPath::cjkCase() const
{
    return !onSystemDrive(m_exeDir, m_publicProfile) && containsCjk(Base::LocalToWide(m_exeDir));
}

std::string CUserDataPath::getPropertiesPath()
{
    if (cjkCase())
        return "../../UserData/" + m_name + "/" + m_name + kPropertiesSuffix;
    const std::string dir = getUserDataDir();
    return dir.empty() ? std::string() : dir + m_name + kPropertiesSuffix;
}

bool CUserDataPath::createProperties(const std::string& exeDir)
{
    if (m_root.empty() || m_name.empty())
        return false;
    const std::string target = getPropertiesPath();
    if (target.empty())
        return false;
    if (exists(target)) {
        // Never regenerated while it can serve: the user's edits survive.
        const std::string damage = propertiesDamage(target);
        if (damage.empty())
            return true;
        std::string error;
        const std::string kept = keepDamagedFile(target, true, error);
        // Said on standard error: the logger is not configured yet.
        if (kept.empty()) {
            std::fprintf(stderr, "%s: the logging configuration %s is damaged (%s) and cannot be moved aside: %s\n",
                         m_name.c_str(), target.c_str(), damage.c_str(), error.c_str());
            return false;
        }
        std::fprintf(stderr, "%s: the logging configuration %s is damaged (%s); kept as %s, a new one is written.\n",
                     m_name.c_str(), target.c_str(), damage.c_str(), kept.c_str());
    }
    if (cjkCase()) {
        const std::string source = exeDir + m_name + kPropertiesSuffix;
        return exists(source) && ZRT_CopyFile(source.c_str(), target.c_str(), 0) == 0;
    }

    const std::string templatePath = exeDir + "maintain/" + kPropertiesTemplate;
    if (!exists(templatePath))
        return false;
    std::vector<std::string> lines;
    std::ifstream in(templatePath);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);

    std::string text;
    for (const std::string& line : rewriteProperties(lines, getLogDir(), m_name))
        text += line + "\n";
    return platform::writeWholeFile(getUserDataDir() + m_name + kPropertiesSuffix, text);
}

} // namespace comm_method

TAVRIN_SINGLETON_DEFINE(comm_method::CUserDataPath)
