#pragma once
// The stored forms of template values that the designer writes and the
// processing program reads: the byte complement of a template file, the
// printed-text patch text (MatData) and the anchor angle text (AngleAB).

#include <QByteArray>
#include <QString>
#include <opencv2/core.hpp>

namespace TemplateFormat {

// Every byte b becomes 255 - b. The operation is its own inverse.
QByteArray complementBytes(const QByteArray &data);

// Complements a file in place. The new content is written to a temporary file
// in the same folder and renamed over the original only when the write
// succeeded, so a failure never leaves a half-complemented template.
bool complementFile(const QString &path, QString *errorText);

// 8-bit one-channel patch -> "v,v,v..." (row-major) -> qCompress -> Base64.
QString encodeMatData(const cv::Mat &patch);

// Reverses encodeMatData into a rows x cols 8-bit patch; values beyond
// rows x cols are ignored. Refuses, with a message, bad Base64, data that
// does not uncompress, fewer values than rows x cols, and non-positive or
// absurd sizes. `out` is left empty on failure.
bool decodeMatData(const QString &text, int rows, int cols, cv::Mat &out, QString *errorText);

// atan2(ay - by, ax - bx) in single precision, fixed-point with 4 decimals.
QString formatAngleAB(int ax, int ay, int bx, int by);

} // namespace TemplateFormat
