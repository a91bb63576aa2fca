#include "detectors.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <vector>

namespace RegionDetectors {

namespace {

using Contours = std::vector<std::vector<cv::Point>>;

int toPage(int canvas, float zoom, Rounding rounding)
{
    const float v = float(canvas) / zoom;
    return rounding == Rounding::Truncate ? int(v) : int(std::floor(v + 0.5f));
}

Contours outerContours(const cv::Mat &mask)
{
    Contours contours;
    cv::findContours(mask, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE);
    return contours;
}

int truncatedArea(const std::vector<cv::Point> &contour)
{
    return int(std::fabs(cv::contourArea(contour)));
}

bool ratioFits(const cv::Rect &box)
{
    const float ratio = float(box.width) / float(box.height);
    return ratio >= kMinRatio && ratio <= kMaxRatio;
}

// The first contour of the largest area above kMinArea that `accept` takes.
template <typename Accept>
bool largest(const Contours &contours, cv::Rect *box, Accept accept)
{
    int bestArea = kMinArea;
    bool found = false;
    for (const auto &contour : contours) {
        const int area = truncatedArea(contour);
        if (area <= bestArea)
            continue;
        const cv::Rect r = cv::boundingRect(contour);
        if (!ratioFits(r) || !accept(r))
            continue;
        bestArea = area;
        *box = r;
        found = true;
    }
    return found;
}

} // namespace

PageRegion pageRegion(const cv::Rect &selection, const cv::Size &shownSize, float zoom, Rounding rounding,
                      const cv::Size &imageSize)
{
    PageRegion out;
    if (!(zoom > 0.0f))
        return out;
    out.origin = cv::Point(toPage(selection.x, zoom, rounding), toPage(selection.y, zoom, rounding));
    const cv::Rect wanted(out.origin, cv::Size(toPage(selection.width, zoom, rounding),
                                               toPage(selection.height, zoom, rounding)));
    const cv::Rect shown(0, 0, toPage(shownSize.width, zoom, rounding), toPage(shownSize.height, zoom, rounding));
    const cv::Rect image(cv::Point(0, 0), imageSize);
    // A selection partly off the page keeps its own origin, so results stay
    // offsets from where the user put it.
    out.region = wanted & shown & image;
    if (out.region.empty())
        out.region = cv::Rect();
    return out;
}

cv::Mat inkMask(const cv::Mat &bgr)
{
    cv::Mat grey;
    // The red-to-grey weights on blue-green-red data: the blue channel weighs
    // most. Blank pages are printed in black, where it makes no difference.
    cv::cvtColor(bgr, grey, cv::COLOR_RGB2GRAY);
    cv::Mat binary;
    cv::threshold(grey, binary, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    return 255 - binary;
}

bool findBlackRectangle(const cv::Mat &bgr, cv::Rect *box)
{
    if (bgr.empty())
        return false;
    cv::Mat closed;
    const cv::Mat kernel = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(3, 3));
    cv::morphologyEx(inkMask(bgr), closed, cv::MORPH_CLOSE, kernel);
    return largest(outerContours(closed), box, [&closed](const cv::Rect &r) {
        const float fill = float(cv::countNonZero(closed(r))) / float(r.width * r.height);
        return fill >= kMinFill;
    });
}

bool findBubbleArea(const cv::Mat &bgr, cv::Rect *box)
{
    if (bgr.empty())
        return false;
    bool found = false;
    cv::Rect all;
    for (const auto &contour : outerContours(inkMask(bgr))) {
        if (truncatedArea(contour) < kMinArea)
            continue;
        const cv::Rect r = cv::boundingRect(contour);
        if (!ratioFits(r))
            continue;
        all = found ? (all | r) : r;
        found = true;
    }
    if (found)
        *box = all;
    return found;
}

bool findLargestMark(const cv::Mat &bgr, cv::Rect *box)
{
    if (bgr.empty())
        return false;
    return largest(outerContours(inkMask(bgr)), box, [](const cv::Rect &) { return true; });
}

} // namespace RegionDetectors
