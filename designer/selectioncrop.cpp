#include "selectioncrop.h"

#include "mylabel.h"
#include "myrubberbandcontainer.h"
#include "pageimagefile.h"

namespace SelectionCrop {

QRect region(const MyLabel *canvas, const QSize &imageSize)
{
    if (!canvas || !canvas->rubberBand || canvas->scale <= 0.0f)
        return QRect();
    const QRect g = canvas->rubberBand->geometry();
    const float z = canvas->scale;
    const QRect pagePixels(int(g.x() / z), int(g.y() / z), int(g.width() / z), int(g.height() / z));
    return pagePixels.intersected(QRect(QPoint(0, 0), imageSize));
}

QImage cut(const MyLabel *canvas, QRect *regionOut, QString *errorText)
{
    // The page as the canvas shows it, so the cut lies under the selection.
    const QImage page = PageImageFile::read(canvas ? canvas->imagePath : QString());
    if (page.isNull()) {
        if (errorText)
            *errorText = QStringLiteral("无法读取页面图片：%1").arg(canvas ? canvas->imagePath : QString());
        return QImage();
    }
    const QRect r = region(canvas, page.size());
    if (regionOut)
        *regionOut = r;
    if (r.isEmpty()) {
        if (errorText)
            *errorText = QStringLiteral("选择区域不在页面图片内，请重新选择。");
        return QImage();
    }
    return page.copy(r);
}

} // namespace SelectionCrop
