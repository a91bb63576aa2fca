#include "fuzzsupport.h"

#include <QMessageLogContext>
#include <QString>

#include <cstdio>

namespace FuzzSupport {

namespace {

void handler(QtMsgType type, const QMessageLogContext &, const QString &text)
{
    if (type != QtCriticalMsg && type != QtFatalMsg)
        return;
    std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
}

} // namespace

void quietQtLogging()
{
    qInstallMessageHandler(handler);
}

} // namespace FuzzSupport
