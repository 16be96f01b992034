#pragma once

// Keeps the connections of one server below a limit: when a new connection
// would exceed it, the connection that has been idle the longest (the one
// whose client sent nothing for the longest time) is dropped first, so that
// a flood of held connections cannot lock everyone else out.

#include <QElapsedTimer>
#include <QHash>

class QObject;

class CConnectionCap
{
public:
    explicit CConnectionCap(int limit);

    int limit() const { return m_limit; }
    bool full() const { return m_lastInput.size() >= m_limit; }

    void add(QObject* connection);
    // The connection's client sent something.
    void touch(QObject* connection);
    void remove(QObject* connection);
    // The connection idle the longest; nullptr when there is none.
    QObject* oldestIdle() const;

private:
    int m_limit;
    QElapsedTimer m_clock;
    QHash<QObject*, qint64> m_lastInput; // m_clock time of the last input
};
