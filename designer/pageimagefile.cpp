#include "pageimagefile.h"

#include "imagefile.h"

#include <QImage>
#include <QImageReader>

#include <opencv2/imgproc.hpp>

namespace PageImageFile {

namespace {

void prepare(QImageReader &reader)
{
    reader.setDecideFormatFromContent(true);
    reader.setAutoTransform(true);
}

} // namespace

QImage read(const QString &path)
{
    QImageReader reader(path);
    prepare(reader);
    return reader.read();
}

QSize size(const QString &path)
{
    QImageReader reader(path);
    prepare(reader);
    QSize s = reader.size();
    if (!s.isValid()) {
        // Some formats only know their size once decoded.
        const QImage image = reader.read();
        if (image.isNull())
            return QSize();
        return image.size();
    }
    // Every stored orientation that includes a quarter turn (mirrored or
    // not) swaps the sides, exactly as `read` turns the picture.
    if (reader.transformation() & QImageIOHandler::TransformationRotate90)
        s.transpose();
    return s;
}

bool bakeOrientation(const QString &path, bool *rewritten, QString *errorText)
{
    if (rewritten)
        *rewritten = false;
    QImageReader reader(path);
    prepare(reader);
    if (reader.transformation() == QImageIOHandler::TransformationNone)
        return true;

    QImage image = reader.read();
    if (image.isNull()) {
        if (errorText)
            *errorText = QStringLiteral("无法读取图片：%1（%2）").arg(path, reader.errorString());
        return false;
    }
    cv::Mat mat;
    if (image.isGrayscale()) {
        image = image.convertToFormat(QImage::Format_Grayscale8);
        mat = cv::Mat(image.height(), image.width(), CV_8UC1, image.bits(), size_t(image.bytesPerLine())).clone();
    } else {
        image = image.convertToFormat(QImage::Format_RGB888);
        const cv::Mat rgb(image.height(), image.width(), CV_8UC3, image.bits(), size_t(image.bytesPerLine()));
        cv::cvtColor(rgb, mat, cv::COLOR_RGB2BGR);
    }
    // The encoder writes no orientation tag, so the file itself is upright.
    if (!ImageFile::write(path, mat, {}, errorText))
        return false;
    if (rewritten)
        *rewritten = true;
    return true;
}

} // namespace PageImageFile
