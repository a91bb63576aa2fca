// The canvas's region detectors: cut the page under the selection out of the
// page image file and hand it to the detectors.
#include "mylabel.h"

#include "detectors.h"
#include "imagefile.h"
#include "messagebox.h"
#include "myrubberbandcontainer.h"

#include <opencv2/imgcodecs.hpp>

namespace {

using RegionDetectors::Rounding;

// The detector's answer in page pixels, an offset from the selection's
// top-left.
bool detectInSelection(MyLabel &canvas, Rounding rounding, RegionDetectors::Finder find, QRect &result)
{
    if (!canvas.rubberBand)
        return false;
    QString error;
    // Read anew: the file may have been turned or deskewed since it was shown.
    const cv::Mat page = ImageFile::read(canvas.imagePath, cv::IMREAD_COLOR, &error);
    if (page.empty()) {
        MessageBox::warning(&canvas, QStringLiteral("提示"), error);
        return false;
    }
    const QRect s = canvas.rubberBand->geometry();
    const RegionDetectors::PageRegion where = RegionDetectors::pageRegion(
        cv::Rect(s.x(), s.y(), s.width(), s.height()),
        cv::Size(canvas.shownImage.width(), canvas.shownImage.height()), canvas.scale, rounding, page.size());
    if (where.region.empty())
        return false;
    cv::Rect box;
    try {
        if (!find(page(where.region), &box))
            return false;
    } catch (const cv::Exception &) {
        return false;
    }
    const cv::Point shift = where.region.tl() - where.origin;
    result = QRect(box.x + shift.x, box.y + shift.y, box.width, box.height);
    return true;
}

} // namespace

QRect MyLabel::detectBlackRectangle(bool &found)
{
    QRect box(0, 0, 0, 0);
    found = detectInSelection(*this, Rounding::Truncate, RegionDetectors::findBlackRectangle, box);
    return found ? box : QRect(0, 0, 0, 0);
}

bool MyLabel::detectBubbleArea(QRect &area)
{
    return detectInSelection(*this, Rounding::Nearest, RegionDetectors::findBubbleArea, area);
}

bool MyLabel::measureMarkPoint(QRect &mark)
{
    return detectInSelection(*this, Rounding::Nearest, RegionDetectors::findLargestMark, mark);
}
