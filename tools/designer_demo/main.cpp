// Writes blank answer-sheet pages for trying the template designer: the
// printed form of a two-page sheet (anchors, code grid, question bubbles,
// answer boxes) without any marks, one PNG per page.

#include "sheetrenderer.h"

#include <QCoreApplication>
#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: designer_demo <folder>\n");
        return 2;
    }
    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }
    const SheetRenderer renderer(SheetSpec::standard(SheetSpec::BlackRectangles, SheetSpec::CodeBubbles, 2, 150));
    for (int i = 0; i < renderer.spec().pageCount; ++i) {
        const QString path = folder + QStringLiteral("/blank-page-%1.png").arg(i + 1);
        QString error;
        if (!SheetRenderer::writeImage(path, renderer.blankPage(i), 0, &error)) {
            std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(error));
            return 1;
        }
        std::printf("%s\n", qPrintable(QDir::toNativeSeparators(path)));
    }
    return 0;
}
