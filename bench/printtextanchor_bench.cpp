// The printed-text anchor dialog on a 300-dpi A4 page: opening it on the
// header's search area (the region cut from the page file) and OK (the page
// read again in grey, the patch binarised and its features counted).

#include "benchreport.h"
#include "unattended.h"
#include "dialogprinttextanchor.h"
#include "mylabel.h"
#include "omrresources.h"
#include "sheetrenderer.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

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
    const int rounds = benchRounds(app, QStringLiteral("Printed-text anchor dialog benchmark"));

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
    reportMs("open on the selection", medianOf(open), 150);
    reportMs("OK: patch and features", medianOf(ok), 150);
    return 0;
}
