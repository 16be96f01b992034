#include "HttpResponse.h"

#include <utility>

CHttpResponse::CHttpResponse(int status, QByteArray contentType, QByteArray body)
    : m_status(status)
    , m_contentType(std::move(contentType))
    , m_body(std::move(body))
{
}

CHttpResponse CHttpResponse::text(int status, const QByteArray& detail)
{
    QByteArray body = reasonPhrase(status);
    if (!detail.isEmpty())
        body += ": " + detail;
    return CHttpResponse(status, "text/plain; charset=utf-8", body + "\n");
}

QByteArray CHttpResponse::reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Payload Too Large";
    case 421: return "Misdirected Request";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
    default: return "Error";
    }
}

QByteArray CHttpResponse::toBytes(bool keepAlive) const
{
    QByteArray out = "HTTP/1.1 " + QByteArray::number(m_status) + ' ' + reasonPhrase(m_status) + "\r\n";
    out += "Content-Type: " + m_contentType + "\r\n";
    out += "Content-Length: " + QByteArray::number(m_body.size()) + "\r\n";
    out += "Cache-Control: no-store\r\n";
    out += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    out += m_body;
    return out;
}
