#pragma once

#include <QLocale>
#include <QString>
#include <QVector>

class QTranslator;

namespace serverframework {

// The suite's language numbers (0 to 36): folder name under the translations
// directory and locale. Above 36: empty name and QLocale().
QString languageName(int language);
QLocale languageLocale(int language);

// translationsDir ends with "/" (the program folder + "translations/").
// Loads and installs every "*.qm" of translationsDir + languageName(language);
// the translators have no parent and are installed whether or not they loaded.
QVector<QTranslator*> loadTranslators(int language, const QString& translationsDir);

// Removes (without deleting) every translator of oldTranslators from the
// application, then does what loadTranslators does.
QVector<QTranslator*> switchTranslators(int language, const QString& translationsDir,
                                        const QVector<QTranslator*>& oldTranslators);

// The program folder (UTF-8) followed by "translations/".
QString translationsDir();

} // namespace serverframework
