#include "ConnectionCap.h"

CConnectionCap::CConnectionCap(int limit) : m_limit(limit)
{
    m_clock.start();
}

void CConnectionCap::add(QObject* connection)
{
    m_lastInput.insert(connection, m_clock.elapsed());
}

void CConnectionCap::touch(QObject* connection)
{
    auto it = m_lastInput.find(connection);
    if (it != m_lastInput.end())
        it.value() = m_clock.elapsed();
}

void CConnectionCap::remove(QObject* connection)
{
    m_lastInput.remove(connection);
}

QObject* CConnectionCap::oldestIdle() const
{
    QObject* oldest = nullptr;
    qint64 oldestTime = 0;
    for (auto it = m_lastInput.cbegin(); it != m_lastInput.cend(); ++it) {
        if (!oldest || it.value() < oldestTime) {
            oldest = it.key();
            oldestTime = it.value();
        }
    }
    return oldest;
}
