#include "pagescale.h"

#include <cmath>
#include <limits>

namespace {

// Along the short side of a printed-text patch the match's scale wanders and
// leans by up to half a percent: only differences of a percent tell.
constexpr double kRoughTextScale = 0.01;

double snapped(double s)
{
    return std::fabs(s - 1.0) <= kScaleNoise ? 1.0 : s;
}

QString percent(double s)
{
    return QString::number(s * 100.0, 'f', 1);
}

int scaled(int v, double s)
{
    return int(std::lround(double(v) * s));
}

// Both edges are scaled, so neighbouring sections keep their gaps.
QRect scaledRect(const QRect &r, const PageScale &s)
{
    const int x0 = scaled(r.x(), s.x);
    const int y0 = scaled(r.y(), s.y);
    return QRect(x0, y0, scaled(r.x() + r.width(), s.x) - x0, scaled(r.y() + r.height(), s.y) - y0);
}

void scaleItem(ObjectItem &item, const PageScale &s)
{
    item.rect = scaledRect(item.rect, s);
    item.markPointWidth = scaled(item.markPointWidth, s.x);
    item.markPointHeight = scaled(item.markPointHeight, s.y);
    for (OptionBox &box : item.options) {
        const QRect r = scaledRect(QRect(box.x, box.y, box.width, box.height), s);
        box.x = r.x();
        box.y = r.y();
        box.width = r.width();
        box.height = r.height();
    }
}

// One axis of a measurement: measured, roughly known from the printed text,
// or not known at all.
struct Axis {
    bool measured = false;
    double value = 1.0;
    bool rough = false;
};

// The scale read along axis `a`; NaN when it cannot be told.
double settle(const Axis &a, const Axis &other)
{
    if (a.measured)
        return snapped(a.value);
    const double o = other.measured ? snapped(other.value) : 1.0;
    if (!a.rough) {
        // Nothing measures this axis. A page at the template's scale along
        // the other one is taken as unscaled (as before); a page scaled along
        // it may be printed smaller all over or stretched by the feed, which
        // cannot be told apart.
        return o == 1.0 ? 1.0 : std::numeric_limits<double>::quiet_NaN();
    }
    // The rough value decides between "scaled as the other axis" and "not
    // scaled" where it is clear, and stands for itself when it is far from
    // both.
    const double toOther = std::fabs(a.value - o);
    const double toUnit = std::fabs(a.value - 1.0);
    if (toOther > kRoughTextScale && toUnit > kRoughTextScale)
        return a.value;
    if (o != 1.0 && toOther <= kRoughTextScale && toUnit <= kRoughTextScale)
        return std::numeric_limits<double>::quiet_NaN();
    return toOther <= toUnit ? o : 1.0;
}

} // namespace

bool PageScale::readable() const
{
    return unknownAxis == 0 && x >= kMinReadableScale && x <= kMaxReadableScale && y >= kMinReadableScale
           && y <= kMaxReadableScale;
}

PageScale measurePageScale(const ScaleMark &reference, const QVector<ScaleMark> &marks, float turnDegrees,
                           QSize pageSize, const FeatureMatchGeometry *features)
{
    const double turn = double(turnDegrees) * CV_PI / 180.0;
    const double c = std::cos(turn);
    const double s = std::sin(turn);
    double spanX = 0, spanY = 0, productX = 0, productY = 0;
    for (const ScaleMark &m : marks) {
        const cv::Point2d t = m.onTemplate - reference.onTemplate;
        const cv::Point2d p = m.onPage - reference.onPage;
        // Turn the page's distance back by the page's turn.
        const cv::Point2d u(c * p.x + s * p.y, -s * p.x + c * p.y);
        spanX += t.x * t.x;
        spanY += t.y * t.y;
        productX += u.x * t.x;
        productY += u.y * t.y;
    }
    // The marks measure an axis they span over a third of the page along it.
    // The printed text is a small patch: its match measures an axis along
    // which the matched points spread over a quarter of the page, and gives
    // only a rough value along a shorter extent.
    Axis x, y;
    x.measured = spanX > 0 && std::sqrt(spanX) >= pageSize.width() / 3.0;
    y.measured = spanY > 0 && std::sqrt(spanY) >= pageSize.height() / 3.0;
    if (x.measured)
        x.value = productX / spanX;
    if (y.measured)
        y.value = productY / spanY;
    if (features) {
        const bool longX = features->spanX >= pageSize.width() / 4.0;
        const bool longY = features->spanY >= pageSize.height() / 4.0;
        if (!x.measured) {
            x.measured = longX;
            x.value = features->scaleX;
            x.rough = !longX;
        }
        if (!y.measured) {
            y.measured = longY;
            y.value = features->scaleY;
            y.rough = !longY;
        }
    }
    PageScale out;
    out.x = settle(x, y);
    out.y = settle(y, x);
    if (!x.measured && !std::isfinite(out.x))
        out.unknownAxis = 'x';
    if (!y.measured && !std::isfinite(out.y))
        out.unknownAxis = 'y';
    return out;
}

double lineTurnByScale(cv::Point2d direction, const PageScale &scale)
{
    const double before = std::atan2(direction.y, direction.x);
    const double after = std::atan2(direction.y * scale.y, direction.x * scale.x);
    return (after - before) * 180.0 / CV_PI;
}

QString scaleOutOfRangeText(int pageId, const PageScale &scale)
{
    const QString check = QStringLiteral("请检查扫描仪（进纸是否打滑、扫描分辨率是否与模板相同）或打印（是否缩放打印）。");
    if (scale.unknownAxis) {
        const bool xKnown = scale.unknownAxis == 'y';
        return QStringLiteral("第 %1 页答卷图片的大小%2是模板的 %3%，%4的大小无法从定位点和边角检测点测出，不能可靠识别。")
                   .arg(pageId)
                   .arg(xKnown ? QStringLiteral("横向") : QStringLiteral("纵向"))
                   .arg(percent(xKnown ? scale.x : scale.y))
                   .arg(xKnown ? QStringLiteral("纵向") : QStringLiteral("横向"))
               + check;
    }
    return QStringLiteral("第 %1 页答卷图片的大小是模板的 %2%（横向）和 %3%（纵向），超出可识别的 %4% 至 %5%。")
               .arg(pageId)
               .arg(percent(scale.x), percent(scale.y), percent(kMinReadableScale), percent(kMaxReadableScale))
           + check;
}

TemplateModel scaledSections(const TemplateModel &model, int pageId, const PageScale &s)
{
    // The containers are shared until written: only this page's sections
    // are copied.
    TemplateModel out = model;
    // The code and the absent mark are read on the first page.
    if (pageId == 1) {
        out.codeRect = scaledRect(out.codeRect, s);
        out.codeMarkPointWidth = scaled(out.codeMarkPointWidth, s.x);
        out.codeMarkPointHeight = scaled(out.codeMarkPointHeight, s.y);
        out.absentMarkRect = scaledRect(out.absentMarkRect, s);
    }
    for (ObjectItem &item : out.objectItems)
        if (item.page == pageId)
            scaleItem(item, s);
    for (OptionalObjectItem &item : out.optionalObjectItems)
        if (item.page == pageId)
            scaleItem(item, s);
    for (SubjectSection &section : out.subjectSections)
        if (section.page == pageId)
            section.rect = scaledRect(section.rect, s);
    for (OptionalGroup &group : out.optionalGroups) {
        if (group.page != pageId)
            continue;
        group.rect = scaledRect(group.rect, s);
        group.markPointWidth = scaled(group.markPointWidth, s.x);
        group.markPointHeight = scaled(group.markPointHeight, s.y);
    }
    for (OptionalSubjectSection &section : out.optionalSubjectSections)
        if (section.page == pageId)
            section.rect = scaledRect(section.rect, s);
    return out;
}
