// Entry of the scanning station.

#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"

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
    // Every page is a block of several megabytes. Above glibc's moving mmap
    // threshold each one would be mapped afresh and faulted in again; a
    // scanning station keeps such blocks on its heap.
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);

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
