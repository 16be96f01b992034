#include "HttpRequest.h"

#include <QList>

#include <algorithm>

CHttpRequest::Parse CHttpRequest::parse(const QByteArray& buffer)
{
    const int headEnd = buffer.indexOf("\r\n\r\n");
    if (headEnd < 0)
        return buffer.size() > kMaxHeaderBytes ? Parse::TooLarge : Parse::Incomplete;
    if (headEnd > kMaxHeaderBytes)
        return Parse::TooLarge;

    const QList<QByteArray> lines = buffer.left(headEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/1.") || !requestLine[1].startsWith('/'))
        return Parse::Bad;
    m_method = requestLine[0];
    m_version = requestLine[2];
    m_path = requestLine[1];
    const int query = m_path.indexOf('?');
    if (query >= 0)
        m_path.truncate(query);

    m_headers.clear();
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0)
            return Parse::Bad;
        m_headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }

    int length = 0;
    const QByteArray lengthText = header("content-length");
    if (!lengthText.isEmpty()) {
        bool ok = false;
        length = lengthText.toInt(&ok);
        if (!ok || length < 0)
            return Parse::Bad;
        if (length > kMaxBodyBytes)
            return Parse::TooLarge;
    }
    if (!header("transfer-encoding").isEmpty())
        return Parse::Bad; // chunked bodies are not accepted
    const int bodyStart = headEnd + 4;
    if (buffer.size() - bodyStart < length)
        return Parse::Incomplete;
    m_body = buffer.mid(bodyStart, length);
    m_size = bodyStart + length;
    return Parse::Complete;
}

bool CHttpRequest::keepAlive() const
{
    const QList<QByteArray> options = header("connection").toLower().split(',');
    const auto says = [&options](const QByteArray& option) {
        return std::any_of(options.begin(), options.end(),
                           [&option](const QByteArray& given) { return given.trimmed() == option; });
    };
    return m_version == "HTTP/1.0" ? says("keep-alive") : !says("close");
}

QByteArray CHttpRequest::header(const QByteArray& name) const
{
    return m_headers.value(name.toLower());
}
