#include "FolderFiles.h"

namespace serverframework {

QStringList filesWithSuffix(const QDir& dir, const QString& suffix)
{
    QStringList files;
    for (const QString& entry : dir.entryList()) {
        if (entry.endsWith(suffix, Qt::CaseInsensitive))
            files.append(entry);
    }
    return files;
}

} // namespace serverframework
