// The template designer on a large template: two 300-dpi A4 pages holding
// 400 sections (with irregular questions and their bubbles). Opening the
// template, saving it, and one full repaint of the canvas (the whole page with
// its sections, rendered off screen) at three zoom factors.

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

constexpr int kSections = 400;

// The benchmark sheet filled up to kSections sections: irregular questions of
// four bubbles and small subjective blocks, laid out in rows on both pages.
SheetSpec largeSpec()
{
    SheetSpec s = SheetSpec::benchmark(SheetSpec::BlackRectangles, 300);
    int count = 4 + 1 + (s.hasAbsentMark ? 1 : 0) + s.objectBlocks.size() + s.subjectBlocks.size();
    const QSize bubble(s.px(0.2), s.px(0.12));
    const int cellW = s.px(0.75);
    const int cellH = s.px(0.3);
    int nextItem = 1000;
    int nextBlock[3] = {0, 100, 100};
    for (int i = 0; count < kSections; ++i, ++count) {
        const int page = 1 + i % 2;
        const int slot = i / 2;
        const int x = s.px(0.5) + (slot % 10) * cellW;
        const int y = s.px(page == 1 ? 6.5 : 1.2) + (slot / 10) * cellH;
        if (i % 3 == 0) {
            QVector<QRect> options;
            for (int o = 0; o < 4; ++o)
                options << QRect(QPoint(x + o * (bubble.width() / 2 + 4), y), bubble / 2);
            s.irregularQuestions << SheetSpec::IrregularQuestion::make(page, nextItem++, options, 4);
        } else {
            s.subjectBlocks << SheetSpec::SubjectBlock{page, ++nextBlock[page], QRect(x, y, cellW - 10, cellH - 10), 0};
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
    const int rounds = benchRounds(app, QStringLiteral("Template designer benchmark"));

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const SheetRenderer renderer(largeSpec());
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
    if (boxes.count() > 0 || widgets < kSections) {
        std::fprintf(stderr, "the template did not open or save cleanly (%d widgets, %d boxes)\n", widgets,
                     boxes.count());
        return 1;
    }

    MyLabel *canvas = w.myImage->label();
    std::printf("%d sections (%d widgets with bubbles) on %d pages of %dx%d at 300 dpi; median of %d runs\n",
                kSections, widgets, renderer.spec().pageCount, renderer.spec().pageSize.width(),
                renderer.spec().pageSize.height(), rounds);
    reportMs("open", medianOf(open), 300);
    reportMs("save", medianOf(save), 300);
    for (const float zoom : {0.5f, 1.0f, 2.0f}) {
        canvas->scale = zoom;
        canvas->loadImage(pages.first(), 1);
        canvas->relayoutSections();
        QCoreApplication::processEvents();
        // The whole canvas, not only the part the scroll area shows: the
        // page at this zoom and every section of the page over it. The first
        // render lets the sections of the other page hide themselves.
        QImage target(canvas->size(), QImage::Format_RGB32);
        canvas->render(&target);
        std::vector<double> paints;
        PaintCounter counter;
        for (int r = 0; r < rounds; ++r)
            paints.push_back(timeMs([&] { canvas->render(&target); }));
        const QByteArray what = "repaint at zoom " + QByteArray::number(zoom) + " ("
            + QByteArray::number(counter.painted / rounds) + " widgets)";
        reportMs(what.constData(), medianOf(paints), zoom == 1.0f ? 16 : 0);
    }
    return 0;
}
