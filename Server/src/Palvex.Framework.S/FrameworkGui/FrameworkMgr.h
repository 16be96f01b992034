#pragma once
// The host's tray object. For now it only carries the two requests the
// application listens to; the icon, its menu and the service management
// window are not built yet.

#include <QDialog>

namespace serverframework {

class CFrameworkMgr : public QDialog
{
    Q_OBJECT
public:
    explicit CFrameworkMgr(QWidget* parent = nullptr);
    ~CFrameworkMgr() override;

signals:
    void signalQuitApp();
    void signalReStartApp();
};

} // namespace serverframework
