#pragma once
// Small helpers shared by the tests.

#include <QByteArray>
#include <QString>
#include <opencv2/core.hpp>

namespace TestUtil {
// Reads an image file whose path may hold non-ASCII characters.
cv::Mat readGrey(const QString &path);
// Number of pixels where two same-size 8-bit images differ by more than tolerance.
int differingPixels(const cv::Mat &a, const cv::Mat &b, int tolerance = 0);
// The whole file; empty when it cannot be read.
QByteArray fileBytes(const QString &path);
// Writes the whole file; false when it could not.
bool writeFile(const QString &path, const QByteArray &bytes);
} // namespace TestUtil
