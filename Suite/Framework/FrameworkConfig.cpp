#include "FrameworkConfig.h"

#include "Base/Log.h"
#include "Base/Singleton.h"
#include "Base/StringUtil.h"
#include "CommonMethod/FileOperation.h"
#include "CommonMethod/SetupDocument.h"
#include "CommonMethod/UserDataPath.h"
#include "CommonMethodLib/CommonConfigFileMgr.h"
#include "Platform/Platform.h"

#include <QFile>
#include <QRandomGenerator>

namespace {

constexpr int kTokenBytes = 32;

bool validPort(int port)
{
    return port >= 1 && port <= 65535;
}

comm_methodlib::CCommonConfigFileMgr& commonConfig()
{
    return Base::CSingleton<comm_methodlib::CCommonConfigFileMgr>::Instance();
}

} // namespace

std::string CFrameworkConfig::setupXmlPath()
{
    const std::string dir = Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir();
    return dir.empty() ? std::string() : dir + "Setup.xml";
}

std::string CFrameworkConfig::tokenFilePath()
{
    const std::string dir = Base::CSingleton<comm_method::CUserDataPath>::Instance().getUserDataDir();
    return dir.empty() ? std::string() : dir + kTokenFileName;
}

bool CFrameworkConfig::readPorts(FrameworkPorts& ports)
{
    const std::string path = setupXmlPath();
    if (path.empty()) {
        TLOG_ERROR("the user-data folder is unknown; cannot read the framework configuration");
        return false;
    }
    comm_method::CSetupDocument setup(path);
    const comm_method::CSetupDocument::State state = setup.load();
    if (state != comm_method::CSetupDocument::State::Loaded) {
        setup.logLoadFailure(state);
        return false;
    }
    const int webSocketPort = setup.port(kWebSocketKey);
    const int httpPort = commonConfig().GetFrameworkHttpPort();
    const int videoWallPort = commonConfig().GetFrameworkVideoWallPort();
    if (!validPort(webSocketPort) || !validPort(httpPort) || !validPort(videoWallPort)) {
        TLOG_ERROR("invalid framework ports: http %d, websocket %d, video wall %d", httpPort, webSocketPort,
                   videoWallPort);
        return false;
    }
    ports.httpPort = httpPort;
    ports.webSocketPort = webSocketPort;
    ports.videoWallPort = videoWallPort;
    ports.externEnabled = setup.externEnabled();
    return true;
}

bool CFrameworkConfig::writeHttpPort(const std::string& text)
{
    const int port = Base::StringUtil::ParsePort(text);
    if (port < 0) {
        TLOG_ERROR("not a port: \"%s\"", text.c_str());
        return false;
    }
    if (!commonConfig().SetFrameworkHttpPort(port)) {
        TLOG_ERROR("cannot store the framework HTTP port %d", port);
        return false;
    }
    TLOG_INFO("framework HTTP port set to %d", port);
    return true;
}

bool CFrameworkConfig::writeWebSocketPort(const std::string& text)
{
    const int port = Base::StringUtil::ParsePort(text);
    if (port < 0) {
        TLOG_ERROR("not a port: \"%s\"", text.c_str());
        return false;
    }
    comm_method::CSetupDocument setup(setupXmlPath());
    const comm_method::CSetupDocument::State state = setup.load();
    if (state != comm_method::CSetupDocument::State::Loaded) {
        setup.logLoadFailure(state);
        TLOG_ERROR("cannot read %s to store the WebSocket port", setup.path().c_str());
        return false;
    }
    if (!setup.setText(comm_method::CSetupDocument::Section::ServerPort, kWebSocketKey, std::to_string(port))
        || !setup.save(true)) {
        TLOG_ERROR("cannot store the WebSocket port %d in %s", port, setup.path().c_str());
        return false;
    }
    TLOG_INFO("WebSocket port set to %d", port);
    return true;
}

int CFrameworkConfig::storedLanguage()
{
    return commonConfig().GetFrameworkLanguage();
}

std::string CFrameworkConfig::storedSkin()
{
    return commonConfig().GetFrameworkSkin();
}

void CFrameworkConfig::storeLanguage(int index)
{
    if (!commonConfig().SetFrameworkLanguage(index))
        TLOG_ERROR("the web client's language %d is not kept for the next start", index);
}

void CFrameworkConfig::storeSkin(const std::string& name)
{
    if (!commonConfig().SetFrameworkSkin(name))
        TLOG_ERROR("the web client's skin is not kept for the next start");
}

bool CFrameworkConfig::writeNewToken(QByteArray& token)
{
    const QString path = QString::fromStdString(tokenFilePath());
    if (path.isEmpty())
        return false;
    QByteArray raw(kTokenBytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(raw.data()), kTokenBytes / 4);
    const QByteArray text = raw.toHex();

    // Replaced in one step by a file that is 0600 before it has the name: the
    // old token stays valid until the new one is in place, and nobody else
    // can read either. Not flushed to the disk: every start writes a new one.
    removeStaleWriteTemporaries(path.toStdString());
    if (!platform::writePrivateRunFile(path.toStdString(), text.toStdString())) {
        TLOG_ERROR("cannot write the control token file %s", qUtf8Printable(path));
        return false;
    }
    token = text;
    return true;
}

void CFrameworkConfig::removeToken()
{
    const std::string path = tokenFilePath();
    if (!path.empty())
        QFile::remove(QString::fromStdString(path));
}
