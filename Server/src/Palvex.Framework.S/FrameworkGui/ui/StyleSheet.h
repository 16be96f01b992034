#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace serverframework {

// Concatenation, in list order, of readStyleFile(dir + name); a "/" is
// appended to dir when missing.
QString loadStyleSheets(const QStringList& files, QString dir);

// The style sheet of the current skin (":/Qss/Qss/ServerFramework.qss").
QString skinStyleSheet();

// Sets a property the style sheet selects on ("invalid", "served") and
// applies the style again.
void setStyleProperty(QWidget* widget, const char* name, bool value);

// The file's bytes up to the first NUL, as Latin-1; empty (and a debug line)
// when it cannot be opened.
QString readStyleFile(const QString& path);

} // namespace serverframework
