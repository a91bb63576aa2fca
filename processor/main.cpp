// Entry of the processing program.

#include "mainwindow.h"
#include "messagebox.h"
#include "omrresources.h"
#include "pageimage.h"
#include "pagememory.h"
#include "platformrequest.h"
#include "processcount.h"
#include "startup.h"

#include <QApplication>
#include <QTranslator>

#include <cstdio>

int main(int argc, char **argv)
{
    if (pageMemoryKept())
        keepPageBlocksOnHeap();

    // The version query needs no display: answer it before anything else.
    if (argc >= 2 && qstrcmp(argv[1], "version") == 0) {
        const QByteArray text = Startup::versionJson();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout);
        return 0;
    }

    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    QApplication app(argc, argv);
    initOmrResources();
    PlatformRequest::installExtraCa();

    const int running = countRunningProcesses(QStringLiteral("Ardentiq"));
    const bool otherInstance = running > 1;
    if (otherInstance) {
        MessageBox::warning(nullptr, QStringLiteral("提示"), Startup::refusal(QString(), running));
        return 0;
    }

    QTranslator translator;
    translator.load(QStringLiteral(":/translations/res/translations/qt_zh_CN.qm"));
    app.installTranslator(&translator);

    const QString problem = Startup::refusal(QCoreApplication::applicationDirPath(), running);
    if (!problem.isEmpty()) {
        MessageBox::warning(nullptr, QStringLiteral("提示"), problem);
        return 0;
    }

    MainWindow window;
    window.show();
    return app.exec();
}
