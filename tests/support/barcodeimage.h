#pragma once
// Barcode pictures for tests, drawn by the zint library.

#include <QString>
#include <opencv2/core.hpp>

namespace BarcodeImage {
enum Kind { Code128, Code39, QrCode };
// An 8-bit grey image (black bars on white, with a quiet zone) of `data`;
// `module` is the narrowest bar's width in pixels. Empty on failure.
cv::Mat render(Kind kind, const QString &data, int module = 3, int barHeight = 60);
} // namespace BarcodeImage
