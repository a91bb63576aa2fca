#include "imagefile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <opencv2/imgcodecs.hpp>

#include <algorithm>

namespace ImageFile {

namespace {

bool fail(QString *error, const QString &what, const QString &path)
{
    if (error)
        *error = what + path;
    return false;
}

} // namespace

cv::Mat read(const QString &path, int flags, QString *error)
{
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        fail(error, QStringLiteral("无法读取图片："), path);
        return cv::Mat();
    }
    const QByteArray bytes = in.readAll();
    in.close();
    cv::Mat image;
    if (!bytes.isEmpty()) {
        try {
            const cv::Mat raw(1, bytes.size(), CV_8U, const_cast<char *>(bytes.constData()));
            image = cv::imdecode(raw, flags);
        } catch (const cv::Exception &) {
            image.release();
        }
    }
    if (image.empty())
        fail(error, QStringLiteral("无法读取图片："), path);
    return image;
}

bool write(const QString &path, const cv::Mat &image, const std::vector<int> &params, QString *error)
{
    std::vector<uchar> encoded;
    try {
        const std::string extension = "." + QFileInfo(path).suffix().toLower().toStdString();
        if (image.empty() || !cv::imencode(extension, image, encoded, params))
            return fail(error, QStringLiteral("无法保存图片："), path);
    } catch (const cv::Exception &) {
        // An unknown suffix or an image the format cannot hold.
        return fail(error, QStringLiteral("无法保存图片："), path);
    }

    QSaveFile out(path);
    const auto size = qint64(encoded.size());
    if (!out.open(QIODevice::WriteOnly)
        || out.write(reinterpret_cast<const char *>(encoded.data()), size) != size || !out.commit())
        return fail(error, QStringLiteral("无法保存图片："), path);
    return true;
}

bool rotate(const QString &path, int mode, int jpegQuality, QString *error)
{
    if (mode < 0 || mode > 2)
        return fail(error, QStringLiteral("旋转方式无效："), path);
    const cv::Mat image = read(path, cv::IMREAD_UNCHANGED, error);
    if (image.empty())
        return false;
    static const cv::RotateFlags flags[] = {cv::ROTATE_90_CLOCKWISE, cv::ROTATE_180, cv::ROTATE_90_COUNTERCLOCKWISE};
    cv::Mat rotated;
    cv::rotate(image, rotated, flags[mode]);
    std::vector<int> params;
    if (jpegQuality >= 0)
        params = {cv::IMWRITE_JPEG_QUALITY, std::min(jpegQuality, 100)};
    return write(path, rotated, params, error);
}

} // namespace ImageFile
