#include "RightTipButton.h"

namespace serverframework {

CRightTipButton::CRightTipButton(QWidget* parent)
    : QPushButton(parent)
{
}

void CRightTipButton::enterEvent(QEvent* /*event*/)
{
    emit signalShowTip(true);
}

void CRightTipButton::leaveEvent(QEvent* /*event*/)
{
    emit signalShowTip(false);
}

} // namespace serverframework
