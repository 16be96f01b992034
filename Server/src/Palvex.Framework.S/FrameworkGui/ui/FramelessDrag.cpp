#include "FramelessDrag.h"

#include <QMouseEvent>
#include <QWidget>

namespace serverframework {

void CFramelessDrag::press(QWidget* window, QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    dragOffset = window->pos() - event->globalPos();
    dragging = true;
}

void CFramelessDrag::move(QWidget* window, QMouseEvent* event)
{
    if (dragging)
        window->move(event->globalPos() + dragOffset);
}

void CFramelessDrag::release(QMouseEvent* /*event*/)
{
    // Ending the drag here keeps a later move with another button held from
    // moving the window.
    dragOffset = QPoint(-1, -1);
    dragging = false;
}

} // namespace serverframework
