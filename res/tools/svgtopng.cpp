// Build-time helper: renders one SVG source to the raster file the program
// loads (PNG, JPEG or ICO, chosen by the output name's suffix).
//   omr_svgtopng <input.svg> <output> [scale]
// The output size is the SVG's own width and height times scale.
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QSvgRenderer>

#include <cstdio>
#include <cstdlib>

namespace {

int fail(const QString &message)
{
    std::fprintf(stderr, "omr_svgtopng: %s\n", qPrintable(message));
    return 1;
}

bool hasInk(const QImage &image, const QColor &background)
{
    const QRgb bg = background.rgba();
    for (int y = 0; y < image.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] != bg)
                return true;
        }
    }
    return false;
}

// Keeps the build log quiet about the missing session folder the font
// machinery asks for; everything else still goes out.
void messageFilter(QtMsgType type, const QMessageLogContext &, const QString &message)
{
    if (message.contains(QLatin1String("XDG_RUNTIME_DIR")))
        return;
    std::fprintf(stderr, "%s\n", qPrintable(message));
    if (type == QtFatalMsg)
        std::abort();
}

} // namespace

int main(int argc, char **argv)
{
    // Text in the SVG sources needs the font database, hence a GUI application;
    // it never opens a window.
    qInstallMessageHandler(messageFilter);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const QStringList args = app.arguments();
    if (args.size() < 3 || args.size() > 4)
        return fail(QStringLiteral("usage: omr_svgtopng <input.svg> <output.png|jpg|ico> [scale]"));
    const QString input = args.at(1);
    const QString output = args.at(2);
    double scale = 1.0;
    if (args.size() == 4) {
        bool ok = false;
        scale = args.at(3).toDouble(&ok);
        if (!ok || scale <= 0 || scale > 16)
            return fail(QStringLiteral("bad scale %1").arg(args.at(3)));
    }

    QSvgRenderer renderer(input);
    if (!renderer.isValid())
        return fail(QStringLiteral("cannot read SVG %1").arg(input));
    const QSize size = renderer.defaultSize() * scale;
    if (size.isEmpty())
        return fail(QStringLiteral("SVG %1 has no size").arg(input));

    const QString suffix = QFileInfo(output).suffix().toLower();
    QByteArray format;
    bool opaque = false;
    if (suffix == QLatin1String("png")) {
        format = "PNG";
    } else if (suffix == QLatin1String("jpg") || suffix == QLatin1String("jpeg")) {
        format = "JPEG";
        opaque = true;
    } else if (suffix == QLatin1String("ico")) {
        format = "ICO";
    } else {
        return fail(QStringLiteral("unknown output format of %1").arg(output));
    }

    const QColor background = opaque ? QColor(Qt::white) : QColor(Qt::transparent);
    QImage image(size, QImage::Format_ARGB32);
    image.fill(background);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::TextAntialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        renderer.render(&painter);
    }
    // A source that draws nothing is a mistake, not an icon.
    if (!hasInk(image, background))
        return fail(QStringLiteral("SVG %1 renders empty").arg(input));
    if (opaque)
        image = image.convertToFormat(QImage::Format_RGB32);

    QImageWriter writer(output, format);
    if (format == "JPEG")
        writer.setQuality(95);
    if (!writer.write(image)) {
        const QString why = writer.errorString();
        QFile::remove(output);
        return fail(QStringLiteral("cannot write %1: %2").arg(output, why));
    }
    return 0;
}
