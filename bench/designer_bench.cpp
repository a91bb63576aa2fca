// The template designer on a large template: two 300-dpi A4 pages holding
// 400 sections (with irregular questions and their bubbles; --sections sets
// another count). Opening the template, saving it, and one full repaint of
// the canvas (the whole page with its sections, rendered off screen) at
// three zoom factors.

#include "benchreport.h"
#include "unattended.h"
#include "mainwindow.h"
#include "myimage.h"
#include "mylabel.h"
#include "myscrollarea.h"
#include "omrresources.h"
#include "sheetrenderer.h"
#include "templateformat.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

namespace {

constexpr int kDefaultSections = 400;

// The benchmark sheet filled up to `sections` sections: irregular questions
// of four bubbles and small subjective blocks, laid out in rows on both
// pages. Beyond the default count the grid shrinks until it fits the page.
SheetSpec largeSpec(int sections)
{
    SheetSpec s = SheetSpec::benchmark(SheetSpec::BlackRectangles, 300);
    const int base = 4 + 1 + (s.hasAbsentMark ? 1 : 0) + s.objectBlocks.size() + s.subjectBlocks.size();
    const int perPage = (std::max(0, sections - base) + 1) / 2;
    double f = 1.0;
    while (f > 0.2) {
        const int columns = int(10 / f);
        const int rows = (perPage + columns - 1) / columns;
        if (6.5 + rows * 0.3 * f <= 11.4)
            break;
        f *= 0.95;
    }
    const int columns = int(10 / f);
    const QSize bubble(int(s.px(0.2) * f), int(s.px(0.12) * f));
    const int cellW = int(s.px(0.75) * f);
    const int cellH = int(s.px(0.3) * f);
    const int gap = std::max(2, int(10 * f));
    int count = base;
    int nextItem = 1000;
    int nextBlock[3] = {0, 100, 100};
    for (int i = 0; count < sections; ++i, ++count) {
        const int page = 1 + i % 2;
        const int slot = i / 2;
        const int x = s.px(0.5) + (slot % columns) * cellW;
        const int y = s.px(page == 1 ? 6.5 : 1.2) + (slot / columns) * cellH;
        if (i % 3 == 0) {
            QVector<QRect> options;
            for (int o = 0; o < 4; ++o)
                options << QRect(QPoint(x + o * (bubble.width() / 2 + gap / 2), y), bubble / 2);
            s.irregularQuestions << SheetSpec::IrregularQuestion::make(page, nextItem++, options, 4);
        } else {
            s.subjectBlocks << SheetSpec::SubjectBlock{page, ++nextBlock[page], QRect(x, y, cellW - gap, cellH - gap), 0};
        }
    }
    return s;
}

// Counts the widgets painted while it lives.
class PaintCounter : public QObject {
public:
    PaintCounter() { qApp->installEventFilter(this); }
    ~PaintCounter() override { qApp->removeEventFilter(this); }
    int painted = 0;

protected:
    bool eventFilter(QObject *, QEvent *event) override
    {
        painted += event->type() == QEvent::Paint;
        return false;
    }
};

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    initOmrResources();
    MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    UnattendedBoxes boxes;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Template designer benchmark"));
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Runs of each measurement."),
                                          QStringLiteral("n"), QStringLiteral("7"));
    const QCommandLineOption sectionsOption(QStringLiteral("sections"),
                                            QStringLiteral("Sections of the template (at least 100)."),
                                            QStringLiteral("n"), QString::number(kDefaultSections));
    parser.addOptions({roundsOption, sectionsOption});
    parser.process(app);
    const int rounds = std::max(1, parser.value(roundsOption).toInt());
    const int sections = std::max(100, parser.value(sectionsOption).toInt());

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const SheetRenderer renderer(largeSpec(sections));
    const QString file = dir.filePath(QStringLiteral("large.tpl"));
    QStringList pages;
    QString error;
    if (!renderer.writeTemplate(file, true, &error)) {
        std::fprintf(stderr, "cannot write the template: %s\n", qPrintable(error));
        return 1;
    }
    for (int i = 0; i < renderer.spec().pageCount; ++i) {
        pages << dir.filePath(QStringLiteral("page-%1.png").arg(i + 1));
        if (!SheetRenderer::writeImage(pages.last(), renderer.blankPage(i), 0, &error)) {
            std::fprintf(stderr, "cannot write a page: %s\n", qPrintable(error));
            return 1;
        }
    }

    MainWindow w;
    w.showNormal();
    w.resize(1600, 1000);
    const QString saved = dir.filePath(QStringLiteral("saved.tpl"));
    w.chooseSaveFile = [&saved](QWidget *, const QString &) { return saved; };
    w.subjectConfigStep = nullptr;  // nobody answers the scoring question

    std::vector<double> open, save;
    for (int r = 0; r < rounds; ++r) {
        open.push_back(timeMs([&] { w.loadTemplate(renderer.spec().name, pages, true, file); }));
        QCoreApplication::processEvents();
        save.push_back(timeMs([&] { w.saveFile(); }));
    }
    const int widgets = w.sectionList().size();
    if (boxes.count() > 0 || widgets < sections) {
        std::fprintf(stderr, "the template did not open or save cleanly (%d widgets, %d boxes)\n", widgets,
                     boxes.count());
        return 1;
    }

    MyLabel *canvas = w.myImage->label();
    reportMachineLoad();
    std::printf("%d sections (%d widgets with bubbles) on %d pages of %dx%d at 300 dpi; median of %d runs\n",
                sections, widgets, renderer.spec().pageCount, renderer.spec().pageSize.width(),
                renderer.spec().pageSize.height(), rounds);
    reportMs("open", medianOf(open), 300);
    reportMs("save", medianOf(save), 300);
    // Each repaint twice in turn: the painting as it was (before,
    // OMR_CANVAS_FULL_PAINT: Qt's background fill, the label's own painting
    // of the whole page, section labels laid out at every paint) and as it
    // is (after); the whole canvas and the part the scroll area shows. Both
    // must give the same pixels.
    bool identical = true;
    auto paintBoth = [&](const QImage &target, const QRegion &region, double *before, double *after) {
        std::vector<double> old, now;
        QImage oldImage = target.copy();
        QImage newImage = target.copy();
        for (int r = 0; r < rounds; ++r) {
            qputenv("OMR_CANVAS_FULL_PAINT", "1");
            old.push_back(timeMs([&] { canvas->render(&oldImage, QPoint(), region); }));
            qunsetenv("OMR_CANVAS_FULL_PAINT");
            now.push_back(timeMs([&] { canvas->render(&newImage, QPoint(), region); }));
        }
        identical = identical && oldImage == newImage;
        *before = medianOf(old);
        *after = medianOf(now);
    };
    for (const float zoom : {0.5f, 1.0f, 2.0f}) {
        canvas->scale = zoom;
        canvas->loadImage(pages.first(), 1);
        canvas->relayoutSections();
        QCoreApplication::processEvents();
        // The whole canvas, not only the part the scroll area shows: the
        // page at this zoom and every section of the page over it. The first
        // render lets the sections of the other page hide themselves and
        // lays the labels out at the new zoom.
        QImage target(canvas->size(), QImage::Format_RGB32);
        target.fill(Qt::magenta);
        const double first = timeMs([&] { canvas->render(&target); });
        PaintCounter counter;
        double before = 0, after = 0;
        paintBoth(target, QRegion(canvas->rect()), &before, &after);
        const QByteArray what = "repaint at zoom " + QByteArray::number(zoom) + " ("
            + QByteArray::number(counter.painted / rounds / 2) + " widgets)";
        reportMs((what + ", before").constData(), before, 0, 44);
        reportMs(what.constData(), after, zoom == 1.0f ? 16 : 0, 44);
        reportMs("  first repaint after the zoom change", first, 0, 44);
        // What a scroll or a section's own repaint exposes: the part in view.
        const QRect visible = canvas->visibleRegion().boundingRect();
        if (!visible.isEmpty()) {
            paintBoth(target, QRegion(visible), &before, &after);
            const QByteArray part = "  visible part " + QByteArray::number(visible.width()) + "x"
                + QByteArray::number(visible.height());
            reportMs((part + ", before").constData(), before, 0, 44);
            reportMs(part.constData(), after, 0, 44);
        }
    }
    std::printf("before and after painted the same pixels: %s\n", identical ? "yes" : "NO");
    if (!identical)
        return 1;
    return 0;
}
