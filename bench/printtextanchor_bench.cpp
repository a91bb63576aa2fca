// The printed-text anchor dialog on a 300-dpi A4 page: opening it on the
// header's search area (the region cut from the page file) and OK (the page
// read again in grey, the patch binarised and its features counted).

#include "unattended.h"
#include "dialogprinttextanchor.h"
#include "mylabel.h"
#include "omrresources.h"
#include "sheetrenderer.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

double timeMs(const std::function<void()> &work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    return clock.nsecsElapsed() / 1e6;
}

void report(const char *what, double ms, double targetMs)
{
    const double ratio = ms / targetMs;
    std::printf("  %-34s %8.1f ms   target < %.0f ms: ratio %.2f %s\n", what, ms, targetMs, ratio,
                ratio < 1.0 ? "(met)" : "(NOT MET)");
}

void send(QWidget *widget, QEvent::Type type, const QPoint &pos, Qt::MouseButtons buttons)
{
    QMouseEvent event(type, pos, widget->mapToGlobal(pos), type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      buttons, Qt::NoModifier);
    QApplication::sendEvent(widget, &event);
}

} // namespace

int main(int argc, char **argv)
{
    preferOffscreen();
    QApplication app(argc, argv);
    initOmrResources();
    UnattendedBoxes boxes;
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Printed-text anchor dialog benchmark"));
    parser.addHelpOption();
    const QCommandLineOption roundsOption(QStringLiteral("rounds"), QStringLiteral("Runs of each measurement."),
                                          QStringLiteral("n"), QStringLiteral("7"));
    parser.addOption(roundsOption);
    parser.process(app);
    const int rounds = std::max(1, parser.value(roundsOption).toInt());

    QTemporaryDir dir;
    const SheetRenderer renderer(SheetSpec::benchmark(SheetSpec::PrintedText, 300));
    const QString page = dir.filePath(QStringLiteral("page.png"));
    QString error;
    if (!dir.isValid() || !SheetRenderer::writeImage(page, renderer.blankPage(0), 0, &error)) {
        std::fprintf(stderr, "cannot write the page: %s\n", qPrintable(error));
        return 1;
    }
    MyLabel canvas;
    canvas.loadImage(page, 1);
    const QRect search = renderer.spec().anchors.at(0).textSearch;
    const QRect text = renderer.spec().patchRect(1).translated(-search.topLeft());
    canvas.showSelection(search);

    std::vector<double> open, ok;
    for (int r = 0; r < rounds; ++r) {
        DialogPrintTextAnchor *dialog = nullptr;
        open.push_back(timeMs([&] {
            dialog = new DialogPrintTextAnchor(&canvas);
            dialog->labelImage->showImage();
        }));
        send(dialog->labelImage, QEvent::MouseButtonPress, text.topLeft(), Qt::LeftButton);
        send(dialog->labelImage, QEvent::MouseMove, text.bottomRight(), Qt::LeftButton);
        send(dialog->labelImage, QEvent::MouseButtonRelease, text.bottomRight(), Qt::NoButton);
        ok.push_back(timeMs([&] { dialog->accept(); }));
        const bool accepted = dialog->result() == QDialog::Accepted;
        delete dialog;
        if (!accepted || boxes.count() > 0) {
            std::fprintf(stderr, "the patch was refused\n");
            return 1;
        }
    }
    std::printf("printed-text anchor: search area %dx%d, text %dx%d on a %dx%d page; median of %d runs\n",
                search.width(), search.height(), text.width(), text.height(), renderer.spec().pageSize.width(),
                renderer.spec().pageSize.height(), rounds);
    // Both happen while the user waits for the dialog or its answer.
    report("open on the selection", median(open), 150);
    report("OK: patch and features", median(ok), 150);
    return 0;
}
