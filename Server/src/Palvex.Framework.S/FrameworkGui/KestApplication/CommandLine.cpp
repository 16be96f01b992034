#include "CommandLine.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QFileInfo>

namespace serverframework {

CCommandLine::CCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Tavrin service host: starts the suite's services, keeps their ports and serves the web client."));
    const QCommandLineOption help(QStringList{"h", "help"}, QStringLiteral("Shows this help and ends."));
    const QCommandLineOption version(QStringList{"v", "version"}, QStringLiteral("Shows the version and ends."));
    const QCommandLineOption quit(QStringLiteral("quit"), QStringLiteral("Asks the running host to quit and ends."));
    parser.addOptions({help, version, quit});

    const QString program = arguments.isEmpty() ? QString() : QFileInfo(arguments.first()).fileName();
    if (!parser.parse(arguments)) {
        m_action = Action::Error;
        m_text = parser.errorText() + QStringLiteral("\nTry '%1 --help'.").arg(program);
    } else if (!parser.positionalArguments().isEmpty()) {
        m_action = Action::Error;
        m_text = QStringLiteral("Unexpected argument '%1'.\nTry '%2 --help'.")
                     .arg(parser.positionalArguments().first(), program);
    } else if (parser.isSet(help)) {
        m_action = Action::Help;
        m_text = parser.helpText();
    } else if (parser.isSet(version)) {
        m_action = Action::Version;
        m_text = QStringLiteral("%1 %2").arg(program, QStringLiteral(TAVRIN_VERSION));
    } else if (parser.isSet(quit)) {
        m_action = Action::Quit;
    }
}

} // namespace serverframework
