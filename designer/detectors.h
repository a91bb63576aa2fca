#pragma once
// Finding printed marks on a blank page, so the designer does not have to
// draw anchors and bubbles to the pixel. Image in, rectangle out: no widgets,
// no files. Every detector takes the colour (blue-green-red) region under the
// selection and answers in that region's pixels.

#include <opencv2/core.hpp>

namespace RegionDetectors {

// How a selection in canvas pixels becomes page pixels.
enum class Rounding {
    Truncate, // toward zero
    Nearest,  // halves upward
};

// A selection turned into page pixels and cut to the page.
struct PageRegion {
    cv::Rect region;    // the part of the page to examine; may be empty
    cv::Point origin;   // the selection's own top-left in page pixels
};

// `selection` and `shownSize` are canvas pixels at `zoom` canvas pixels per
// page pixel. The page limits come from the shown image; `imageSize` (the
// image actually read from the file) cuts the region further, so a shown
// image that is a pixel larger than the file never reaches outside it.
PageRegion pageRegion(const cv::Rect &selection, const cv::Size &shownSize, float zoom, Rounding rounding,
                      const cv::Size &imageSize);

// Dark print as 255 on paper as 0: grey, Otsu threshold, inverted.
cv::Mat inkMask(const cv::Mat &bgr);

// Shortest side ratio and smallest area a mark may have.
constexpr float kMinRatio = 0.2f;
constexpr float kMaxRatio = 5.0f;
constexpr int kMinArea = 100;
// Share of a black rectangle's box its ink must cover.
constexpr float kMinFill = 0.8f;

// The detectors' common form: true with the mark's box in `box`; false,
// leaving `box` alone, when nothing qualifies.
using Finder = bool (*)(const cv::Mat &bgr, cv::Rect *box);

// The largest solid black rectangle; false when none qualifies.
bool findBlackRectangle(const cv::Mat &bgr, cv::Rect *box);
// The box around every bubble-like mark; false when there is none.
bool findBubbleArea(const cv::Mat &bgr, cv::Rect *box);
// The largest bubble-like mark; false when there is none.
bool findLargestMark(const cv::Mat &bgr, cv::Rect *box);

} // namespace RegionDetectors
