#include "ClosePushBtn.h"

#include <QMouseEvent>

namespace serverframework {

CClosePushBtn::CClosePushBtn(QWidget* parent)
    : QPushButton(parent)
{
}

void CClosePushBtn::mouseMoveEvent(QMouseEvent* event)
{
    event->accept();
}

} // namespace serverframework
