#pragma once

// Helpers of the framework library's tests: whether a port can be listened
// on, and a blocking HTTP client.

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

namespace frameworktest {

// True when a server can listen on the port right now.
bool canListen(int port);

struct HttpReply {
    int status = 0;        // 0: no HTTP answer (refused, timed out)
    QByteArray body;
};

using Headers = QList<QPair<QByteArray, QByteArray>>;

// One request to 127.0.0.1:port, waited for at most 5 s.
HttpReply httpRequest(const QByteArray& method, int port, const QString& path,
                      const QByteArray& body = QByteArray(), const Headers& headers = Headers());

} // namespace frameworktest
