// The installed host in a real notification area: Xvfb with Debian's trayer
// as the XEmbed tray host, the icon and its menu driven with xdotool, and a
// stand-in "xdg-open" recording what the web client opener asked for.

#include "TestScratch.h"
#include "TestSupport.h"

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <memory>

namespace {

const QString kHost = QStringLiteral(TAVRIN_STAGE_DIR "/Server/Palvex.Framework.S");

struct XWindow {
    QString id;
    QString name;
    QRect geometry;
};

} // namespace

class TestTrayHost : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        for (const char* tool : {"Xvfb", "trayer", "xdotool"})
            QVERIFY2(!QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(), tool);
        QVERIFY(QFile::exists(kHost) && home.isValid());

        xserver = std::make_unique<tst::XServer>();
        QVERIFY(!xserver->display().isEmpty());
        x11.insert(QStringLiteral("DISPLAY"), xserver->display());
        trayer.setProcessEnvironment(x11);
        trayer.start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype", "request",
                                               "--height", "32", "--SetDockType", "true", "--transparent", "false"});
        QVERIFY(trayer.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(!window(QStringLiteral("panel")).id.isEmpty(), 10000);
    }

    void cleanupTestCase()
    {
        trayer.kill();
        trayer.waitForFinished();
        xserver.reset();
    }

    void iconClickMenuAndQuit()
    {
        const QString opened = home.path() + QStringLiteral("/opened.txt");
        QVERIFY(tst::writeExecutable(home.path() + QStringLiteral("/bin/xdg-open"),
                                     "#!/bin/sh\necho \"$@\" >> '" + opened.toUtf8() + "'\n"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        xserver->use(environment);
        environment.insert(QStringLiteral("PATH"),
                           home.path() + QStringLiteral("/bin:") + environment.value(QStringLiteral("PATH")));
        QProcess host;
        host.setProcessEnvironment(environment);
        host.setProcessChannelMode(QProcess::ForwardedChannels);
        host.start(kHost, QStringList());
        QVERIFY(host.waitForStarted());

        // The icon is embedded in the panel.
        XWindow icon;
        QTRY_VERIFY_WITH_TIMEOUT(!(icon = window(QStringLiteral("Palvex.Framework.S"))).id.isEmpty()
                                     || host.state() != QProcess::Running,
                                 30000);
        QVERIFY(window(QStringLiteral("panel")).geometry.contains(icon.geometry));
        static const QRegularExpression portLine(QStringLiteral("initFrameworkFirst: http (\\d+)"));
        QRegularExpressionMatch port;
        QTRY_VERIFY_WITH_TIMEOUT((port = portLine.match(logText())).hasMatch(), 30000);
        const QString clientUrl = QStringLiteral("http://127.0.0.1:%1/").arg(port.captured(1));

        // A click and a double click open the web client.
        QVERIFY(xdotool({"mousemove", "--window", icon.id, "8", "8", "click", "1"}));
        QTRY_COMPARE_WITH_TIMEOUT(tst::readText(opened), clientUrl + QLatin1Char('\n'), 10000);
        QVERIFY(xdotool({"mousemove", "--window", icon.id, "8", "8", "click", "--repeat", "2", "--delay", "80", "1"}));
        QTRY_VERIFY_WITH_TIMEOUT(tst::readText(opened).count(clientUrl) >= 3, 10000);

        // Right click: the menu; its first entry shows the hidden window.
        QVERIFY(window(QStringLiteral("Tavrin.Framework.S")).id.isEmpty());
        clickMenuEntry(icon, 0);
        XWindow managed;
        QTRY_VERIFY_WITH_TIMEOUT(!(managed = window(QStringLiteral("Tavrin.Framework.S"))).id.isEmpty(), 10000);
        QCOMPARE(managed.geometry.size(), QSize(650, 350));

        // "Quit" goes through the window's own close handling.
        clickMenuEntry(icon, 2);
        QVERIFY(host.waitForFinished(30000));
        QCOMPARE(host.exitStatus(), QProcess::NormalExit);
        QCOMPARE(host.exitCode(), 0);
        tst::verifyInOrder(logText(), {"Closing was requested from the service management window.", "Quit: begin.",
                                       "Quit: tray object deleted."});
    }

private:
    // Opens the icon's menu and clicks entry `index` (entries 32 pixels high
    // below a 6-pixel padding, as the menu's style sheet lays them out).
    void clickMenuEntry(const XWindow& icon, int index)
    {
        QVERIFY(xdotool({"mousemove", "--window", icon.id, "8", "8", "click", "3"}));
        XWindow menu;
        QTRY_VERIFY_WITH_TIMEOUT(!(menu = window(QStringLiteral("Palvex.Framework.S"), icon.id)).id.isEmpty(), 10000);
        const QPoint entry = menu.geometry.topLeft() + QPoint(50, 6 + 32 * index + 16);
        QVERIFY(xdotool({"mousemove", QString::number(entry.x()), QString::number(entry.y()), "click", "1"}));
    }

    bool xdotool(const QStringList& arguments, QString* output = nullptr)
    {
        QProcess process;
        process.setProcessEnvironment(x11);
        process.start(QStringLiteral("xdotool"), arguments);
        if (!process.waitForFinished(10000))
            return false;
        if (output)
            *output = QString::fromUtf8(process.readAllStandardOutput());
        return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    }

    // The first visible window of that name, other than `other`.
    XWindow window(const QString& name, const QString& other = QString())
    {
        QString ids;
        xdotool({"search", "--onlyvisible", "--name", ""}, &ids);
        for (const QString& id : ids.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QString windowName;
            QString shell;
            if (id == other || !xdotool({"getwindowname", id}, &windowName) || windowName.trimmed() != name
                || !xdotool({"getwindowgeometry", "--shell", id}, &shell))
                continue;
            QMap<QString, int> values;
            for (const QString& line : shell.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                values.insert(line.section(QLatin1Char('='), 0, 0), line.section(QLatin1Char('='), 1).toInt());
            return {id, windowName.trimmed(),
                    QRect(values.value("X"), values.value("Y"), values.value("WIDTH"), values.value("HEIGHT"))};
        }
        return {};
    }

    QString logText() const { return tst::findText(home.path() + QStringLiteral("/data"), "Framework.S.txt"); }

    ScratchHome home;
    std::unique_ptr<tst::XServer> xserver;
    QProcess trayer;
    QProcessEnvironment x11 = QProcessEnvironment::systemEnvironment();
};

QTEST_GUILESS_MAIN(TestTrayHost)

#include "TestTrayHost.moc"
