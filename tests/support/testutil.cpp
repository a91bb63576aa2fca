#include "testutil.h"

#include <QFile>
#include <opencv2/imgcodecs.hpp>

namespace TestUtil {

cv::Mat readGrey(const QString &path)
{
    return cv::imread(QFile::encodeName(path).toStdString(), cv::IMREAD_GRAYSCALE);
}

int differingPixels(const cv::Mat &a, const cv::Mat &b, int tolerance)
{
    if (a.size() != b.size() || a.type() != b.type())
        return -1;
    cv::Mat diff;
    cv::absdiff(a, b, diff);
    return cv::countNonZero(diff > tolerance);
}

QByteArray fileBytes(const QString &path)
{
    if (path.isEmpty())
        return QByteArray();
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace TestUtil
