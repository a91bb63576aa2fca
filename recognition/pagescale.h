#pragma once
// The scale of a scanned page against its template. A scanner whose feed
// slips stretches the page along the feed; a sheet printed "fit to page" is
// smaller all over. Alignment takes away the turn and the shift; a page that
// is measurably scaled is then read with every section placed at its scale
// about the page origin, and a page scaled beyond what can be read safely is
// refused.

#include "featurealign.h"
#include "templatemodel.h"

#include <QSize>
#include <QString>
#include <QVector>
#include <opencv2/core.hpp>

// Measured scales inside this band are read exactly as the template's scale.
// The measurement's own noise stays below 0.1%, and a page read unscaled is
// still read right up to about 0.6% off.
constexpr double kScaleNoise = 0.004;
// Pages are read between these scales, along either axis; beyond them the
// anchors run out of their search areas.
constexpr double kMinReadableScale = 0.935;
constexpr double kMaxReadableScale = 1.045;
// How far off, as a share, a page may be for its corner-check points to be
// looked for outside their areas.
constexpr double kScaleReach = 0.12;

// A point whose template position is known, as found on the page before it
// is deskewed (anchor centres, corner-check points, the printed text).
struct ScaleMark {
    cv::Point2d onTemplate;
    cv::Point2d onPage;
};

// Size on the page over size on the template, along the page's x and y.
struct PageScale {
    double x = 1.0;
    double y = 1.0;
    // 'x' or 'y' when the page is scaled along one axis and nothing tells
    // the other (the other's value is then NaN); 0 otherwise.
    char unknownAxis = 0;

    bool isUnit() const { return unknownAxis == 0 && x == 1.0 && y == 1.0; }
    bool readable() const;
};

// Per axis, the least-squares ratio of the marks' distances from `reference`
// on the page (turn `turnDegrees` taken away, as the deskew undoes it) to
// those on the template, counted where the marks span a third of the page
// along the axis; else the printed-text match's, where its points spread over
// a quarter of the page. Along an axis measured neither way the text match
// gives at most a rough value: it decides between "scaled as the other axis"
// (a sheet printed at another size) and "unscaled" where it clearly can, and
// stands for itself when far from both. With nothing to decide, a page
// unscaled along the other axis reads 1 and a scaled one leaves the axis
// unknown. An axis within the noise band reads exactly 1.
PageScale measurePageScale(const ScaleMark &reference, const QVector<ScaleMark> &marks, float turnDegrees,
                           QSize pageSize, const FeatureMatchGeometry *features = nullptr);

// How far, in degrees, scaling by `scale` turns a line of the template with
// this direction (positive as atan2 grows). A turn measured along such a line
// on a page scaled unequally along its axes holds this much besides the
// page's own turn.
double lineTurnByScale(cv::Point2d direction, const PageScale &scale);

// The failure text for a page whose scale cannot be read safely.
QString scaleOutOfRangeText(int pageId, const PageScale &scale);

// A copy of the model's sections (code area, absent mark, questions, optional
// groups, subjective blocks) with those of page `pageId` placed at `scale`
// about the page origin: positions are relative to the origin already, so
// positions and sizes are scaled.
TemplateModel scaledSections(const TemplateModel &model, int pageId, const PageScale &scale);
