#include "anchors.h"
#include "debugflags.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <exception>
#include <vector>

namespace {

const char *const kWindow = "image";

// Relative deviation of a found size from the expected one. An expected size
// of 0 can never be met; say so instead of relying on a float infinity.
bool sizeOutsideMargin(int found, int expected, float margin)
{
    if (expected == 0)
        return true;
    const float rel = std::fabs(static_cast<float>(found - expected) / static_cast<float>(expected));
    return rel > margin;
}

cv::Rect searchBlock(cv::Mat image, cv::Rect search, bool &found, bool debug)
{
    found = false;
    if (image.empty() || search.width <= 0 || search.height <= 0)
        return cv::Rect();

    // Only the start is clipped at 0; the requested size is kept so that the
    // position test below still sees the search area as it was asked for.
    const int x = std::max(search.x, 0);
    const int y = std::max(search.y, 0);
    const int w = std::min(search.width, image.cols - x);
    const int h = std::min(search.height, image.rows - y);
    if (w <= 0 || h <= 0)
        return cv::Rect();

    cv::Mat area(image, cv::Rect(x, y, w, h));   // view: binarised in place
    if (debug)
        DebugView::show(kWindow, area);

    if (area.channels() > 1) {
        cv::Mat grey;
        cv::cvtColor(area, grey, cv::COLOR_RGB2GRAY);
        area = grey;
    }

    cv::threshold(area, area, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    cv::bitwise_not(area, area);

    // Close small gaps in the printed block before looking at its outline.
    cv::dilate(area, area, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
               cv::morphologyDefaultBorderValue());
    cv::erode(area, area, cv::Mat(), cv::Point(-1, -1), 1, cv::BORDER_CONSTANT,
              cv::morphologyDefaultBorderValue());

    std::vector<std::vector<cv::Point>> contours;
    std::vector<cv::Vec4i> hierarchy;
    cv::findContours(area, contours, hierarchy, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE,
                     cv::Point(0, 0));

    cv::Mat picture;
    if (debug) {
        cv::cvtColor(area, picture, cv::COLOR_GRAY2BGR);
        for (size_t i = 0; i < contours.size(); ++i)
            cv::drawContours(picture, contours, static_cast<int>(i), cv::Scalar(0, 0, 255), 1, cv::LINE_8);
        DebugView::show(kWindow, picture);
        DebugView::waitKey();
    }

    int best = 100;
    int chosen = -1;
    for (size_t i = 0; i < contours.size(); ++i) {
        const int blobArea = static_cast<int>(cv::contourArea(contours[i], false));
        if (blobArea < best)
            continue;
        const cv::Rect box = cv::boundingRect(contours[i]);
        const float aspect = static_cast<float>(box.width) / static_cast<float>(box.height);
        if (aspect < 0.2f || aspect > 5.0f)
            continue;
        const float fill = static_cast<float>(cv::countNonZero(area(box)))
                           / static_cast<float>(box.width * box.height);
        if (fill < 0.8f)
            continue;
        if (blobArea > best) {
            chosen = static_cast<int>(i);
            best = blobArea;
        }
    }
    if (chosen < 0)
        return cv::Rect();

    if (debug) {
        DebugView::show(kWindow, picture);
        DebugView::waitKey();
    }
    const cv::Rect block = cv::boundingRect(contours[chosen]);
    if (debug)
        cv::rectangle(picture, block, cv::Scalar(255, 0, 0), 10, cv::LINE_8);

    // The block must not touch the search area's border; right and bottom
    // are measured against the requested size.
    found = block.x >= 1 && block.y >= 1 && block.x + block.width < search.width
            && block.y + block.height < search.height;
    if (found && debug) {
        DebugView::show(kWindow, picture);
        DebugView::waitKey();
        DebugView::destroy(kWindow);
    }
    return block;
}

} // namespace

cv::Rect findAnchorBlock(cv::Mat image, cv::Rect search, bool &found)
{
    const bool debug = DebugView::enabled(debugAnchor);
    found = false;
    try {
        return searchBlock(image, search, found, debug);
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    found = false;
    return cv::Rect();
}

namespace {

cv::Rect toCv(const QRect &r)
{
    return cv::Rect(r.x(), r.y(), r.width(), r.height());
}

cv::Point pointCentre(const cv::Rect &block, const cv::Rect &search)
{
    return cv::Point(std::max(search.x, 0) + block.x + block.width / 2,
                     std::max(search.y, 0) + block.y + block.height / 2);
}

} // namespace

bool checkCorners(const QVector<CornerCheckArea> &areas, int pageId, cv::Mat image,
                  QString &errorText, float margin, QVector<FoundCornerPoint> *found)
{
    for (int i = 0; i < areas.size(); ++i) {
        const CornerCheckArea &a = areas.at(i);
        if (a.page != pageId)
            continue;
        bool ok = false;
        const cv::Rect search = toCv(a.rect);
        const cv::Rect block = findAnchorBlock(image, search, ok);
        if (!ok) {
            errorText = QStringLiteral("边角检测【%1】失败：未发现检测点。").arg(a.name);
            return false;
        }
        if (sizeOutsideMargin(block.width, a.anchorPointWidth, margin)
            || sizeOutsideMargin(block.height, a.anchorPointHeight, margin)) {
            errorText = QStringLiteral("边角检测【%1】失败：检测点大小超出允许误差").arg(a.name);
            return false;
        }
        if (found)
            found->append(FoundCornerPoint{i, pointCentre(block, search)});
    }
    return true;
}

namespace {

// Searches a copy of what findAnchorBlock would look at on the page, placed so
// that clipping and the border test are those of the page.
bool findPointOnCopy(const cv::Mat &image, const cv::Rect &search, const CornerCheckArea &a, float margin,
                     cv::Point &centre)
{
    const int x = std::max(search.x, 0);
    const int y = std::max(search.y, 0);
    const cv::Rect clipped(x, y, std::min(search.width, image.cols - x), std::min(search.height, image.rows - y));
    if (clipped.width <= 0 || clipped.height <= 0)
        return false;
    cv::Mat copy = image(clipped).clone();
    bool ok = false;
    const cv::Rect block = findAnchorBlock(copy, cv::Rect(search.x - x, search.y - y, search.width, search.height), ok);
    if (!ok || sizeOutsideMargin(block.width, a.anchorPointWidth, margin)
        || sizeOutsideMargin(block.height, a.anchorPointHeight, margin))
        return false;
    centre = pointCentre(block, search);
    return true;
}

// Where the area lies on pages scaled by 1 - reach to 1 + reach along either
// axis about the page centre.
cv::Rect reachOf(const cv::Rect &r, const cv::Mat &image, double reach)
{
    const double cx = image.cols * 0.5;
    const double cy = image.rows * 0.5;
    auto span = [reach](double from, double to, double c, double &lo, double &hi) {
        lo = std::min(c + (from - c) * (1.0 - reach), c + (from - c) * (1.0 + reach));
        hi = std::max(c + (to - c) * (1.0 - reach), c + (to - c) * (1.0 + reach));
    };
    double x0, x1, y0, y1;
    span(r.x, r.x + r.width, cx, x0, x1);
    span(r.y, r.y + r.height, cy, y0, y1);
    const int left = int(std::floor(x0));
    const int top = int(std::floor(y0));
    return cv::Rect(left, top, int(std::ceil(x1)) - left, int(std::ceil(y1)) - top);
}

} // namespace

QVector<FoundCornerPoint> findCornerPoints(const QVector<CornerCheckArea> &areas, int pageId,
                                           const cv::Mat &image, float margin, double reach)
{
    QVector<FoundCornerPoint> out;
    for (int i = 0; i < areas.size(); ++i) {
        const CornerCheckArea &a = areas.at(i);
        if (a.page != pageId)
            continue;
        const cv::Rect search = toCv(a.rect);
        cv::Point centre;
        if (findPointOnCopy(image, search, a, margin, centre)
            || (reach > 0.0 && findPointOnCopy(image, reachOf(search, image, reach), a, margin, centre)))
            out.append(FoundCornerPoint{i, centre});
    }
    return out;
}

void rotateImage(cv::Mat &image, float angleDegrees, int interpolation)
{
    if (image.empty())
        return;
    try {
        const cv::Point2f centre(image.cols * 0.5f, image.rows * 0.5f);
        const cv::Mat m = cv::getRotationMatrix2D(centre, angleDegrees, 1.0);
        // In place: headers that share the page's pixels see the turned page.
        cv::warpAffine(image, image, m, cv::Size(image.cols, image.rows), interpolation,
                       cv::BORDER_CONSTANT, cv::Scalar(255, 255, 255, 0));
    } catch (const cv::Exception &) {
        // Leave the page as it was; the second search then reports the failure.
    } catch (const std::exception &) {
    }
}
