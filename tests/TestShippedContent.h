#pragma once
// Shared helpers of the tests of the shipped skins and translations.

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QList>
#include <QPair>
#include <QRegularExpression>
#include <QResource>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTranslator>
#include <QXmlStreamReader>
#include <QtTest>

#include "TestScratch.h"

#include <memory>
#include <vector>

namespace content {

inline const QStringList& skinFolders()
{
    static const QStringList folders{"BlackRed", "GreyRed", "Blue", "Neutral"};
    return folders;
}

inline const QStringList& languageFolders()
{
    static const QStringList folders{
        "English", "Chinese", "Greek", "Dutch", "Czech", "Slovak", "French", "Italian", "Russian",
        "Korean", "Thai", "zh_TW", "Malaysia", "Hebrew", "Bulgarian", "Portuguese", "Spainish",
        "Polish", "Hungarian", "Deutsch", "Croatian", "Finnish", "Vietnamese", "Japanese", "Turkish",
        "Danish", "Norwegian", "Romanian", "Slovenian", "Serbian", "Estonian", "Swedish",
        "Lithuanian", "PortugueseBrazil", "Arabic", "Ukrainian", "Indonesia"};
    return folders;
}

// Every resource path the host uses: the ones its windows are built with,
// plus whatever ":/" path the program's sources name today.
inline QStringList requiredResourcePaths()
{
    QSet<QString> paths{
        ":/FrameworkGui/TrayIcon/Image/server 24.png",
        ":/FrameworkGui/TrayIcon/Image/ic_close_dis.svg",
        ":/FrameworkGui/TrayIcon/Image/ic_min_dis.svg",
        ":/FrameworkGui/TrayIcon/Image/ic_start.svg",
        ":/FrameworkGui/TrayIcon/Image/ic_edit_nor.svg",
        ":/FrameworkGui/TrayIcon/Image/select_nor.svg",
        ":/FrameworkGui/TrayIcon/Image/notselect_nor.svg",
        ":/FrameworkGui/TrayIcon/Image/line_corret.svg",
        ":/FrameworkGui/TrayIcon/Image/line_no_corret.svg",
        ":/FrameworkGui/TrayIcon/Image/confirm_Icon.svg",
        ":/FrameworkGui/TrayIcon/Image/notice_Icon.svg",
        ":/Qss/Qss/ServerFramework.qss",
    };
    const QRegularExpression pattern(QStringLiteral(":/(?:FrameworkGui|Qss)/[^\"<)\\n]*[^\"<)\\n/]"));
    QDirIterator it(QStringLiteral(TAVRIN_SOURCE_DIR "/Server/src"),
                    {"*.cpp", "*.h", "*.ui", "*.qss"}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString text = QString::fromUtf8(file.readAll());
        auto matches = pattern.globalMatch(text);
        while (matches.hasNext()) {
            const QString path = matches.next().captured(0);
            if (path.contains(QLatin1Char('.'))) // a file, not the ":/Qss/Qss/" folder
                paths.insert(path);
        }
    }
    QStringList sorted(paths.begin(), paths.end());
    sorted.sort();
    return sorted;
}

inline QString builtSkinDir(const QString& folder)
{
    return QStringLiteral(TAVRIN_BUILD_DIR "/Server/rcc/") + folder;
}

// Registers every .rcc of a built skin; returns the registered files.
inline QStringList registerSkin(const QString& folder)
{
    QStringList registered;
    const QDir dir(builtSkinDir(folder));
    for (const QString& name : dir.entryList({"*.rcc"}, QDir::Files, QDir::Name)) {
        if (QResource::registerResource(dir.filePath(name)))
            registered << dir.filePath(name);
    }
    return registered;
}

inline void unregisterSkin(const QStringList& files)
{
    for (const QString& file : files)
        QResource::unregisterResource(file);
}

struct Message {
    QString context;
    QString source;
};

// The messages of the English sources: every key the program ships.
inline QList<Message> englishMessages()
{
    QList<Message> messages;
    const QDir dir(QStringLiteral(TAVRIN_SOURCE_DIR "/Install/translations/English"));
    for (const QString& name : dir.entryList({"*.ts"}, QDir::Files, QDir::Name)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        QXmlStreamReader xml(&file);
        QString context;
        while (!xml.atEnd()) {
            xml.readNext();
            if (!xml.isStartElement())
                continue;
            if (xml.name() == QLatin1String("name"))
                context = xml.readElementText();
            else if (xml.name() == QLatin1String("source"))
                messages.append({context, xml.readElementText()});
        }
    }
    return messages;
}

// One data row a folder, in a column "folder".
inline void folderRows(const QStringList& folders)
{
    QTest::addColumn<QString>("folder");
    for (const QString& folder : folders)
        QTest::newRow(qPrintable(folder)) << folder;
}

// Loads (without installing) every .qm of a built language folder.
inline std::vector<std::unique_ptr<QTranslator>> loadLanguage(const QString& root, const QString& folder)
{
    std::vector<std::unique_ptr<QTranslator>> translators;
    const QDir dir(root + QLatin1Char('/') + folder);
    for (const QString& name : dir.entryList({"*.qm"}, QDir::Files, QDir::Name)) {
        auto translator = std::make_unique<QTranslator>();
        if (translator->load(name, dir.path()))
            translators.push_back(std::move(translator));
    }
    return translators;
}

// The first translation of the key among the translators; null when none has it.
inline QString translateWith(const std::vector<std::unique_ptr<QTranslator>>& translators,
                             const QString& context, const QString& source)
{
    const QByteArray ctx = context.toUtf8();
    const QByteArray src = source.toUtf8();
    for (const auto& translator : translators) {
        const QString text = translator->translate(ctx.constData(), src.constData());
        if (!text.isNull())
            return text;
    }
    return QString();
}

} // namespace content
