#pragma once

#include <QPushButton>

class QMouseEvent;

namespace serverframework {

// Title-bar close button of the frameless dialogs. It swallows mouse moves so
// a drag that starts on it neither moves the dialog nor changes its look.
class CClosePushBtn : public QPushButton
{
    Q_OBJECT
public:
    explicit CClosePushBtn(QWidget* parent = nullptr);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
};

} // namespace serverframework
