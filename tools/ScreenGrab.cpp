// Saves what an X display shows as a PNG: the whole screen, or the part
// given as x y width height. The screenshot script uses it on its own X
// server.
//
// Usage: ScreenGrab <out.png> [x y width height]

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    int part[4] = {0, 0, -1, -1};
    bool ok = args.size() == 1 || args.size() == 5;
    for (int i = 1; ok && i < args.size(); ++i)
        part[i - 1] = args[i].toInt(&ok);
    if (!ok) {
        err << "usage: ScreenGrab <out.png> [x y width height]\n";
        return 2;
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    const QPixmap shot = screen ? screen->grabWindow(0, part[0], part[1], part[2], part[3]) : QPixmap();
    if (shot.isNull() || !shot.save(args[0], "PNG")) {
        err << "ScreenGrab: cannot grab the screen into " << args[0] << '\n';
        return 1;
    }
    return 0;
}
