#pragma once
// Where a dialog opened over the service management window goes.

class QWidget;

namespace serverframework {

// Moves the dialog, at the size it has now, to the centre of owner when the
// owner is on screen, otherwise to the centre of the owner's screen (the
// primary screen without owner), and keeps it inside that screen's
// available area.
void placeDialog(QWidget* dialog, const QWidget* owner);

} // namespace serverframework
