#pragma once
// Small helpers shared by the tests.

#include <QString>
#include <opencv2/core.hpp>

namespace TestUtil {
// Reads an image file whose path may hold non-ASCII characters.
cv::Mat readGrey(const QString &path);
// Number of pixels where two same-size 8-bit images differ by more than tolerance.
int differingPixels(const cv::Mat &a, const cv::Mat &b, int tolerance = 0);
} // namespace TestUtil
