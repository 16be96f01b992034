// Renders an SVG image to a square PNG of the given size; the build uses it
// for the tray icon of each skin, which the tray needs as a bitmap, and (as
// an .ico) for the Windows program's icon. The output's suffix names its format.
//
// Usage: SvgToPng <in.svg> <out.png|out.ico> <size>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    bool sizeOk = false;
    const int size = args.size() == 3 ? args[2].toInt(&sizeOk) : 0;
    if (!sizeOk || size <= 0) {
        err << "usage: SvgToPng <in.svg> <out.png|out.ico> <size>\n";
        return 2;
    }
    QSvgRenderer renderer(args[0]);
    if (!renderer.isValid()) {
        err << "SvgToPng: cannot read " << args[0] << '\n';
        return 1;
    }
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
    }
    if (!image.save(args[1])) {
        err << "SvgToPng: cannot write " << args[1] << '\n';
        return 1;
    }
    return 0;
}
