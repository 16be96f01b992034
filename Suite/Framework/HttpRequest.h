#pragma once

// One HTTP/1.x request, parsed from the bytes received so far by the system's
// HTTP parser, with the rules this server adds on top: one Host header, which
// an HTTP/1.1 request must have; header names without blanks; CRLF line ends;
// HTTP/1.0 and 1.1 only; no chunked bodies.

#include <QByteArray>
#include <QMap>

class CHttpRequest
{
public:
    enum class Parse { Incomplete, Complete, Bad, TooLarge, UnsupportedVersion };

    static constexpr int kMaxHeaderBytes = 16 * 1024;
    static constexpr int kMaxBodyBytes = 64 * 1024;
    // The most bytes a request that is not too large can take.
    static constexpr int kMaxRequestBytes = kMaxHeaderBytes + 4 + kMaxBodyBytes;

    // Parses the request at the start of buffer into this request. Complete
    // when the head and the whole body (Content-Length) are there; whatever
    // follows them is left alone.
    Parse parse(const QByteArray& buffer);
    // The bytes of buffer a complete request took.
    int size() const { return m_size; }

    QByteArray method() const { return m_method; }
    // The path without the query.
    QByteArray path() const { return m_path; }
    bool hasHeader(const QByteArray& name) const { return m_headers.contains(name.toLower()); }
    // A header's value by case-insensitive name; empty when absent. Repeated
    // headers are joined with ", ".
    QByteArray header(const QByteArray& name) const;
    QByteArray body() const { return m_body; }
    // Whether the client wants the connection kept after the answer: an
    // HTTP/1.1 request unless it says "Connection: close", an HTTP/1.0 one
    // only when it says "Connection: keep-alive".
    bool keepAlive() const { return m_keepAlive; }

private:
    friend struct HttpParsing;

    QByteArray m_method;
    QByteArray m_path;
    QMap<QByteArray, QByteArray> m_headers; // lower-case names
    QByteArray m_body;
    bool m_keepAlive = false;
    int m_size = 0;
};
