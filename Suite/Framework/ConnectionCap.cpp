#include "ConnectionCap.h"

#include <algorithm>

CConnectionCap::CConnectionCap(int limit, int groupLimit)
    : m_limit(limit)
    , m_groupLimit(groupLimit)
{
    m_clock.start();
}

void CConnectionCap::add(QObject* connection, const QByteArray& group)
{
    m_connections.insert(connection, Entry{group, m_clock.elapsed()});
}

void CConnectionCap::touch(QObject* connection)
{
    auto it = m_connections.find(connection);
    if (it != m_connections.end())
        it->lastInput = m_clock.elapsed();
}

void CConnectionCap::remove(QObject* connection)
{
    m_connections.remove(connection);
}

QObject* CConnectionCap::toDropFor(const QByteArray& group) const
{
    if (m_groupLimit > 0 && std::count_if(m_connections.cbegin(), m_connections.cend(), [&group](const Entry& entry) {
                                return entry.group == group;
                            }) >= m_groupLimit)
        return oldestIdle(group, false);
    return m_connections.size() >= m_limit ? oldestIdle(group, true) : nullptr;
}

QObject* CConnectionCap::oldestIdle(const QByteArray& group, bool wholeServer) const
{
    QObject* oldest = nullptr;
    qint64 oldestTime = 0;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if ((wholeServer || it->group == group) && (!oldest || it->lastInput < oldestTime)) {
            oldest = it.key();
            oldestTime = it->lastInput;
        }
    }
    return oldest;
}
