#pragma once
// The host's command line: no option runs the host; --help, --version and
// --quit answer and end; anything else is an error, not a start.

#include <QString>
#include <QStringList>

namespace serverframework {

class CCommandLine
{
public:
    enum class Action { Run, Help, Version, Quit, Error };

    // arguments: the program's, its name first. The help text needs a
    // QCoreApplication.
    explicit CCommandLine(const QStringList& arguments);

    Action action() const { return m_action; }
    // The help text, the version line or the error message (with a hint to
    // --help); empty for Run and Quit.
    QString text() const { return m_text; }

private:
    Action m_action = Action::Run;
    QString m_text;
};

} // namespace serverframework
