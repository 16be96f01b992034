#pragma once
// Small helpers of the ui tests: build fixture .qm and .rcc files with the
// Qt tools the build uses.

#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace uitest {

inline bool runTool(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return false;
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        qWarning("%s failed: %s", qPrintable(program), process.readAll().constData());
        return false;
    }
    return true;
}

// A .qm at qmPath translating, in context, each key of the pairs.
inline bool makeQm(const QString& qmPath, const QString& context,
                   const QList<QPair<QString, QString>>& messages)
{
    QByteArray ts = "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!DOCTYPE TS>\n<TS version=\"2.1\">\n<context>\n<name>"
                    + context.toUtf8() + "</name>\n";
    for (const auto& message : messages)
        ts += "<message><source>" + message.first.toUtf8() + "</source><translation>"
              + message.second.toUtf8() + "</translation></message>\n";
    ts += "</context>\n</TS>\n";
    const QString tsPath = qmPath + QStringLiteral(".ts");
    if (!tst::writeBytes(tsPath, ts))
        return false;
    const bool ok = runTool(QStringLiteral(LRELEASE_EXECUTABLE),
                            {QStringLiteral("-silent"), tsPath, QStringLiteral("-qm"), qmPath});
    QFile::remove(tsPath);
    return ok;
}

// A binary .rcc at rccPath holding each (resource path, content) pair; the
// resource paths start with ":/".
inline bool makeRcc(const QString& rccPath, const QList<QPair<QString, QByteArray>>& files)
{
    const QString work = rccPath + QStringLiteral(".src");
    QByteArray qrc = "<RCC>\n<qresource prefix=\"/\">\n";
    int index = 0;
    for (const auto& file : files) {
        const QString local = QStringLiteral("f%1").arg(index++);
        if (!tst::writeBytes(work + QLatin1Char('/') + local, file.second))
            return false;
        qrc += "<file alias=\"" + file.first.mid(2).toUtf8() + "\">" + local.toUtf8() + "</file>\n";
    }
    qrc += "</qresource>\n</RCC>\n";
    const QString qrcPath = work + QStringLiteral("/skin.qrc");
    if (!tst::writeBytes(qrcPath, qrc))
        return false;
    const bool ok = runTool(QStringLiteral(RCC_EXECUTABLE),
                            {QStringLiteral("-binary"), qrcPath, QStringLiteral("-o"), rccPath});
    QDir(work).removeRecursively();
    return ok;
}

} // namespace uitest
