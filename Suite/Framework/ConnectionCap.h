#pragma once

// Keeps the connections of one server below a limit, and those of one group
// (a client: a page's origin or a peer) below a smaller one: when a new
// connection would exceed either, the connection of that group or of the
// whole server that has been idle the longest (the one whose client sent
// nothing for the longest time) is dropped first, so that a flood of held
// connections cannot lock everyone else out, and one client cannot push out
// the others.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>

class QObject;

class CConnectionCap
{
public:
    explicit CConnectionCap(int limit, int groupLimit = 0);

    void add(QObject* connection, const QByteArray& group = QByteArray());
    // The connection's client sent something.
    void touch(QObject* connection);
    void remove(QObject* connection);
    // The connection to drop before one of group is added; nullptr while
    // there is room.
    QObject* toDropFor(const QByteArray& group = QByteArray()) const;

private:
    struct Entry
    {
        QByteArray group;
        qint64 lastInput; // m_clock time
    };
    // The connection idle the longest, of group only unless wholeServer.
    QObject* oldestIdle(const QByteArray& group, bool wholeServer) const;

    int m_limit;
    int m_groupLimit; // 0: none
    QElapsedTimer m_clock;
    QHash<QObject*, Entry> m_connections;
};
