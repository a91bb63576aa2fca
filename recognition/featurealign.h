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

// What a successful match says beyond the position and the turn.
struct FeatureMatchGeometry {
    // Size of the matched text on the page over its size on the template,
    // along the patch's x and y axes (from the affine estimate).
    double scaleX = 1.0;
    double scaleY = 1.0;
    // Extent of the matched template points: a scale measured over a short
    // extent is mostly noise.
    int spanX = 0;
    int spanY = 0;
    // Centre of the matched template points' bounding box minus the patch
    // centre: `offset` carries it at the template's scale.
    cv::Point patchShift;
    // The turn is measured between lines fitted through the matched points
    // (through x over y when `transposed`); `templateLineAngle` is the
    // template side's, in degrees. A page scaled unequally along its axes
    // tilts the page side's line as well.
    float templateLineAngle = 0.0f;
    bool transposed = false;
};

// Finds the template patch on `image` (not written). On success `offset` is the
// patch centre in the clipped search area's coordinates and `angle` the turn
// (degrees) that rotateImage undoes. `searchOverride` replaces the page's own
// search area when given; `geometry`, when given, is filled on success.
void locateByFeatures(const TemplatePage &page, const cv::Mat &image,
                      int maxSceneFeaturePointCount, int maxFeaturePointDistance,
                      float featurePointSearchScale, int featurePointSearchLevel,
                      int miniMatchFeaturePointCount, float matchAreaErrorMargin,
                      bool &found, cv::Point &offset, float &angle, QString &errorText,
                      const cv::Rect *searchOverride = nullptr, FeatureMatchGeometry *geometry = nullptr);

// True when OMR_REFERENCE_ALIGNMENT is set: matchDescriptors then runs
// cv::BFMatcher's own cross-check, which gives the same matches more slowly;
// the benchmark and the tests compare both ways.
bool referenceAlignment();

// The matches of cv::BFMatcher(cv::NORM_HAMMING2, true) on 8-bit binary
// descriptors, in the same order with the same distances: a query descriptor
// is matched to its nearest train descriptor when it is that one's nearest
// query descriptor as well, the first of equals counting as nearest.
std::vector<cv::DMatch> matchDescriptors(const cv::Mat &queryDescriptors, const cv::Mat &trainDescriptors);

// Least-squares line y = intercept + slope * x; returns its angle in degrees.
// width/height size the debug picture only.
float fitLineAngle(std::vector<cv::Point2f> points, float &slope, float &intercept, int width, int height);
