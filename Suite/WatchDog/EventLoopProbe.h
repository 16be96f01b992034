#pragma once

#include <QEvent>
#include <QObject>

#include <atomic>

// Tells, from any thread, whether the event loop of the thread the probe
// lives in has turned since the last look: every look that finds it turned
// posts the probe an event, which only a turning loop delivers.
class CEventLoopProbe : public QObject
{
public:
    // Lives in the calling thread and posts the first event at once.
    CEventLoopProbe();

    // True when the event posted at the last look (or at construction) has
    // been delivered; then the next one is posted. Any thread.
    bool turnedSinceLastLook();

protected:
    bool event(QEvent* e) override;

private:
    void post();

    static const QEvent::Type kProbeEvent;
    std::atomic<bool> m_pending{false};
};
