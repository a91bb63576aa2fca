#pragma once
// Reading a scanned page from its file.

#include <QString>
#include <opencv2/core.hpp>

// The page decoded with `flags` (cv::IMREAD_GRAYSCALE or cv::IMREAD_COLOR).
// Empty, with *errorText set, when the file cannot be read or decoded, or when
// its data ends early: a JPEG cut off in transfer still decodes, its missing
// part grey, and would be scored as if it were whole.
cv::Mat readPageImage(const QString &path, int flags, QString *errorText);
