#pragma once
// OpenCV image -> Qt image, for display. Callable from any thread.

#include <QImage>
#include <opencv2/core.hpp>

// 8-bit 1 and 4 channel results share the OpenCV buffer: keep `image` alive
// while the result is used, or copy it at once.
QImage matToQImage(const cv::Mat &image);
