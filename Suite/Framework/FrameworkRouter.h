#pragma once

// Answers the web client's requests. The control requests (POST /api/...)
// reach the host's callbacks only from a loopback peer that presents the
// control token ("Authorization: Bearer <token>"); anything else is refused
// with 403 and calls nothing. A language or skin the host applied is kept
// for the next start.

#include "FrameworkStatus.h"
#include "HttpRequest.h"
#include "HttpResponse.h"

#include <QByteArray>
#include <QHostAddress>
#include <functional>

class CFrameworkCallbacks;

class CFrameworkRouter
{
public:
    CFrameworkRouter(const CFrameworkCallbacks& callbacks, std::function<FrameworkStatus()> status);

    // An empty token refuses every control request.
    void setToken(const QByteArray& token);

    CHttpResponse handle(const CHttpRequest& request, const QHostAddress& peer) const;

    static bool isLoopback(const QHostAddress& peer);

private:
    bool authorised(const CHttpRequest& request, const QHostAddress& peer) const;
    static CHttpResponse favicon();
    CHttpResponse control(const QByteArray& action, const QByteArray& body) const;

    const CFrameworkCallbacks& m_callbacks;
    std::function<FrameworkStatus()> m_status;
    QByteArray m_token;
};
