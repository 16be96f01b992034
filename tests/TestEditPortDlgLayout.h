#pragma once
// The port dialog finds the SMS plug-in and the port-owner script relative to
// the program folder, so its tests run from a copy of the test executable in a
// temporary program layout:
//   <root>/Server/<test>                the copy (its build RPATH still finds the libraries)
//   <root>/Server/checkport<ext>        stand-in that prints <root>/owners/<port> when present
//   <root>/TavrinSMSPlugin/{conf,bin}   the plug-in's files from the source Install/ tree
// The first run builds the layout, runs the copy with the same arguments and
// returns its exit code. Also the small helpers both dialog tests use.

#include "ui/CheckCorretLineEdit.h"
#include "ui/RightTipButton.h"
#include "TestScratch.h"
#include "TestSupport.h"
#include "ui/TipWidget.h"

#include <Platform/Platform.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QLoggingCategory>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

namespace editport_test {

constexpr const char* kMarker = "editport-layout";

// Replaces the field's text by typing, as a user would.
inline void typeInto(serverframework::CCheckCorretLineEdit* field, const QString& text)
{
    field->lineEdit()->selectAll();
    QTest::keyClick(field->lineEdit(), Qt::Key_Backspace);
    QTest::keyClicks(field->lineEdit(), text);
}

// The dialog's port field of that object name; null (with a warning) when missing.
inline serverframework::CCheckCorretLineEdit* portField(QWidget& dialog, const char* name)
{
    auto* f = dialog.findChild<serverframework::CCheckCorretLineEdit*>(name);
    if (!f)
        qWarning("no field %s", name);
    return f;
}

// The layout root when running inside one, else empty.
inline QString layoutRoot()
{
    const QString exe = QString::fromStdString(platform::executablePath());
    const QString root = QDir::cleanPath(QFileInfo(exe).absolutePath() + "/..");
    return QFile::exists(root + "/" + kMarker) ? root : QString();
}

inline int relaunchInLayout(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir root;
    const QString r = root.path();
    const QString exe = QString::fromStdString(platform::executablePath());
    const QString copy = r + "/Server/" + QFileInfo(exe).fileName();
    const QString plugin = QStringLiteral(TAVRIN_SOURCE_DIR) + "/Install/TavrinSMSPlugin";
    for (const char* dir : {"/Server", "/owners", "/TavrinSMSPlugin/conf", "/TavrinSMSPlugin/bin"})
        QDir().mkpath(r + dir);
    const QString script = r + "/Server/checkport" + QString::fromStdString(platform::scriptExtension());
    if (!root.isValid() || !QFile::copy(exe, copy) || !QFile::setPermissions(copy, QFile::permissions(exe))
        || !QFile::copy(plugin + "/conf/config.properties", r + "/TavrinSMSPlugin/conf/config.properties")
        || !QFile::copy(plugin + "/bin/restart.sh", r + "/TavrinSMSPlugin/bin/restart.sh")
        || !tst::writeExecutable(script, "#!/bin/sh\ncat \"$(dirname \"$0\")/../owners/$1\" 2>/dev/null\nexit 0\n")
        || !tst::writeBytes(r + "/" + kMarker, QByteArray())) {
        std::fprintf(stderr, "test layout: cannot build it in %s\n", qPrintable(r));
        return 1;
    }

    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start(copy, QCoreApplication::arguments().mid(1));
    child.waitForFinished(-1);
    return child.exitStatus() == QProcess::NormalExit && child.error() != QProcess::FailedToStart ? child.exitCode() : 1;
}

// The texts of the bubbles on screen.
inline QStringList shownBubbles()
{
    QStringList shown;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (auto* tip = qobject_cast<serverframework::CTipWidget*>(w); tip && tip->isVisible()) {
            shown << tip->text();
        }
    }
    return shown;
}

inline void hover(serverframework::CCheckCorretLineEdit* field, QEvent::Type type)
{
    QEvent event(type);
    QApplication::sendEvent(field->tipButton(), &event);
}

// The text of the bubble shown while the mouse is over the field's status
// button; empty when no bubble appears. None stays once the mouse left.
inline QString hoverBubble(serverframework::CCheckCorretLineEdit* field)
{
    hover(field, QEvent::Enter);
    const QString shown = shownBubbles().join(QLatin1Char('|'));
    hover(field, QEvent::Leave);
    return shownBubbles().isEmpty() ? shown : QStringLiteral("stayed: ") + shown;
}

// Records owner as the name the port-owner script prints for port.
inline bool setOwnerName(quint16 port, const QByteArray& printed)
{
    return tst::writeBytes(layoutRoot() + "/owners/" + QString::number(port), printed);
}

template <typename Test>
int runOne(int argc, char** argv)
{
    Test test;
    return QTest::qExec(&test, argc, argv);
}

// Runs each test class in turn; the number of failures.
template <typename... Tests>
int runAll(int argc, char** argv)
{
    return (0 + ... + runOne<Tests>(argc, argv));
}

} // namespace editport_test

// main() of the dialog tests: relaunch inside the layout, then run each class
// in a scratch home.
#define EDITPORT_TEST_MAIN(...)                                            \
    int main(int argc, char** argv)                                       \
    {                                                                     \
        if (editport_test::layoutRoot().isEmpty())                        \
            return editport_test::relaunchInLayout(argc, argv);           \
        ScratchHome home;                                                 \
        QApplication app(argc, argv);                                     \
        /* The skin's images are not linked into the tests. */            \
        QLoggingCategory::setFilterRules("qt.svg.warning=false");         \
        return editport_test::runAll<__VA_ARGS__>(argc, argv);            \
    }
