#include "TestFrameworkSupport.h"

#include <QBuffer>
#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QTimer>
#include <QUrl>

namespace frameworktest {

bool canListen(int port)
{
    QTcpServer server;
    return server.listen(QHostAddress::Any, static_cast<quint16>(port));
}

HttpReply httpRequest(const QByteArray& method, int port, const QString& path, const QByteArray& body,
                      const Headers& headers)
{
    QNetworkAccessManager manager;
    manager.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request(QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port).arg(path)));
    for (const auto& header : headers)
        request.setRawHeader(header.first, header.second);
    if (!body.isEmpty())
        request.setHeader(QNetworkRequest::ContentTypeHeader, "text/plain");

    QBuffer data;
    data.setData(body);
    data.open(QIODevice::ReadOnly);
    QNetworkReply* reply = manager.sendCustomRequest(request, method, &data);

    QEventLoop loop;
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();

    HttpReply result;
    if (reply->isFinished()) {
        result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        result.body = reply->readAll();
    }
    reply->abort();
    delete reply;
    return result;
}

} // namespace frameworktest
