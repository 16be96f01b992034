#include "DialogPlacement.h"

#include <QGuiApplication>
#include <QLayout>
#include <QRect>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace serverframework {

void placeDialog(QWidget* dialog, const QWidget* owner)
{
    // The size the dialog shows with: its layout settled, its style applied.
    dialog->ensurePolished();
    if (dialog->layout())
        dialog->layout()->activate();
    const QSize size = dialog->size();

    const QScreen* screen = owner && owner->screen() ? owner->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(QPoint(0, 0), size);
    const QRect around = owner && owner->isVisible() && !owner->isMinimized() ? owner->frameGeometry() : area;
    QRect placed(QPoint(0, 0), size);
    placed.moveCenter(around.center());
    // Kept on screen; a dialog larger than the screen shows its top left part.
    placed.moveLeft(std::max(area.left(), std::min(placed.left(), area.right() - size.width() + 1)));
    placed.moveTop(std::max(area.top(), std::min(placed.top(), area.bottom() - size.height() + 1)));
    dialog->move(placed.topLeft());
}

} // namespace serverframework
