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

// A corner-check point found on a page: the index of its area in the list
// and the centre of its block in page pixels.
struct FoundCornerPoint {
    int area = 0;
    cv::Point centre;
};

// Every corner-check area of page `pageId` must hold a block of its expected
// size within `margin`. errorText is written only on failure. `found`, when
// given, receives the blocks of the areas that passed.
bool checkCorners(const QVector<CornerCheckArea> &areas, int pageId, cv::Mat image,
                  QString &errorText, float margin, QVector<FoundCornerPoint> *found = nullptr);

// The corner-check points of page `pageId` that are there with their
// expected size, for measuring the page; the others are left out. A point
// missing from its area is looked for where it would lie on a page scaled by
// up to `reach` (a share) about the page centre. Searches copies: `image`
// stays as it was.
QVector<FoundCornerPoint> findCornerPoints(const QVector<CornerCheckArea> &areas, int pageId,
                                           const cv::Mat &image, float margin, double reach = 0.0);

// Turns `image` in place about its centre by `angleDegrees` (positive turns
// the content counter-clockwise); corners coming from outside are white.
void rotateImage(cv::Mat &image, float angleDegrees, int interpolation);
