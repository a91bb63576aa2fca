// Entry of the template designer.

#include "mainwindow.h"
#include "myscrollarea.h"
#include "omrresources.h"

#include <QApplication>
#include <QTranslator>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);

    // The version query needs no display: it is answered before the
    // application object would open one.
    if (argc >= 2 && qstrcmp(argv[1], "version") == 0) {
        const QByteArray text = QString::fromUtf8(MainWindow::versionJson()).toLocal8Bit();
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        std::fflush(stdout);
        return 0;
    }

    QApplication app(argc, argv);
    initOmrResources();
    QTranslator translator;
    translator.load(QStringLiteral(":/translations/res/translations/qt_zh_CN.qm"));
    app.installTranslator(&translator);

    MyScrollArea::setDefaultVariant(MyScrollArea::Variant::Designer);
    MainWindow window;
    window.show();
    return app.exec();
}
