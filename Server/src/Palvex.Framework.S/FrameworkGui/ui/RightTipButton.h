#pragma once

#include <QPushButton>

class QEvent;

namespace serverframework {

// Status button on the right of a port field; reports hovering.
class CRightTipButton : public QPushButton
{
    Q_OBJECT
public:
    explicit CRightTipButton(QWidget* parent = nullptr);

signals:
    void signalShowTip(bool bShow);

protected:
    void enterEvent(QEvent* event) override;
    void leaveEvent(QEvent* event) override;
};

} // namespace serverframework
