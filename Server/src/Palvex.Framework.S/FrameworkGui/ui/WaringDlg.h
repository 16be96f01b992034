#pragma once

#include <QDialog>
#include <QPixmap>
#include <QString>

#include <memory>

#include "FramelessDrag.h"

namespace Ui {
class WaringDlg;
}

class QMouseEvent;

namespace serverframework {

// Frameless warning / confirmation dialog, a transient dialog of its parent
// window. exec() returns 1 on confirm and 0 on cancel or close.
class CWaringDlg : public QDialog
{
    Q_OBJECT
public:
    explicit CWaringDlg(QWidget* parent = nullptr);
    ~CWaringDlg() override;

    void setTitleText(const QString& text);
    void setIconPixmap(const QPixmap& pixmap);
    void setWaringText(const QString& text);
    // true leaves only the confirm button.
    void setConfirmOnly(bool bConfirmOnly);

public slots:
    void onCancelBtnClicked();
    void onConfirmBtnClcked();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::unique_ptr<Ui::WaringDlg> ui;
    CFramelessDrag drag;
};

} // namespace serverframework
