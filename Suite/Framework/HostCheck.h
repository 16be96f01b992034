#pragma once

// Whether a request's Host or a WebSocket opening's Origin names this
// machine's web client. A page of another site that its own name now leads
// here (DNS rebinding) sends that name as its Host; the sockets a page opens
// carry the page's origin.

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <functional>

class QUrl;

class CHostCheck
{
public:
    using Addresses = std::function<QList<QHostAddress>()>;

    // machineAddresses: the machine's own addresses, asked for only when a
    // name is not a loopback one.
    explicit CHostCheck(Addresses machineAddresses);

    // A Host header: a loopback name (localhost, 127.0.0.1, [::1]) or one of
    // the machine's addresses, with port or without a port.
    bool isOwnHost(const QByteArray& host, quint16 port) const;
    // An Origin header: "http://" and a name as for the Host, with the web
    // client's port httpPort.
    bool isOwnOrigin(const QByteArray& origin, quint16 httpPort) const;

private:
    // url: only a scheme and an authority, port given or, when portOptional, none.
    bool isOwn(const QUrl& url, quint16 port, bool portOptional) const;

    Addresses m_machineAddresses;
};
