#pragma once
// Printed-text alignment by ORB feature matching.

#include "templatemodel.h"
#include <QString>
#include <opencv2/core.hpp>
#include <vector>

// Computes the patch's keypoints and descriptors once. ok/errorText are
// written only when the page was not prepared yet.
void prepareTemplateFeatures(TemplatePage &page, int featureCount, float scaleFactor, int levels,
                             bool &ok, QString &errorText);

// Finds the template patch on `image` (not written). On success `offset` is the
// patch centre in the clipped search area's coordinates and `angle` the turn
// (degrees) that rotateImage undoes. `searchOverride` replaces the page's own
// search area when given.
void locateByFeatures(const TemplatePage &page, const cv::Mat &image,
                      int maxSceneFeaturePointCount, int maxFeaturePointDistance,
                      float featurePointSearchScale, int featurePointSearchLevel,
                      int miniMatchFeaturePointCount, float matchAreaErrorMargin,
                      bool &found, cv::Point &offset, float &angle, QString &errorText,
                      const cv::Rect *searchOverride = nullptr);

// Least-squares line y = intercept + slope * x; returns its angle in degrees.
// width/height size the debug picture only.
float fitLineAngle(std::vector<cv::Point2f> points, float &slope, float &intercept, int width, int height);
