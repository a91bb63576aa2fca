#include "desktopopener.h"

#include <QDesktopServices>
#include <QFileInfo>

namespace DesktopOpener {
namespace {
Handler &handlerSlot()
{
    static Handler handler;
    return handler;
}
} // namespace

bool openUrl(const QUrl &url)
{
    if (!url.isValid() || url.isEmpty())
        return false;
    if (const Handler &handler = handlerSlot()) {
        const Handler h = handler;
        return h(url);
    }
    return QDesktopServices::openUrl(url);
}

QUrl localUrl(const QString &pathOrFileUrl)
{
    const QString text = pathOrFileUrl.trimmed();
    if (text.isEmpty())
        return QUrl();
    QString path = text;
    if (text.startsWith(QLatin1String("file:"), Qt::CaseInsensitive)) {
        const QUrl url(text, QUrl::TolerantMode);
        if (!url.isValid() || !url.isLocalFile())
            return QUrl();
        path = url.toLocalFile();
        if (path.isEmpty())
            return QUrl();
    }
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
}

bool openLocalPath(const QString &pathOrFileUrl)
{
    return openUrl(localUrl(pathOrFileUrl));
}

bool showFile(const QString &filePath)
{
    const QUrl url = localUrl(filePath);
    if (!url.isValid())
        return false;
    return openUrl(QUrl::fromLocalFile(QFileInfo(url.toLocalFile()).absolutePath()));
}

Handler setHandler(Handler handler)
{
    Handler previous = std::move(handlerSlot());
    handlerSlot() = std::move(handler);
    return previous;
}

} // namespace DesktopOpener

DesktopOpenRecorder::DesktopOpenRecorder()
{
    previous_ = DesktopOpener::setHandler([this](const QUrl &url) {
        urls.append(url);
        return result;
    });
}

DesktopOpenRecorder::~DesktopOpenRecorder()
{
    DesktopOpener::setHandler(std::move(previous_));
}
