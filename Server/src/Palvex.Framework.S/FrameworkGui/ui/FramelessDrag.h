#pragma once

#include <QPoint>

class QMouseEvent;
class QWidget;

namespace serverframework {

// Dragging of a frameless window with the left mouse button. A dialog keeps
// one of these and forwards its mouse press, move and release events to it
// (without calling the base implementations).
class CFramelessDrag
{
public:
    void press(QWidget* window, QMouseEvent* event);
    void move(QWidget* window, QMouseEvent* event);
    void release(QMouseEvent* event);

    bool isDragging() const { return dragging; }
    QPoint offset() const { return dragOffset; }

private:
    QPoint dragOffset{0, 0};
    bool dragging = false;
};

} // namespace serverframework
