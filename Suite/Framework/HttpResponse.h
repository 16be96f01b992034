#pragma once

// One HTTP response.

#include <QByteArray>

class CHttpResponse
{
public:
    CHttpResponse(int status, QByteArray contentType, QByteArray body);
    // A plain-text response whose body is the reason phrase, followed by
    // ": " and detail when detail is given.
    static CHttpResponse text(int status, const QByteArray& detail = QByteArray());

    int status() const { return m_status; }
    QByteArray contentType() const { return m_contentType; }
    QByteArray body() const { return m_body; }
    // keepAlive: the connection stays open for further requests.
    QByteArray toBytes(bool keepAlive = false) const;

    static QByteArray reasonPhrase(int status);

private:
    int m_status;
    QByteArray m_contentType;
    QByteArray m_body;
};
