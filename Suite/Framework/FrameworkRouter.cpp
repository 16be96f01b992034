#include "FrameworkRouter.h"

#include "FrameworkCallbacks.h"
#include "FrameworkConfig.h"
#include "StatusPage.h"

#include "Base/Log.h"

#include <QFile>

#include <algorithm>
#include <iterator>
#include <utility>

namespace {

// Compares without an early exit, so the time taken says nothing about
// how much of the token was right.
bool sameToken(const QByteArray& a, const QByteArray& b)
{
    if (a.size() != b.size())
        return false;
    unsigned char diff = 0;
    for (int i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace

CFrameworkRouter::CFrameworkRouter(const CFrameworkCallbacks& callbacks, std::function<FrameworkStatus()> status)
    : m_callbacks(callbacks)
    , m_status(std::move(status))
{
}

void CFrameworkRouter::setToken(const QByteArray& token)
{
    m_token = token;
}

bool CFrameworkRouter::isLoopback(const QHostAddress& peer)
{
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4); // also unwraps ::ffff:a.b.c.d
    if (isV4)
        return QHostAddress(v4).isLoopback();
    return peer.isLoopback();
}

bool CFrameworkRouter::authorised(const CHttpRequest& request, const QHostAddress& peer) const
{
    if (m_token.isEmpty() || !isLoopback(peer))
        return false;
    const QByteArray value = request.header("authorization");
    const QByteArray prefix = "Bearer ";
    if (!value.startsWith(prefix))
        return false;
    return sameToken(value.mid(prefix.size()).trimmed(), m_token);
}

CHttpResponse CFrameworkRouter::handle(const CHttpRequest& request, const QHostAddress& peer) const
{
    const QByteArray path = request.path();
    const bool page = path == "/" || path == "/index.html" || path == "/api/status";
    const bool icon = path == "/favicon.png" || path == "/favicon.ico";
    if (page || icon) {
        if (request.method() != "GET" && request.method() != "HEAD")
            return CHttpResponse::text(405);
        if (icon)
            return favicon();
        const FrameworkStatus status = m_status();
        if (path == "/api/status")
            return CHttpResponse(200, "application/json", CStatusPage::statusJson(status));
        return CHttpResponse(200, "text/html; charset=utf-8", CStatusPage::html(status));
    }
    if (!path.startsWith("/api/"))
        return CHttpResponse::text(404);

    const QByteArray action = path.mid(5);
    static const QByteArray actions[] = {"close", "reboot", "delay-close", "language", "skin"};
    if (std::find(std::begin(actions), std::end(actions), action) == std::end(actions))
        return CHttpResponse::text(404);
    if (request.method() != "POST")
        return CHttpResponse::text(405);
    if (!authorised(request, peer)) {
        TLOG_WARN("refused control request %s from %s", path.constData(), peer.toString().toUtf8().constData());
        return CHttpResponse::text(403);
    }
    return control(action, request.body().trimmed());
}

// The tray icon of the skin the host has registered; 404 before any skin is.
CHttpResponse CFrameworkRouter::favicon()
{
    QFile icon(QStringLiteral(":/FrameworkGui/TrayIcon/Image/server 24.png"));
    if (!icon.open(QIODevice::ReadOnly))
        return CHttpResponse::text(404);
    return CHttpResponse(200, "image/png", icon.readAll());
}

CHttpResponse CFrameworkRouter::control(const QByteArray& action, const QByteArray& body) const
{
    TLOG_INFO("control request %s", action.constData());
    if (action == "close")
        return CHttpResponse::text(m_callbacks.close() ? 200 : 503);
    if (action == "reboot")
        return CHttpResponse::text(m_callbacks.reboot() ? 200 : 503);
    if (action == "delay-close")
        return CHttpResponse::text(m_callbacks.delayClose() ? 200 : 503);

    CFrameworkCallbacks::Outcome outcome;
    QByteArray refusal;
    if (action == "language") {
        bool ok = false;
        const int index = body.toInt(&ok);
        if (!ok || index < 0)
            return CHttpResponse::text(400, "the language is not a number of 0 or more");
        outcome = m_callbacks.language(index);
        if (outcome == CFrameworkCallbacks::Outcome::Applied)
            CFrameworkConfig::storeLanguage(index);
        refusal = "language " + QByteArray::number(index) + " is not one the host can apply";
    } else { // skin
        if (body.isEmpty() || body.size() > 256)
            return CHttpResponse::text(400, "the skin name is empty or too long");
        outcome = m_callbacks.registerRcc(body.toStdString());
        if (outcome == CFrameworkCallbacks::Outcome::Applied)
            CFrameworkConfig::storeSkin(body.toStdString());
        QByteArray name = body;
        for (char& c : name) {
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
                c = '?'; // the name goes to the log: no line breaks or control characters
        }
        refusal = "skin " + name + " cannot be loaded";
    }
    switch (outcome) {
    case CFrameworkCallbacks::Outcome::Applied: return CHttpResponse::text(200);
    case CFrameworkCallbacks::Outcome::Refused:
        TLOG_WARN("control request %s refused: %s", action.constData(), refusal.constData());
        return CHttpResponse::text(400, refusal);
    case CFrameworkCallbacks::Outcome::Unset: break;
    }
    return CHttpResponse::text(503);
}
