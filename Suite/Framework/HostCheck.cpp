#include "HostCheck.h"

#include "FrameworkRouter.h"

#include <QString>
#include <QUrl>

#include <algorithm>
#include <utility>

CHostCheck::CHostCheck(Addresses machineAddresses)
    : m_machineAddresses(std::move(machineAddresses))
{
}

bool CHostCheck::isOwnHost(const QByteArray& host, quint16 port) const
{
    return isOwn(QUrl(QString::fromLatin1("http://" + host), QUrl::StrictMode), port, true);
}

bool CHostCheck::isOwnOrigin(const QByteArray& origin, quint16 httpPort) const
{
    const QUrl url(QString::fromLatin1(origin), QUrl::StrictMode);
    return url.scheme() == QLatin1String("http") && isOwn(url, httpPort, false);
}

bool CHostCheck::isOwn(const QUrl& url, quint16 port, bool portOptional) const
{
    if (!url.isValid() || !url.userInfo().isEmpty() || !url.path().isEmpty() || url.hasQuery() || url.hasFragment())
        return false;
    const int given = url.port(-1);
    if (given < 0 ? !portOptional && port != 80 : given != port)
        return false;
    const QString name = url.host(); // lower case, IPv6 without brackets
    if (name == QLatin1String("localhost"))
        return true;
    const QHostAddress address(name);
    if (address.isNull())
        return false;
    if (CFrameworkRouter::isLoopback(address))
        return true;
    const QList<QHostAddress> own = m_machineAddresses();
    return std::any_of(own.begin(), own.end(), [&address](const QHostAddress& mine) {
        return mine.isEqual(address, QHostAddress::TolerantConversion);
    });
}
