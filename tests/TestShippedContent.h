#pragma once
// The shipped skin and language folders, and loading a built language, for
// the tests of the shipped content and its renderings.

#include <QDir>
#include <QString>
#include <QStringList>
#include <QTranslator>

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

} // namespace content
