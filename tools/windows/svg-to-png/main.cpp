// svg-to-png IN.svg OUT.png SCALE
// Renders an SVG picture into a PNG of SCALE times its own size, on a
// transparent ground. Runs on the building machine, whose Qt has SVG, for a
// Windows build whose Qt has not.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>

int main(int argc, char **argv)
{
    QGuiApplication app(argc, argv);
    const QStringList args = app.arguments();
    bool scaleOk = false;
    const double scale = args.size() == 4 ? args[3].toDouble(&scaleOk) : 0;
    if (!scaleOk || scale <= 0) {
        std::fprintf(stderr, "usage: svg-to-png IN.svg OUT.png SCALE\n");
        return 2;
    }
    QSvgRenderer svg(args[1]);
    if (!svg.isValid()) {
        std::fprintf(stderr, "svg-to-png: %s is no SVG picture\n", qPrintable(args[1]));
        return 1;
    }
    QImage image((QSizeF(svg.defaultSize()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    svg.render(&painter);
    painter.end();
    if (!image.save(args[2], "PNG")) {
        std::fprintf(stderr, "svg-to-png: cannot write %s\n", qPrintable(args[2]));
        return 1;
    }
    return 0;
}
