#pragma once
// Objective questions and optional-group choices.

#include "templatemodel.h"
#include <QString>
#include <opencv2/core.hpp>

class ImageWriteQueue;

// The marked letters of one question ("X" when none) and its two item images.
// When the question's area (plus the origin) is not wholly inside the image,
// nothing is read or written, the result is empty and *errorText says why.
// With a writer the images are queued on it instead of written before return.
QString readObjectiveItem(const cv::Mat &image, const ObjectItem &item, float coverShare,
                          int originX, int originY, int markPointAlgo, int threshold,
                          const QString &folder, const QString &code, QString *errorText = nullptr,
                          ImageWriteQueue *writer = nullptr);

// The chosen candidate of an optional group (its default when none or several
// are marked) and its two item images. Same refusal and writer rules as above.
QString readOptionalChoice(const cv::Mat &image, const QString &folder, const QString &code,
                           const OptionalGroup &group, int originX, int originY, float coverShare,
                           int markPointAlgo, int threshold, QString *errorText = nullptr,
                           ImageWriteQueue *writer = nullptr);
