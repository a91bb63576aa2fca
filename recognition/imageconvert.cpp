#include "imageconvert.h"

#include <QDebug>
#include <QVector>

namespace {

const QVector<QRgb> &greyColourTable()
{
    // A function-local static is initialised once even when several threads
    // make their first call at the same time.
    static const QVector<QRgb> table = [] {
        QVector<QRgb> entries;
        entries.reserve(256);
        for (int i = 0; i < 256; ++i)
            entries.append(0xFF000000u + QRgb(i) * 0x010101u);
        return entries;
    }();
    return table;
}

} // namespace

QImage matToQImage(const cv::Mat &image)
{
    if (image.empty())
        return QImage();

    const int bytesPerLine = int(image.step);
    switch (image.type()) {
    case CV_8UC1: {
        QImage result(image.data, image.cols, image.rows, bytesPerLine, QImage::Format_Indexed8);
        result.setColorTable(greyColourTable());
        return result;
    }
    case CV_8UC3: {
        const QImage view(image.data, image.cols, image.rows, bytesPerLine, QImage::Format_RGB888);
        return view.rgbSwapped();
    }
    case CV_8UC4:
        return QImage(image.data, image.cols, image.rows, bytesPerLine, QImage::Format_RGB32);
    default:
        qDebug("Image format is not supported: depth=%d and %d channels\n", image.depth(), image.channels());
        return QImage();
    }
}
