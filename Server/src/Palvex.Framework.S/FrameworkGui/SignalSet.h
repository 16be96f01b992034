#pragma once
// Process-wide signal hub: other parts of the host and the framework
// library's close callback ask the application to quit through it.

#include <Base/Singleton.h>

#include <QObject>
#include <QTimer>

namespace serverframework {

class CSignalSet : public QObject, public Base::CSingleton<CSignalSet>
{
    Q_OBJECT
public:
    CSignalSet();
    ~CSignalSet() override;

    void emitCloseFrame();
    void startCloseTimer();
    void stopCloseTimer();

signals:
    void signalCloseFrame();

private:
    QTimer* closeTimer;
};

} // namespace serverframework
