// The designer's region detectors on a 300-dpi A4 blank page: each detector
// through the canvas (reading the page file anew, as it does on every call)
// over the whole page and over the selection a school typically draws, and
// the image analysis alone on the decoded page.
//
// The printed-text anchor dialog's patch preparation is not measured here:
// the dialog is not in the designer yet.

#include "benchreport.h"
#include "unattended.h"
#include "detectors.h"
#include "imagefile.h"
#include "mylabel.h"
#include "myrubberbandcontainer.h"
#include "omrresources.h"
#include "sheetrenderer.h"

#include <QApplication>
#include <QTemporaryDir>

#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <functional>

namespace {

constexpr double kTargetMs = 150;

void report(const QByteArray &what, double ms, double targetMs)
{
    reportMs(what.constData(), ms, targetMs, 44);
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    initOmrResources();
    UnattendedBoxes boxes;
    const int rounds = benchRounds(app, QStringLiteral("Designer region detector benchmark"));

    QTemporaryDir dir;
    if (!dir.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    const SheetRenderer renderer(SheetSpec::benchmark(SheetSpec::BlackRectangles, 300));
    const SheetSpec &spec = renderer.spec();
    const QString path = dir.filePath(QStringLiteral("page-1.png"));
    QString error;
    if (!SheetRenderer::writeImage(path, renderer.blankPage(0), 0, &error)) {
        std::fprintf(stderr, "cannot write the page: %s\n", qPrintable(error));
        return 1;
    }

    MyLabel canvas;
    canvas.loadImage(path, 1);
    if (canvas.fullImage.isNull()) {
        std::fprintf(stderr, "the canvas cannot show the page\n");
        return 1;
    }
    std::printf("blank page %dx%d at 300 dpi, zoom 1; median of %d runs\n", spec.pageSize.width(),
                spec.pageSize.height(), rounds);

    // A bubble grid holds no solid black rectangle.
    const struct {
        const char *name;
        QRect selection;
        bool solidBlock;
    } selections[] = {
        {"full page", QRect(QPoint(0, 0), spec.pageSize), true},
        {"anchor search area", spec.anchors.at(0).searchA, true},
        {"code grid", spec.code.area.adjusted(-20, -20, 20, 20), false},
    };
    const struct {
        const char *name;
        std::function<bool()> run;
    } detectors[] = {
        {"black rectangle", [&canvas] {
             bool found = false;
             canvas.detectBlackRectangle(found);
             return found;
         }},
        {"bubble area", [&canvas] {
             QRect r;
             return canvas.detectBubbleArea(r);
         }},
        {"bubble size", [&canvas] {
             QRect r;
             return canvas.measureMarkPoint(r);
         }},
    };
    bool allFound = true;
    for (const auto &s : selections) {
        canvas.rubberBand->setGeometry(s.selection);
        for (const auto &d : detectors) {
            const bool blackRectangle = &d == &detectors[0];
            allFound = (d.run() || (blackRectangle && !s.solidBlock)) && allFound;
            const bool fullPage = s.selection.size() == spec.pageSize;
            report(QByteArray(d.name) + ", " + s.name, medianMs(rounds, [&d] { d.run(); }),
                   fullPage ? kTargetMs : 0);
        }
    }

    // What the file read costs, and the analysis without it.
    const cv::Mat page = ImageFile::read(path, cv::IMREAD_COLOR);
    report("page file read", medianMs(rounds, [&path] { ImageFile::read(path, cv::IMREAD_COLOR); }), 0);
    const struct {
        const char *name;
        RegionDetectors::Finder find;
    } finders[] = {
        {"black rectangle analysis, full page", RegionDetectors::findBlackRectangle},
        {"bubble area analysis, full page", RegionDetectors::findBubbleArea},
        {"bubble size analysis, full page", RegionDetectors::findLargestMark},
    };
    for (const auto &f : finders) {
        cv::Rect box;
        report(f.name, medianMs(rounds, [&] { f.find(page, &box); }), 0);
    }

    if (!allFound || boxes.count() > 0) {
        std::fprintf(stderr, "a detector found nothing or showed a box (%d boxes)\n", boxes.count());
        return 1;
    }
    return 0;
}
