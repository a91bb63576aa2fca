#pragma once
// Sheet image files that the sheet tools read and rewrite in place. The bytes
// go through Qt's file layer, so a path may hold any characters; OpenCV only
// decodes and encodes. A file is replaced through a temporary file in its own
// folder, renamed over the original once the whole image is written: a
// failed write leaves the sheet as it was.

#include <QString>

#include <opencv2/core.hpp>

#include <vector>

namespace ImageFile {

// The decoded image (`flags` as for cv::imread); empty, with "无法读取图片："
// and the path in `error`, when the file cannot be read or holds no image.
cv::Mat read(const QString &path, int flags, QString *error = nullptr);

// Encodes `image` in the format of the path's suffix with the encoder
// parameters `params` and replaces the file. False, with "无法保存图片：" and
// the path in `error`, when the image cannot be encoded or the file written.
bool write(const QString &path, const cv::Mat &image, const std::vector<int> &params = {},
           QString *error = nullptr);

// Turns the image file clockwise as seen on screen: mode 0 by 90°, 1 by 180°,
// 2 by 270°. The file keeps its format, bit depth, palette and resolution (a
// 1-bit scan stays 1 bit). `jpegQuality` (0 to 100) is used for JPEG files;
// -1 keeps the encoder's default.
bool rotate(const QString &path, int mode, int jpegQuality = -1, QString *error = nullptr);

} // namespace ImageFile
