#pragma once

#include <QString>
#include <QStringList>

namespace serverframework {

// Concatenation, in list order, of readStyleFile(dir + name); a "/" is
// appended to dir when missing.
QString loadStyleSheets(const QStringList& files, QString dir);

// The file's bytes up to the first NUL, as Latin-1; empty (and a debug line)
// when it cannot be opened.
QString readStyleFile(const QString& path);

} // namespace serverframework
