#include "SignalSet.h"

namespace serverframework {

CSignalSet::CSignalSet()
    : closeTimer(new QTimer(this))
{
    closeTimer->setInterval(50000);
    connect(closeTimer, &QTimer::timeout, this, &CSignalSet::emitCloseFrame);
}

CSignalSet::~CSignalSet() = default;

void CSignalSet::emitCloseFrame()
{
    emit signalCloseFrame();
}

void CSignalSet::startCloseTimer()
{
    closeTimer->start();
}

void CSignalSet::stopCloseTimer()
{
    // May be called from a thread of the framework library; the timer
    // belongs to the main thread.
    QMetaObject::invokeMethod(closeTimer, "stop", Qt::AutoConnection);
}

} // namespace serverframework
