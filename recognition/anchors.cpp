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

bool checkCorners(const QVector<CornerCheckArea> &areas, int pageId, cv::Mat image,
                  QString &errorText, float margin)
{
    for (const CornerCheckArea &a : areas) {
        if (a.page != pageId)
            continue;
        bool found = false;
        const cv::Rect block = findAnchorBlock(image, cv::Rect(a.rect.x(), a.rect.y(), a.rect.width(),
                                                               a.rect.height()),
                                               found);
        if (!found) {
            errorText = QStringLiteral("边角检测【%1】失败：未发现检测点。").arg(a.name);
            return false;
        }
        if (sizeOutsideMargin(block.width, a.anchorPointWidth, margin)
            || sizeOutsideMargin(block.height, a.anchorPointHeight, margin)) {
            errorText = QStringLiteral("边角检测【%1】失败：检测点大小超出允许误差").arg(a.name);
            return false;
        }
    }
    return true;
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
