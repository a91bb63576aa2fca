#pragma once
// Black-rectangle anchors, corner checks and deskew.

#include "templatemodel.h"
#include <QString>
#include <QVector>
#include <opencv2/core.hpp>

// Finds one solid black block inside `search` (clipped to the image). The
// searched area of `image` is left binarised and inverted (it is a view on the
// caller's pixels). The returned rectangle is relative to the clipped area's
// top-left corner; found is false when no block qualifies or the block touches
// the search area's border.
cv::Rect findAnchorBlock(cv::Mat image, cv::Rect search, bool &found);

// Every corner-check area of page `pageId` must hold a block of its expected
// size within `margin`. errorText is written only on failure.
bool checkCorners(const QVector<CornerCheckArea> &areas, int pageId, cv::Mat image,
                  QString &errorText, float margin);

// Turns `image` in place about its centre by `angleDegrees` (positive turns
// the content counter-clockwise); corners coming from outside are white.
void rotateImage(cv::Mat &image, float angleDegrees, int interpolation);
