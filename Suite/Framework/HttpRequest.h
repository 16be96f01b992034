#pragma once

// One HTTP/1.x request, parsed from the bytes received so far.

#include <QByteArray>
#include <QMap>

class CHttpRequest
{
public:
    enum class Parse { Incomplete, Complete, Bad, TooLarge };

    static constexpr int kMaxHeaderBytes = 16 * 1024;
    static constexpr int kMaxBodyBytes = 64 * 1024;

    // Parses buffer into this request. Complete when the head and the whole
    // body (Content-Length) are there.
    Parse parse(const QByteArray& buffer);

    QByteArray method() const { return m_method; }
    // The path without the query.
    QByteArray path() const { return m_path; }
    // A header's value by case-insensitive name; empty when absent.
    QByteArray header(const QByteArray& name) const;
    QByteArray body() const { return m_body; }

private:
    QByteArray m_method;
    QByteArray m_path;
    QMap<QByteArray, QByteArray> m_headers; // lower-case names
    QByteArray m_body;
};
