#include "EventLoopProbe.h"

#include <QCoreApplication>

const QEvent::Type CEventLoopProbe::kProbeEvent = static_cast<QEvent::Type>(QEvent::registerEventType());

CEventLoopProbe::CEventLoopProbe()
{
    post();
}

bool CEventLoopProbe::turnedSinceLastLook()
{
    if (m_pending.load())
        return false;
    post();
    return true;
}

bool CEventLoopProbe::event(QEvent* e)
{
    if (e->type() != kProbeEvent)
        return QObject::event(e);
    m_pending.store(false);
    return true;
}

void CEventLoopProbe::post()
{
    m_pending.store(true);
    QCoreApplication::postEvent(this, new QEvent(kProbeEvent));
}
