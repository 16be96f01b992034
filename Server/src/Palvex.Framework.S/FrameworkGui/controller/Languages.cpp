#include "Languages.h"

#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <QTranslator>

#include "Base/Encoding.h"
#include "Base/FileUtil.h"
#include "Base/Log.h"
#include "FolderFiles.h"

namespace serverframework {

namespace {

struct LanguageRow
{
    const char* name;
    QLocale::Language language;
    QLocale::Country country;
};

// Indexed by the suite's language number.
const LanguageRow kLanguages[] = {
    {"English", QLocale::English, QLocale::UnitedStates},
    {"Chinese", QLocale::Chinese, QLocale::China},
    {"Greek", QLocale::Greek, QLocale::Greece},
    {"Dutch", QLocale::Dutch, QLocale::Netherlands},
    {"Czech", QLocale::Czech, QLocale::CzechRepublic},
    {"Slovak", QLocale::Slovak, QLocale::Slovakia},
    {"French", QLocale::French, QLocale::France},
    {"Italian", QLocale::Italian, QLocale::Italy},
    {"Russian", QLocale::Russian, QLocale::Russia},
    {"Korean", QLocale::Korean, QLocale::SouthKorea},
    {"Thai", QLocale::Thai, QLocale::Thailand},
    {"zh_TW", QLocale::Chinese, QLocale::Taiwan},
    {"Malaysia", QLocale::Malay, QLocale::Malaysia},
    {"Hebrew", QLocale::Hebrew, QLocale::Israel},
    {"Bulgarian", QLocale::Bulgarian, QLocale::Bulgaria},
    {"Portuguese", QLocale::Portuguese, QLocale::Portugal},
    {"Spainish", QLocale::Spanish, QLocale::Spain},
    {"Polish", QLocale::Polish, QLocale::Poland},
    {"Hungarian", QLocale::Hungarian, QLocale::Hungary},
    {"Deutsch", QLocale::German, QLocale::Germany},
    {"Croatian", QLocale::Croatian, QLocale::Croatia},
    {"Finnish", QLocale::Finnish, QLocale::Finland},
    {"Vietnamese", QLocale::Vietnamese, QLocale::Vietnam},
    {"Japanese", QLocale::Japanese, QLocale::Japan},
    {"Turkish", QLocale::Turkish, QLocale::Turkey},
    {"Danish", QLocale::Danish, QLocale::Denmark},
    {"Norwegian", QLocale::NorwegianBokmal, QLocale::Norway},
    {"Romanian", QLocale::Romanian, QLocale::Romania},
    {"Slovenian", QLocale::Slovenian, QLocale::Slovenia},
    {"Serbian", QLocale::Serbian, QLocale::Serbia},
    {"Estonian", QLocale::Estonian, QLocale::Estonia},
    {"Swedish", QLocale::Swedish, QLocale::Sweden},
    {"Lithuanian", QLocale::Lithuanian, QLocale::Lithuania},
    {"PortugueseBrazil", QLocale::Portuguese, QLocale::Brazil},
    {"Arabic", QLocale::Arabic, QLocale::SaudiArabia},
    {"Ukrainian", QLocale::Ukrainian, QLocale::Ukraine},
    {"Indonesia", QLocale::Indonesian, QLocale::Indonesia},
};

const int kLanguageCount = int(sizeof(kLanguages) / sizeof(kLanguages[0]));

const LanguageRow* languageRow(int language)
{
    if (language < 0 || language >= kLanguageCount)
        return nullptr;
    return &kLanguages[language];
}

} // namespace

QString languageName(int language)
{
    const LanguageRow* row = languageRow(language);
    return row ? QString::fromLatin1(row->name) : QString();
}

QLocale languageLocale(int language)
{
    const LanguageRow* row = languageRow(language);
    return row ? QLocale(row->language, row->country) : QLocale();
}

QVector<QTranslator*> loadTranslators(int language, const QString& translationsDir)
{
    const QString name = languageName(language);
    const QString folder = translationsDir + name + QLatin1Char('/');
    const QString loadDir = translationsDir + name;
    const QStringList files = filesWithSuffix(QDir(folder), QStringLiteral(".qm"));

    QVector<QTranslator*> result;
    int loaded = 0;
    for (const QString& file : files) {
        auto* translator = new QTranslator();
        if (translator->load(file, loadDir))
            ++loaded;
        QCoreApplication::installTranslator(translator);
        result.append(translator);
    }
    TLOG_INFO("Language %d (%s): %d of %d translation files loaded from %s", language, name.toUtf8().constData(),
              loaded, int(files.size()), folder.toUtf8().constData());
    return result;
}

QVector<QTranslator*> switchTranslators(int language, const QString& translationsDir,
                                        const QVector<QTranslator*>& oldTranslators)
{
    for (QTranslator* translator : oldTranslators)
        QCoreApplication::removeTranslator(translator);
    return loadTranslators(language, translationsDir);
}

QString translationsDir()
{
    return QString::fromStdString(Base::LocalToUTF8(Base::FileUtil::GetCurExeDir())) + QStringLiteral("translations/");
}

} // namespace serverframework
