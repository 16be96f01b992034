#include "StyleSheet.h"

#include <QByteArray>
#include <QDebug>
#include <QFile>
#include <QStyle>
#include <QVariant>
#include <QWidget>

namespace serverframework {

QString loadStyleSheets(const QStringList& files, QString dir)
{
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    QString result;
    for (const QString& name : files)
        result += readStyleFile(dir + name);
    return result;
}

QString skinStyleSheet()
{
    return loadStyleSheets(QStringList{QStringLiteral("ServerFramework.qss")}, QStringLiteral(":/Qss/Qss/"));
}

void setStyleProperty(QWidget* widget, const char* name, bool value)
{
    widget->setProperty(name, value);
    widget->style()->unpolish(widget);
    widget->style()->polish(widget);
    widget->update();
}

QString readStyleFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug().noquote() << QStringLiteral("Unable to open %1: %2").arg(path, file.errorString());
        return QString();
    }
    QByteArray bytes = file.readAll();
    const int nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromLatin1(bytes);
}

} // namespace serverframework
