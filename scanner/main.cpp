// Entry of the scanning station.

#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"
#include "pagememory.h"

#include <QApplication>
#include <QDir>

#include <malloc.h>

namespace {

void refuse(const QString &text)
{
    MessageBox::withButtonTexts(nullptr, QMessageBox::Warning, QStringLiteral("提示"), text,
                                {{QMessageBox::Ok, QStringLiteral("确定")}});
}

} // namespace

int main(int argc, char *argv[])
{
    keepPageBlocksOnHeap();
    // Pages are made on the scan thread; in a thread arena of its own a block
    // that large is still mapped afresh for every page. The station has few
    // threads, so one arena costs nothing.
    mallopt(M_ARENA_MAX, 1);

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    initOmrResources();

    const QString iniPath = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QStringLiteral("/Pellwyn.ini"));
    const QString problem = MainWindow::settingsFileProblem(iniPath);
    if (!problem.isEmpty()) {
        refuse(problem);
        return 0;
    }

    MainWindow window;
    window.show();
    return app.exec();
}
