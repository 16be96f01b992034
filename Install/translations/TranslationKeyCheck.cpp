// Build-time check of the shipped translations: every text the code marks for
// translation (as extracted by lupdate into one .ts file) must have a finished,
// non-empty translation in the reference language's .ts files, in its context.
//
// Usage: TranslationKeyCheck <extracted.ts> <reference.ts>...
// Exit code 0 when nothing is missing, 1 when a key is missing, 2 on bad input.

#include <QCoreApplication>
#include <QFile>
#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <QXmlStreamReader>

namespace {

struct Message
{
    QString context;
    QString source;
    bool translated = false;
};

// Reads every message of a .ts file; false when the file cannot be read or parsed.
bool readMessages(const QString& path, QList<Message>& messages, QString& error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return false;
    }
    QXmlStreamReader xml(&file);
    QString context;
    Message current;
    while (!xml.atEnd()) {
        xml.readNext();
        if (!xml.isStartElement())
            continue;
        const auto name = xml.name();
        if (name == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (name == QLatin1String("message")) {
            current = Message{context, QString(), false};
        } else if (name == QLatin1String("source")) {
            current.source = xml.readElementText();
        } else if (name == QLatin1String("translation")) {
            const QString type = xml.attributes().value(QLatin1String("type")).toString();
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            current.translated = type.isEmpty() && !text.isEmpty();
            messages.append(current);
        }
    }
    if (xml.hasError()) {
        error = QStringLiteral("%1:%2: %3").arg(path).arg(xml.lineNumber()).arg(xml.errorString());
        return false;
    }
    return true;
}

// Texts without a single letter (port numbers, "00:00:00") read the same in
// every language and need no entry.
bool needsTranslation(const QString& source)
{
    for (const QChar c : source) {
        if (c.isLetter())
            return true;
    }
    return false;
}

QString keyOf(const QString& context, const QString& source)
{
    return context + QLatin1Char('\x1f') + source;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.size() < 2) {
        err << "usage: TranslationKeyCheck <extracted.ts> <reference.ts>...\n";
        return 2;
    }

    QString error;
    QList<Message> used;
    if (!readMessages(args.first(), used, error)) {
        err << "TranslationKeyCheck: " << error << '\n';
        return 2;
    }
    QSet<QString> available;
    for (const QString& path : args.mid(1)) {
        QList<Message> reference;
        if (!readMessages(path, reference, error)) {
            err << "TranslationKeyCheck: " << error << '\n';
            return 2;
        }
        for (const Message& message : reference) {
            if (message.translated)
                available.insert(keyOf(message.context, message.source));
        }
    }

    QMap<QString, QString> missing; // sorted, without repeats
    for (const Message& message : used) {
        if (needsTranslation(message.source) && !available.contains(keyOf(message.context, message.source)))
            missing.insert(keyOf(message.context, message.source),
                           QStringLiteral("  context \"%1\": \"%2\"").arg(message.context, message.source));
    }
    if (missing.isEmpty())
        return 0;
    err << "Translation keys used in the code but missing from the reference translations:\n";
    for (const QString& line : missing)
        err << line << '\n';
    return 1;
}
