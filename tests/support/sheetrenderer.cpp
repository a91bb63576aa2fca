#include "sheetrenderer.h"

#include "barcodeimage.h"
#include "templateformat.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QSet>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <tinyxml2.h>

#include <algorithm>
#include <cmath>

namespace {

int roundi(double v) { return int(std::lround(v)); }

QRect pageRect(QSize size) { return QRect(QPoint(0, 0), size); }

cv::Rect toCv(const QRect &r) { return cv::Rect(r.x(), r.y(), r.width(), r.height()); }

// The part of r inside an image of that size (empty when nothing is).
QRect clipTo(const QRect &r, const cv::Mat &image)
{
    return r.intersected(QRect(0, 0, image.cols, image.rows));
}

// Deterministic random key for one mark, so the same student renders the same way.
quint64 mixKey(quint32 base, int a, int b, int c)
{
    quint64 h = 1469598103934665603ULL ^ base;
    for (int v : {a, b, c}) {
        h ^= quint64(quint32(v));
        h *= 1099511628211ULL;
    }
    return h ? h : 1;
}

// Ink colours for a grey or a BGR page.
struct Ink {
    bool colour = false;
    bool redPrint = false;
    cv::Scalar black() const { return cv::Scalar::all(0); }
    cv::Scalar form() const { return redPrint ? cv::Scalar(40, 40, 220) : cv::Scalar::all(0); }
    cv::Scalar pencil(int v) const { return cv::Scalar::all(v); }
};

// Header text: each line gets its own Hershey face and size, so the block has
// plenty of distinct corners for feature matching.
struct LineStyle {
    int face;
    double scale;
    int thickness;
};

const LineStyle kLineStyles[] = {
    {cv::FONT_HERSHEY_TRIPLEX, 0.95, 2},
    {cv::FONT_HERSHEY_COMPLEX, 0.70, 1},
    {cv::FONT_HERSHEY_SIMPLEX, 0.55, 1},
    {cv::FONT_HERSHEY_DUPLEX | cv::FONT_ITALIC, 0.60, 1},
    {cv::FONT_HERSHEY_SCRIPT_COMPLEX, 0.75, 1},
};

struct PlacedLine {
    std::string text;
    cv::Point origin;   // baseline start, relative to the block's top-left
    LineStyle style;
};

QVector<PlacedLine> layoutText(const QStringList &lines, int dpi, QSize *size)
{
    const double f = dpi / 150.0;
    const int thick = std::max(1, roundi(f));
    const int pad = std::max(2, roundi(0.05 * dpi));
    const int gap = std::max(2, roundi(0.05 * dpi));
    QVector<PlacedLine> out;
    int y = pad;
    int width = 0;
    int i = 0;
    for (const QString &line : lines) {
        LineStyle st = kLineStyles[i++ % int(sizeof(kLineStyles) / sizeof(kLineStyles[0]))];
        st.scale *= f;
        st.thickness *= thick;
        const std::string text = line.toStdString();
        int baseline = 0;
        const cv::Size ts = cv::getTextSize(text, st.face, st.scale, st.thickness, &baseline);
        y += ts.height + st.thickness;
        out.push_back({text, cv::Point(pad, y), st});
        y += baseline + gap;
        width = std::max(width, ts.width + st.thickness);
    }
    if (size)
        *size = QSize(width + 2 * pad, y - gap + pad);
    return out;
}

void drawTextBlock(cv::Mat &page, const QStringList &lines, QPoint topLeft, int dpi, const cv::Scalar &colour)
{
    for (const PlacedLine &l : layoutText(lines, dpi, nullptr))
        cv::putText(page, l.text, l.origin + cv::Point(topLeft.x(), topLeft.y()), l.style.face, l.style.scale,
                    colour, l.style.thickness, cv::LINE_AA);
}

void fillRect(cv::Mat &page, const QRect &r, const cv::Scalar &colour)
{
    const QRect c = clipTo(r, page);
    if (!c.isEmpty())
        page(toCv(c)).setTo(colour);
}

// Small print used for question numbers and option letters.
struct Labeller {
    cv::Mat &page;
    int dpi;
    cv::Scalar colour;

    double scale() const { return 0.4 * dpi / 150.0; }
    int thickness() const { return std::max(1, roundi(dpi / 150.0)); }
    cv::Size size(const QString &text) const
    {
        int baseline = 0;
        return cv::getTextSize(text.toStdString(), cv::FONT_HERSHEY_SIMPLEX, scale(), thickness(), &baseline);
    }
    // Text whose bounding box is centred on (cx, cy).
    void centred(const QString &text, int cx, int cy) const
    {
        const cv::Size s = size(text);
        cv::putText(page, text.toStdString(), cv::Point(cx - s.width / 2, cy + s.height / 2),
                    cv::FONT_HERSHEY_SIMPLEX, scale(), colour, thickness(), cv::LINE_AA);
    }
    // Text ending `gap` pixels left of x, vertically centred on cy.
    void leftOf(const QString &text, int x, int cy, int gap) const
    {
        const cv::Size s = size(text);
        centred(text, x - gap - s.width / 2, cy);
    }
};

// Thin printed bubble outline inside its box; it must stay far below the
// cover share the readers test.
void drawBubble(cv::Mat &page, const QRect &box, int dpi, const cv::Scalar &colour)
{
    if (box.width() < 3 || box.height() < 3)
        return;
    const int t = std::max(1, roundi(dpi / 150.0));
    const cv::Point centre(box.x() + box.width() / 2, box.y() + box.height() / 2);
    const cv::Size axes(std::max(1, (box.width() - t) / 2), std::max(1, (box.height() - t) / 2));
    cv::ellipse(page, centre, axes, 0, 0, 360, colour, t, cv::LINE_8);
}

enum class MarkShape { Any, Rectangle };

// A pencil mark over a box: dark grey 20..60 with some grain, covering most of
// the box (an oversized ellipse or an inset rectangle), kept close to the box.
void drawPencil(cv::Mat &page, const QRect &box, quint64 key, MarkShape shapeKind)
{
    if (box.isEmpty())
        return;
    cv::RNG rng(key);
    const int w = box.width();
    const int h = box.height();
    const int grow = std::max(1, roundi(0.06 * std::min(w, h)));
    const QRect region = clipTo(box.adjusted(-grow, -grow, grow, grow), page);
    if (region.isEmpty())
        return;
    cv::Mat mask(region.height(), region.width(), CV_8U, cv::Scalar(0));
    const int jx = rng.uniform(-std::max(1, w / 25), std::max(1, w / 25) + 1);
    const int jy = rng.uniform(-std::max(1, h / 25), std::max(1, h / 25) + 1);
    const cv::Point2d centre(box.x() - region.x() + w / 2.0 + jx, box.y() - region.y() + h / 2.0 + jy);
    const bool ellipse = shapeKind == MarkShape::Any && rng.uniform(0, 3) < 2;
    if (ellipse) {
        const double f = rng.uniform(1.06, 1.16);
        cv::ellipse(mask, cv::Point(roundi(centre.x), roundi(centre.y)),
                    cv::Size(roundi(w * f / 2), roundi(h * f / 2)), rng.uniform(-4.0, 4.0), 0, 360,
                    cv::Scalar(255), cv::FILLED, cv::LINE_8);
    } else {
        const double ix = rng.uniform(0.03, 0.08) * w;
        const double iy = rng.uniform(0.03, 0.08) * h;
        cv::rectangle(mask, cv::Point(roundi(centre.x - w / 2.0 + ix), roundi(centre.y - h / 2.0 + iy)),
                      cv::Point(roundi(centre.x + w / 2.0 - ix) - 1, roundi(centre.y + h / 2.0 - iy) - 1),
                      cv::Scalar(255), cv::FILLED, cv::LINE_8);
    }
    // Graphite grain plus a soft stroke direction.
    const int base = rng.uniform(20, 61);
    cv::Mat grain(mask.size(), CV_16S);
    rng.fill(grain, cv::RNG::NORMAL, 0, 9);
    const double slope = rng.uniform(-12.0, 12.0) / std::max(1, region.width());
    cv::Mat view = page(toCv(region));
    const int channels = page.channels();
    for (int y = 0; y < mask.rows; ++y) {
        const uchar *m = mask.ptr<uchar>(y);
        const short *g = grain.ptr<short>(y);
        uchar *p = view.ptr<uchar>(y);
        for (int x = 0; x < mask.cols; ++x) {
            if (!m[x])
                continue;
            // Graphite darkens whatever lies under it, printed ink included.
            const int v = std::clamp(base + g[x] + int(slope * x), 0, 100);
            for (int c = 0; c < channels; ++c)
                p[x * channels + c] = uchar((p[x * channels + c] * v + 127) / 255);
        }
    }
}

// Handwriting-like pencil lines inside a subjective block.
void drawScribbles(cv::Mat &page, const QRect &block, int dpi, quint64 key)
{
    const QRect inner = clipTo(block.adjusted(block.width() / 8, block.height() / 6, -block.width() / 8,
                                              -block.height() / 6), page);
    if (inner.width() < 10 || inner.height() < 10)
        return;
    cv::RNG rng(key);
    const int lines = std::max(1, std::min(5, inner.height() / std::max(1, roundi(0.3 * dpi))));
    const int thickness = std::max(2, roundi(dpi / 75.0));
    const int step = std::max(4, roundi(0.08 * dpi));
    for (int l = 0; l < lines; ++l) {
        const int rowY = inner.y() + (l * 2 + 1) * inner.height() / (2 * lines);
        std::vector<cv::Point> pts;
        int x = inner.x() + rng.uniform(0, std::max(1, inner.width() / 6));
        const int end = inner.right() - rng.uniform(0, std::max(1, inner.width() / 4));
        while (x < end) {
            const int amp = std::max(2, roundi(0.06 * dpi));
            const int y = std::clamp(rowY + rng.uniform(-amp, amp + 1), inner.top(), inner.bottom());
            pts.emplace_back(x, y);
            x += rng.uniform(step / 2, step + 1);
        }
        if (pts.size() >= 2)
            cv::polylines(page, pts, false, cv::Scalar::all(rng.uniform(35, 70)), thickness, cv::LINE_AA);
    }
}

// Binarisation of the printed-text patch: Otsu over the grey levels, but a
// very light patch is cut at 180 so faint print is not lost.
int patchOtsu(const cv::Mat &grey)
{
    double hist[256] = {0};
    for (int y = 0; y < grey.rows; ++y) {
        const uchar *p = grey.ptr<uchar>(y);
        for (int x = 0; x < grey.cols; ++x)
            hist[p[x]] += 1;
    }
    const double total = double(grey.total());
    if (total <= 0)
        return 0;
    double mean = 0;
    for (int i = 0; i < 256; ++i)
        mean += i * hist[i] / total;
    double w0 = 0, s0 = 0, best = 0;
    int bestT = 0;
    for (int t = 0; t < 256; ++t) {
        w0 += hist[t] / total;
        s0 += t * hist[t] / total;
        const double w1 = 1.0 - w0;
        if (w0 <= 0 || w1 <= 1e-12)
            continue;
        const double m0 = s0 / w0;
        const double m1 = (mean - s0) / w1;
        const double var = w0 * (m0 - mean) * (m0 - mean) + w1 * (m1 - mean) * (m1 - mean);
        if (var > best) {
            best = var;
            bestT = t;
        }
    }
    return bestT;
}

const char *utf8(const QString &s, QByteArray &keep)
{
    keep = s.toUtf8();
    return keep.constData();
}

void setRect(tinyxml2::XMLElement *e, const QRect &r)
{
    e->SetAttribute("X", r.x());
    e->SetAttribute("Y", r.y());
    e->SetAttribute("Width", r.width());
    e->SetAttribute("Height", r.height());
}

tinyxml2::XMLElement *section(tinyxml2::XMLElement *page, const char *type)
{
    tinyxml2::XMLElement *e = page->InsertNewChildElement("Section");
    e->SetAttribute("Type", type);
    return e;
}

QString letters(int optionCount, const QString &marked)
{
    QVector<bool> on(optionCount, false);
    for (QChar c : marked) {
        const int i = c.unicode() - 'A';
        if (i >= 0 && i < optionCount)
            on[i] = true;
    }
    QString out;
    for (int i = 0; i < optionCount; ++i)
        if (on[i])
            out += QChar('A' + i);
    return out;
}

} // namespace

// ---------------------------------------------------------------- SheetSpec

QRect SheetSpec::Code::bubbleRect(int position, int digit) const
{
    const int bw = bubble.width();
    const int bh = bubble.height();
    int row = 0;
    int col = 0;
    if (direction == 1) {
        const float xStep = float(area.width() - bw) / 9.0f;
        const float yStep = length > 1 ? float(area.height() - bh) / float(length - 1) : 0.0f;
        row = int(float(position) * yStep);
        col = int(float(digit) * xStep);
    } else {
        const float xStep = length > 1 ? float(area.width() - bw) / float(length - 1) : 0.0f;
        const float yStep = float(area.height() - bh) / 9.0f;
        row = int(float(digit) * yStep);
        col = int(float(position) * xStep);
    }
    return QRect(area.x() + col, area.y() + row, bw, bh);
}

SheetSpec::Code SheetSpec::Code::bubbles(int length, int direction, QPoint topLeft, QSize bubble,
                                         int columnPitch, int rowPitch)
{
    Code c;
    c.kind = CodeBubbles;
    c.direction = direction;
    c.length = length;
    c.bubble = bubble;
    const int columns = direction == 1 ? 10 : length;
    const int rows = direction == 1 ? length : 10;
    c.area = QRect(topLeft, QSize((columns - 1) * columnPitch + bubble.width(),
                                  (rows - 1) * rowPitch + bubble.height()));
    return c;
}

SheetSpec::Code SheetSpec::Code::barcode(int length, int direction, QPoint topLeft, int module, int barHeight,
                                         int margin)
{
    Code c;
    c.kind = CodeBarcode;
    c.direction = direction;
    c.length = length;
    // The picture library may draw more than one pixel per module unit, so
    // measure its narrowest bar once and scale the arguments to hit the
    // requested pixel sizes.
    const cv::Mat probe = BarcodeImage::render(BarcodeImage::Code128, QStringLiteral("8"), 1, 8);
    int unit = 1;
    if (!probe.empty()) {
        const uchar *row = probe.ptr<uchar>(probe.rows / 2);
        int best = probe.cols;
        for (int x = 0; x < probe.cols;) {
            if (row[x] >= 128) {
                ++x;
                continue;
            }
            int end = x;
            while (end < probe.cols && row[end] < 128)
                ++end;
            best = std::min(best, end - x);
            x = end;
        }
        unit = std::max(1, best);
    }
    c.barModule = std::max(1, roundi(double(module) / unit));
    c.barHeight = std::max(1, roundi(double(barHeight) / unit));
    // Odd digit counts need one more symbol than even ones; size for the larger.
    const cv::Mat sample = BarcodeImage::render(BarcodeImage::Code128, QString(std::max(1, length | 1), QChar('8')),
                                                c.barModule, c.barHeight);
    QSize s(sample.cols + 2 * margin, sample.rows + 2 * margin);
    if (direction == 1)
        s.transpose();
    c.area = QRect(topLeft, s);
    return c;
}

QRect SheetSpec::ObjectBlock::itemRect(int item) const
{
    const int n = itemEnd - itemStart;
    const int k = item - itemStart;
    if (direction != 0) {
        const float step = n ? float(area.width() - bubble.width()) / float(n) : float(area.width());
        return QRect(area.x() + int(float(k) * step), area.y(), bubble.width(), area.height());
    }
    const float step = n ? float(area.height() - bubble.height()) / float(n) : float(area.height());
    return QRect(area.x(), area.y() + int(float(k) * step), area.width(), bubble.height());
}

QRect SheetSpec::ObjectBlock::bubbleRect(int item, int option) const
{
    const QRect strip = itemRect(item);
    const int n = optionCount;
    if (direction == 0) {
        const float step = n > 1 ? float(strip.width() - bubble.width()) / float(n - 1) : 0.0f;
        return QRect(strip.x() + int(float(option) * step), strip.y(), bubble.width(), bubble.height());
    }
    const float step = n > 1 ? float(strip.height() - bubble.height()) / float(n - 1) : 0.0f;
    return QRect(strip.x(), strip.y() + int(float(option) * step), bubble.width(), bubble.height());
}

SheetSpec::ObjectBlock SheetSpec::ObjectBlock::regular(int page, int itemStart, int itemEnd, int optionCount,
                                                       int direction, QPoint topLeft, QSize bubble,
                                                       int optionPitch, int itemPitch, int optional)
{
    ObjectBlock b;
    b.page = page;
    b.itemStart = itemStart;
    b.itemEnd = itemEnd;
    b.optionCount = optionCount;
    b.direction = direction;
    b.bubble = bubble;
    b.optional = optional;
    const int items = itemEnd - itemStart + 1;
    if (direction == 0)
        b.area = QRect(topLeft, QSize((optionCount - 1) * optionPitch + bubble.width(),
                                      (items - 1) * itemPitch + bubble.height()));
    else
        b.area = QRect(topLeft, QSize((items - 1) * itemPitch + bubble.width(),
                                      (optionCount - 1) * optionPitch + bubble.height()));
    return b;
}

SheetSpec::IrregularQuestion SheetSpec::IrregularQuestion::make(int page, int item, const QVector<QRect> &options,
                                                                int pad, int optional)
{
    IrregularQuestion q;
    q.page = page;
    q.item = item;
    q.options = options;
    q.optional = optional;
    QRect bound;
    for (const QRect &r : options)
        bound = bound.united(r);
    q.area = bound.adjusted(-pad, -pad, pad, pad);
    return q;
}

QRect SheetSpec::OptionalGroup::bubbleRect(int index) const
{
    const int w = std::min(bubble.width(), area.width());
    const int h = std::min(bubble.height(), area.height());
    const int n = candidates.size();
    const float step = n > 1 ? float(area.width() - w) / float(n - 1) : 0.0f;
    return QRect(area.x() + int(float(index) * step), area.y(), w, h);
}

SheetSpec::OptionalGroup SheetSpec::OptionalGroup::make(int page, const QVector<int> &candidates,
                                                        int defaultCandidate, QPoint topLeft, QSize bubble,
                                                        int pitch)
{
    OptionalGroup g;
    g.page = page;
    g.candidates = candidates;
    g.defaultCandidate = defaultCandidate;
    g.bubble = bubble;
    g.area = QRect(topLeft, QSize((std::max(1, int(candidates.size())) - 1) * pitch + bubble.width(),
                                  bubble.height()));
    return g;
}

QSize SheetSpec::a4(int dpi)
{
    return QSize(roundi(8.27 * dpi), roundi(11.69 * dpi));
}

int SheetSpec::px(double inches) const
{
    return roundi(inches * dpi);
}

QSize SheetSpec::textBlockSize(const QStringList &lines, int dpi)
{
    QSize s;
    layoutText(lines, dpi, &s);
    return s;
}

SheetSpec SheetSpec::minimal(AnchorKind anchorKind, CodeKind codeKind, int pages, int dpi, int codeDirection)
{
    SheetSpec s;
    s.pageCount = std::max(1, pages);
    s.dpi = dpi;
    s.pageSize = a4(dpi);
    s.anchorKind = anchorKind;
    const int W = s.pageSize.width();
    auto R = [&s](double x, double y, double w, double h) {
        return QRect(s.px(x), s.px(y), s.px(w), s.px(h));
    };
    auto centred = [](const QRect &outer, QSize size) {
        return QRect(outer.x() + (outer.width() - size.width()) / 2,
                     outer.y() + (outer.height() - size.height()) / 2, size.width(), size.height());
    };

    for (int p = 0; p < s.pageCount; ++p) {
        PageAnchor a;
        a.textLines = QStringList{
            QStringLiteral("FINAL EXAMINATION 2024"),
            QStringLiteral("Mathematics - Paper II (Form B7)"),
            QStringLiteral("Use a 2B pencil; fill each bubble fully."),
            QStringLiteral("Page %1 of %2   Sheet No. 4711-Q").arg(p + 1).arg(s.pageCount),
        };
        const QSize ts = textBlockSize(a.textLines, dpi);
        a.textRect = QRect(QPoint((W - ts.width()) / 2, s.px(0.3)), ts);
        if (anchorKind == PrintedText) {
            const QSize search(roundi(ts.width() * 1.75), roundi(ts.height() * 1.75));
            a.textSearch = centred(a.textRect, search).intersected(pageRect(s.pageSize));
        } else {
            const QSize block(s.px(0.3), s.px(0.18));
            // Room for a 3 degree turn plus a shift of a few millimetres.
            a.searchA = R(0.15, 0.15, 1.3, 1.0);
            a.searchB = QRect(W - s.px(0.15) - s.px(1.3), s.px(0.15), s.px(1.3), s.px(1.0));
            a.blockA = centred(a.searchA, block);
            a.blockB = centred(a.searchB, block);
        }
        s.anchors << a;

        const QSize square(s.px(0.16), s.px(0.16));
        CornerCheck left;
        left.page = p + 1;
        left.name = QStringLiteral("左下角");
        // Corner checks run before deskewing: far from the centre a turn moves
        // the points mostly sideways.
        left.search = R(0.15, 10.6, 1.3, 0.9);
        left.block = centred(left.search, square);
        CornerCheck right = left;
        right.name = QStringLiteral("右下角");
        right.search = QRect(W - s.px(0.15) - s.px(1.3), s.px(10.6), s.px(1.3), s.px(0.9));
        right.block = centred(right.search, square);
        s.cornerChecks << left << right;
    }

    const QPoint codeAt(s.px(0.9), s.px(1.75));
    if (codeKind == CodeBarcode)
        s.code = Code::barcode(10, codeDirection, codeAt, std::max(2, roundi(dpi / 75.0)), s.px(0.45),
                               s.px(0.15));
    else
        s.code = Code::bubbles(10, codeDirection, codeAt, QSize(s.px(0.2), s.px(0.12)), s.px(0.28), s.px(0.2));
    return s;
}

SheetSpec SheetSpec::standard(AnchorKind anchorKind, CodeKind codeKind, int pages, int dpi, int codeDirection)
{
    SheetSpec s = minimal(anchorKind, codeKind, pages, dpi, codeDirection);
    auto P = [&s](double x, double y) { return QPoint(s.px(x), s.px(y)); };
    auto R = [&s](double x, double y, double w, double h) {
        return QRect(s.px(x), s.px(y), s.px(w), s.px(h));
    };
    const QSize bubble(s.px(0.2), s.px(0.12));
    auto B = [&](double x, double y) { return QRect(P(x, y), bubble); };

    s.hasAbsentMark = true;
    s.absentMark = R(4.4, 1.75, 0.45, 0.3);

    s.objectBlocks << ObjectBlock::regular(1, 1, 10, 4, 0, P(1.0, 4.2), bubble, s.px(0.3), s.px(0.2));
    s.objectBlocks << ObjectBlock::regular(1, 11, 15, 6, 1, P(2.9, 4.4), bubble, s.px(0.2), s.px(0.35));
    s.irregularQuestions << IrregularQuestion::make(
        1, 21, {B(5.0, 4.4), B(5.45, 4.4), B(5.9, 4.55), B(5.0, 4.85), B(5.6, 5.0)}, s.px(0.06));
    s.subjectBlocks << SubjectBlock{1, 1, R(0.6, 8.9, 7.0, 1.5), 0};

    if (s.pageCount >= 2) {
        s.objectBlocks << ObjectBlock::regular(2, 16, 20, 2, 0, P(1.0, 1.7), bubble, s.px(0.3), s.px(0.2));
        s.objectBlocks << ObjectBlock::regular(2, 24, 27, 16, 0, P(2.5, 1.7), bubble, s.px(0.28), s.px(0.2));
        s.subjectBlocks << SubjectBlock{2, 1, R(0.6, 2.9, 7.0, 3.2), 0};
        s.subjectBlocks << SubjectBlock{2, 2, R(0.6, 8.9, 7.0, 1.5), 0};
    }
    for (int p = 3; p <= s.pageCount; ++p)
        s.subjectBlocks << SubjectBlock{p, 1, R(0.6, 1.7, 7.0, 4.0), 0};

    // The optional group with its own questions and blocks.
    const int op = s.pageCount >= 2 ? 2 : 1;
    s.optionalGroups << OptionalGroup::make(op, {22, 23}, 22, P(1.6, 6.4), bubble, s.px(0.6));
    s.objectBlocks << ObjectBlock::regular(op, 31, 33, 4, 0, P(1.0, 6.95), bubble, s.px(0.3), s.px(0.2), 22);
    s.irregularQuestions << IrregularQuestion::make(op, 34, {B(3.0, 6.95), B(3.45, 7.1), B(3.9, 6.95)},
                                                    s.px(0.06), 23);
    s.objectBlocks << ObjectBlock::regular(op, 35, 37, 3, 1, P(4.5, 6.95), bubble, s.px(0.2), s.px(0.35), 23);
    s.subjectBlocks << SubjectBlock{op, 5, R(0.6, 7.65, 3.4, 1.1), 22};
    s.subjectBlocks << SubjectBlock{op, 6, R(4.2, 7.65, 3.4, 1.1), 23};
    return s;
}

SheetSpec SheetSpec::benchmark(AnchorKind anchorKind, int dpi)
{
    SheetSpec s = minimal(anchorKind, CodeBubbles, 2, dpi, 0);
    s.cornerChecks.clear();
    auto R = [&s](double x, double y, double w, double h) {
        return QRect(s.px(x), s.px(y), s.px(w), s.px(h));
    };
    const QSize bubble(s.px(0.2), s.px(0.12));
    s.hasAbsentMark = true;
    s.absentMark = R(4.4, 1.75, 0.45, 0.3);
    for (int c = 0; c < 3; ++c)
        s.objectBlocks << ObjectBlock::regular(1, 1 + 20 * c, 20 + 20 * c, 4, 0,
                                               QPoint(s.px(1.0 + 2.6 * c), s.px(4.2)), bubble, s.px(0.3),
                                               s.px(0.2));
    s.subjectBlocks << SubjectBlock{1, 1, R(0.6, 8.4, 3.4, 2.0), 0};
    s.subjectBlocks << SubjectBlock{1, 2, R(4.2, 8.4, 3.4, 2.0), 0};
    for (int i = 0; i < 4; ++i)
        s.subjectBlocks << SubjectBlock{2, i + 1, R(0.6, 1.5 + 2.3 * i, 7.0, 2.0), 0};
    return s;
}

QPoint SheetSpec::anchorCenterA(int page) const
{
    const QRect b = anchors.value(page - 1).blockA;
    return QPoint(b.x() + b.width() / 2, b.y() + b.height() / 2);
}

QPoint SheetSpec::anchorCenterB(int page) const
{
    const QRect b = anchors.value(page - 1).blockB;
    return QPoint(b.x() + b.width() / 2, b.y() + b.height() / 2);
}

QRect SheetSpec::patchRect(int page) const
{
    return anchors.value(page - 1).textRect.intersected(pageRect(pageSize));
}

QPoint SheetSpec::textCenter(int page) const
{
    const QRect r = patchRect(page);
    return QPoint(r.x() + r.width() / 2, r.y() + r.height() / 2);
}

QPoint SheetSpec::pageOrigin(int page) const
{
    return anchorKind == PrintedText ? textCenter(page) : anchorCenterA(page);
}

QVector<int> SheetSpec::objectiveItems() const
{
    QVector<int> out;
    for (bool optionalPass : {false, true}) {
        for (const ObjectBlock &b : objectBlocks)
            if ((b.optional != 0) == optionalPass)
                for (int i = b.itemStart; i <= b.itemEnd; ++i)
                    out << i;
        for (const IrregularQuestion &q : irregularQuestions)
            if ((q.optional != 0) == optionalPass)
                out << q.item;
    }
    return out;
}

bool SheetSpec::isOptionalItem(int item) const
{
    for (const ObjectBlock &b : objectBlocks)
        if (b.contains(item))
            return b.optional != 0;
    for (const IrregularQuestion &q : irregularQuestions)
        if (q.item == item)
            return q.optional != 0;
    return false;
}

int SheetSpec::optionCount(int item) const
{
    for (const ObjectBlock &b : objectBlocks)
        if (b.contains(item))
            return b.optionCount;
    for (const IrregularQuestion &q : irregularQuestions)
        if (q.item == item)
            return q.options.size();
    return 0;
}

int SheetSpec::itemPage(int item) const
{
    for (const ObjectBlock &b : objectBlocks)
        if (b.contains(item))
            return b.page;
    for (const IrregularQuestion &q : irregularQuestions)
        if (q.item == item)
            return q.page;
    return 0;
}

QRect SheetSpec::bubbleRect(int item, int option) const
{
    for (const ObjectBlock &b : objectBlocks)
        if (b.contains(item))
            return option >= 0 && option < b.optionCount ? b.bubbleRect(item, option) : QRect();
    for (const IrregularQuestion &q : irregularQuestions)
        if (q.item == item)
            return q.options.value(option);
    return QRect();
}

QRect SheetSpec::itemArea(int item) const
{
    for (const ObjectBlock &b : objectBlocks)
        if (b.contains(item))
            return b.itemRect(item);
    for (const IrregularQuestion &q : irregularQuestions)
        if (q.item == item)
            return q.area;
    return QRect();
}

const SheetSpec::SubjectBlock *SheetSpec::subjectBlock(int page, int sectionId) const
{
    for (const SubjectBlock &b : subjectBlocks)
        if (b.page == page && b.sectionId == sectionId)
            return &b;
    return nullptr;
}

QString SheetSpec::expectedAnswer(const StudentMarks &marks, int item) const
{
    const QString l = letters(optionCount(item), marks.answers.value(item));
    return l.isEmpty() ? QStringLiteral("X") : l;
}

QString SheetSpec::expectedOptionalChoice(const StudentMarks &marks, int groupIndex) const
{
    const OptionalGroup &g = optionalGroups.at(groupIndex);
    QSet<int> marked;
    for (int c : marks.optionalChoices.value(groupIndex))
        if (g.candidates.contains(c))
            marked.insert(c);
    return QString::number(marked.size() == 1 ? *marked.begin() : g.defaultCandidate);
}

QString SheetSpec::expectedCode(const StudentMarks &marks) const
{
    if (code.kind == CodeBarcode)
        return marks.code;
    QString out;
    for (int p = 0; p < code.length; ++p) {
        const QChar c = p < marks.code.size() ? marks.code.at(p) : QChar();
        out += (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ? c : QChar('X');
    }
    return out;
}

// ------------------------------------------------------------- StudentMarks

StudentMarks StudentMarks::random(const SheetSpec &spec, quint32 variant)
{
    StudentMarks m;
    m.variant = variant;
    m.scribbles = true;
    cv::RNG rng(mixKey(variant, 17, 29, 43));
    const int digits = spec.code.length > 0 ? spec.code.length : 10;
    for (int i = 0; i < digits; ++i)
        m.code += QChar('0' + rng.uniform(0, 10));
    for (int item : spec.objectiveItems()) {
        const int n = spec.optionCount(item);
        if (n <= 0)
            continue;
        const double r = rng.uniform(0.0, 1.0);
        QString a;
        if (r < 0.06) {
            // left blank
        } else if (r < 0.10 && n >= 2) {
            const int first = rng.uniform(0, n);
            int second = rng.uniform(0, n - 1);
            if (second >= first)
                ++second;
            a = letters(n, QString(QChar('A' + first)) + QChar('A' + second));
        } else {
            a = QChar('A' + rng.uniform(0, n));
        }
        m.answers.insert(item, a);
    }
    for (int g = 0; g < spec.optionalGroups.size(); ++g) {
        const QVector<int> &c = spec.optionalGroups.at(g).candidates;
        if (c.isEmpty())
            continue;
        const double r = rng.uniform(0.0, 1.0);
        if (r < 0.05)
            m.optionalChoices.insert(g, {});
        else if (r < 0.10 && c.size() >= 2)
            m.optionalChoices.insert(g, {c.at(0), c.at(1)});
        else
            m.optionalChoices.insert(g, {c.at(rng.uniform(0, c.size()))});
    }
    return m;
}

// --------------------------------------------------------------- Distortion

bool Distortion::movesGeometry() const
{
    return rotationDegrees != 0.0 || dx != 0.0 || dy != 0.0 || scale != 1.0 || scaleX != 1.0 || scaleY != 1.0;
}

cv::Mat Distortion::affine(QSize pageSize) const
{
    const cv::Point2f centre(float(pageSize.width() * 0.5), float(pageSize.height() * 0.5));
    cv::Mat m = cv::getRotationMatrix2D(centre, rotationDegrees, scale);
    if (scaleX != 1.0 || scaleY != 1.0) {
        // Stretch along the page's own axes first, then turn: the matrix's
        // columns take the per-axis factors, and the centre stays put.
        for (int r = 0; r < 2; ++r) {
            m.at<double>(r, 0) *= scaleX;
            m.at<double>(r, 1) *= scaleY;
            m.at<double>(r, 2) = (r == 0 ? centre.x : centre.y) - m.at<double>(r, 0) * centre.x
                                 - m.at<double>(r, 1) * centre.y;
        }
    }
    m.at<double>(0, 2) += dx;
    m.at<double>(1, 2) += dy;
    return m;
}

QPointF Distortion::map(QPointF p, QSize pageSize) const
{
    const cv::Mat m = affine(pageSize);
    return QPointF(m.at<double>(0, 0) * p.x() + m.at<double>(0, 1) * p.y() + m.at<double>(0, 2),
                   m.at<double>(1, 0) * p.x() + m.at<double>(1, 1) * p.y() + m.at<double>(1, 2));
}

QString Distortion::fileSuffix() const
{
    return jpegQuality > 0 ? QStringLiteral("jpg") : QStringLiteral("png");
}

// ------------------------------------------------------------ SheetRenderer

SheetRenderer::SheetRenderer(const SheetSpec &spec) : m_spec(spec)
{
    m_patches.resize(m_spec.pageCount);
    if (m_spec.anchorKind != SheetSpec::PrintedText)
        return;
    for (int p = 0; p < m_spec.pageCount; ++p) {
        const QRect r = m_spec.patchRect(p + 1);
        if (r.isEmpty())
            continue;
        const cv::Mat blank = blankPage(p, false);
        cv::Mat patch = blank(toCv(r)).clone();
        int t = patchOtsu(patch);
        if (t >= 200)
            t = 180;
        cv::threshold(patch, patch, t, 255, cv::THRESH_BINARY);
        m_patches[p] = patch;
    }
}

cv::Mat SheetRenderer::textPatch(int pageIndex) const
{
    return m_patches.value(pageIndex);
}

void SheetRenderer::drawForm(cv::Mat &page, int pageIndex, bool redPrint) const
{
    const SheetSpec &s = m_spec;
    const int pageNo = pageIndex + 1;
    const Ink ink{page.channels() == 3, redPrint};
    const cv::Scalar form = ink.form();
    const Labeller label{page, s.dpi, form};
    const int gap = s.px(0.08);

    const SheetSpec::PageAnchor anchor = s.anchors.value(pageIndex);
    drawTextBlock(page, anchor.textLines, anchor.textRect.topLeft(), s.dpi,
                  s.anchorKind == SheetSpec::PrintedText ? ink.black() : form);
    if (s.anchorKind == SheetSpec::BlackRectangles) {
        fillRect(page, anchor.blockA, ink.black());
        fillRect(page, anchor.blockB, ink.black());
    }
    for (const SheetSpec::CornerCheck &c : s.cornerChecks)
        if (c.page == pageNo)
            fillRect(page, c.block, ink.black());

    if (pageNo == 1) {
        const SheetSpec::Code &code = s.code;
        if (code.kind == SheetSpec::CodeBubbles) {
            const int t = std::max(1, roundi(s.dpi / 150.0));
            for (int p = 0; p < code.length; ++p) {
                for (int d = 0; d < 10; ++d)
                    drawBubble(page, code.bubbleRect(p, d), s.dpi, form);
                // A box per position for the written digit.
                const QRect first = code.bubbleRect(p, 0);
                QRect box;
                if (code.direction == 1)
                    box = QRect(code.area.x() - s.px(0.38), first.y() - s.px(0.03), s.px(0.25),
                                first.height() + s.px(0.06));
                else
                    box = QRect(first.x() - s.px(0.02), code.area.y() - s.px(0.3), first.width() + s.px(0.04),
                                s.px(0.22));
                cv::rectangle(page, toCv(box), form, t, cv::LINE_8);
            }
            for (int d = 0; d < 10; ++d) {
                const QRect b = code.bubbleRect(0, d);
                if (code.direction == 1)
                    label.centred(QString::number(d), b.center().x(), code.area.y() - s.px(0.08) - s.px(0.03));
                else
                    label.leftOf(QString::number(d), code.area.x(), b.center().y(), gap);
            }
        } else {
            label.leftOf(QStringLiteral("ID"), code.area.x(), code.area.center().y(), gap / 2);
        }
        if (s.hasAbsentMark) {
            const QRect a = s.absentMark;
            const int inset = std::max(2, std::min(a.width(), a.height()) / 12);
            cv::rectangle(page, toCv(a.adjusted(inset, inset, -inset - 1, -inset - 1)), form,
                          std::max(1, roundi(s.dpi / 150.0)), cv::LINE_8);
            label.centred(QStringLiteral("ABSENT"), a.center().x(), a.y() - s.px(0.1));
        }
    }

    for (const SheetSpec::ObjectBlock &b : s.objectBlocks) {
        if (b.page != pageNo)
            continue;
        for (int item = b.itemStart; item <= b.itemEnd; ++item) {
            for (int o = 0; o < b.optionCount; ++o)
                drawBubble(page, b.bubbleRect(item, o), s.dpi, form);
            const QRect strip = b.itemRect(item);
            if (b.direction == 0)
                label.leftOf(QString::number(item), strip.x(), strip.center().y(), gap);
            else
                label.centred(QString::number(item), strip.center().x(), b.area.y() - s.px(0.1));
        }
        for (int o = 0; o < b.optionCount; ++o) {
            const QRect r = b.bubbleRect(b.itemStart, o);
            if (b.direction == 0)
                label.centred(QString(QChar('A' + o)), r.center().x(), b.area.y() - s.px(0.08));
            else
                label.leftOf(QString(QChar('A' + o)), b.area.x(), r.center().y(), gap / 2);
        }
    }
    for (const SheetSpec::IrregularQuestion &q : s.irregularQuestions) {
        if (q.page != pageNo)
            continue;
        for (int o = 0; o < q.options.size(); ++o)
            drawBubble(page, q.options.at(o), s.dpi, form);
        label.leftOf(QString::number(q.item), q.area.x(), q.area.center().y(), gap);
    }
    for (const SheetSpec::OptionalGroup &g : s.optionalGroups) {
        if (g.page != pageNo)
            continue;
        for (int i = 0; i < g.candidates.size(); ++i) {
            const QRect r = g.bubbleRect(i);
            drawBubble(page, r, s.dpi, form);
            label.centred(QString::number(g.candidates.at(i)), r.center().x(), g.area.bottom() + s.px(0.1));
        }
        label.leftOf(QStringLiteral("CHOOSE"), g.area.x(), g.area.center().y(), gap);
    }
    for (const SheetSpec::SubjectBlock &b : s.subjectBlocks) {
        if (b.page != pageNo)
            continue;
        cv::rectangle(page, toCv(b.rect.adjusted(0, 0, -1, -1)), form, std::max(1, roundi(s.dpi / 150.0)),
                      cv::LINE_8);
        const QString name = b.optional ? QStringLiteral("Q%1 (opt %2)").arg(b.sectionId).arg(b.optional)
                                        : QStringLiteral("Q%1").arg(b.sectionId);
        const cv::Size ls = label.size(name);
        label.centred(name, b.rect.x() + s.px(0.08) + ls.width / 2, b.rect.y() + s.px(0.08) + ls.height / 2);
    }
}

void SheetRenderer::drawMarks(cv::Mat &page, int pageIndex, const StudentMarks &marks) const
{
    const SheetSpec &s = m_spec;
    const int pageNo = pageIndex + 1;
    const quint32 style = marks.variant;

    if (pageNo == 1) {
        const SheetSpec::Code &code = s.code;
        if (code.kind == SheetSpec::CodeBubbles) {
            for (int p = 0; p < code.length && p < marks.code.size(); ++p) {
                const QChar c = marks.code.at(p);
                if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
                    drawPencil(page, code.bubbleRect(p, c.unicode() - '0'), mixKey(style, 1, p, 0),
                               MarkShape::Any);
            }
        } else if (!marks.code.isEmpty()) {
            // The code label is printed black whatever the form colour is.
            cv::Mat bar = BarcodeImage::render(BarcodeImage::Code128, marks.code, code.barModule, code.barHeight);
            if (!bar.empty()) {
                if (code.direction == 1)
                    cv::rotate(bar, bar, cv::ROTATE_90_COUNTERCLOCKWISE);
                const QRect at(code.area.x() + (code.area.width() - bar.cols) / 2,
                               code.area.y() + (code.area.height() - bar.rows) / 2, bar.cols, bar.rows);
                const QRect c = clipTo(at, page);
                if (!c.isEmpty()) {
                    cv::Mat src = bar(cv::Rect(c.x() - at.x(), c.y() - at.y(), c.width(), c.height()));
                    if (page.channels() == 3)
                        cv::cvtColor(src, src, cv::COLOR_GRAY2BGR);
                    cv::Mat dst = page(toCv(c));
                    cv::min(dst, src, dst);
                }
            }
        }
        if (s.hasAbsentMark && marks.absent) {
            const QRect a = s.absentMark;
            const int inset = std::max(1, std::min(a.width(), a.height()) / 14);
            drawPencil(page, a.adjusted(inset, inset, -inset, -inset), mixKey(style, 2, 0, 0), MarkShape::Rectangle);
        }
    }

    for (auto it = marks.answers.constBegin(); it != marks.answers.constEnd(); ++it) {
        const int item = it.key();
        if (s.itemPage(item) != pageNo)
            continue;
        const QString l = letters(s.optionCount(item), it.value());
        for (QChar c : l) {
            const int o = c.unicode() - 'A';
            drawPencil(page, s.bubbleRect(item, o), mixKey(style, 3, item, o), MarkShape::Any);
        }
    }

    for (auto it = marks.optionalChoices.constBegin(); it != marks.optionalChoices.constEnd(); ++it) {
        if (it.key() < 0 || it.key() >= s.optionalGroups.size())
            continue;
        const SheetSpec::OptionalGroup &g = s.optionalGroups.at(it.key());
        if (g.page != pageNo)
            continue;
        for (int candidate : it.value()) {
            const int i = g.candidates.indexOf(candidate);
            if (i >= 0)
                drawPencil(page, g.bubbleRect(i), mixKey(style, 4, it.key(), i), MarkShape::Any);
        }
    }

    if (marks.scribbles)
        for (const SheetSpec::SubjectBlock &b : s.subjectBlocks)
            if (b.page == pageNo)
                drawScribbles(page, b.rect, s.dpi, mixKey(style, 5, b.page, b.sectionId));
}

cv::Mat SheetRenderer::blankPage(int pageIndex, bool redPrint) const
{
    cv::Mat page(m_spec.pageSize.height(), m_spec.pageSize.width(), redPrint ? CV_8UC3 : CV_8UC1,
                 cv::Scalar::all(255));
    drawForm(page, pageIndex, redPrint);
    return page;
}

cv::Mat SheetRenderer::renderPage(int pageIndex, const StudentMarks &marks, const Distortion &distortion) const
{
    cv::Mat page = blankPage(pageIndex, distortion.redPrint);
    drawMarks(page, pageIndex, marks);
    return distort(page, distortion, pageIndex);
}

cv::Mat SheetRenderer::distort(const cv::Mat &page, const Distortion &d, int pageIndex)
{
    cv::Mat out = page;
    if (d.movesGeometry()) {
        cv::Mat warped;
        cv::warpAffine(page, warped, d.affine(QSize(page.cols, page.rows)), page.size(), cv::INTER_LINEAR,
                       cv::BORDER_CONSTANT, cv::Scalar::all(255));
        out = warped;
    }
    if (d.blurKernel > 1) {
        const int k = d.blurKernel | 1;
        cv::Mat blurred;
        cv::GaussianBlur(out, blurred, cv::Size(k, k), 0);
        out = blurred;
    }
    if (d.noiseSigma > 0.0) {
        cv::RNG rng(mixKey(d.noiseVariant, 6, pageIndex, 0));
        cv::Mat noise(out.size(), CV_16SC(out.channels()));
        rng.fill(noise, cv::RNG::NORMAL, 0, d.noiseSigma);
        cv::Mat wide;
        out.convertTo(wide, CV_16S);
        wide += noise;
        cv::Mat noisy;
        wide.convertTo(noisy, CV_8U);
        out = noisy;
    }
    return out;
}

QByteArray SheetRenderer::templateXml() const
{
    using tinyxml2::XMLElement;
    const SheetSpec &s = m_spec;
    QByteArray keep;
    tinyxml2::XMLDocument doc;
    doc.InsertEndChild(doc.NewDeclaration());
    XMLElement *root = doc.NewElement("Lumbrisk");
    doc.InsertEndChild(root);
    root->SetAttribute("Name", utf8(s.name, keep));
    root->SetAttribute("Version", utf8(s.version, keep));
    XMLElement *pages = root->InsertNewChildElement("Pages");

    for (int p = 0; p < s.pageCount; ++p) {
        const int pageNo = p + 1;
        XMLElement *page = pages->InsertNewChildElement("Page");
        page->SetAttribute("ID", pageNo);
        page->SetAttribute("Width", s.pageSize.width());
        page->SetAttribute("Height", s.pageSize.height());

        const SheetSpec::PageAnchor a = s.anchors.value(p);
        XMLElement *anchor = section(page, "AnchorPoint");
        if (s.anchorKind == SheetSpec::PrintedText) {
            anchor->SetAttribute("AnchorType", "PrintText");
            const QRect r = s.patchRect(pageNo);
            XMLElement *t = anchor->InsertNewChildElement("PrintTextAnchor");
            setRect(t, a.textSearch);
            t->SetAttribute("CenterX", r.x() + r.width() / 2);
            t->SetAttribute("CenterY", r.y() + r.height() / 2);
            t->SetAttribute("MatX", r.x() - a.textSearch.x());
            t->SetAttribute("MatY", r.y() - a.textSearch.y());
            t->SetAttribute("MatRows", r.height());
            t->SetAttribute("MatCols", r.width());
            t->SetAttribute("MatData", utf8(TemplateFormat::encodeMatData(m_patches.value(p)), keep));
        } else {
            anchor->SetAttribute("AnchorType", "BlackRectangle");
            const QPoint ca = s.anchorCenterA(pageNo);
            const QPoint cb = s.anchorCenterB(pageNo);
            anchor->SetAttribute("AngleAB", utf8(TemplateFormat::formatAngleAB(ca.x(), ca.y(), cb.x(), cb.y()), keep));
            const struct { const char *name; QRect search, block; } blocks[] = {
                {"A", a.searchA, a.blockA}, {"B", a.searchB, a.blockB}};
            for (const auto &b : blocks) {
                XMLElement *e = anchor->InsertNewChildElement(b.name);
                setRect(e, b.search);
                e->SetAttribute("AnchorPointX", b.block.x() - b.search.x());
                e->SetAttribute("AnchorPointY", b.block.y() - b.search.y());
                e->SetAttribute("AnchorPointWidth", b.block.width());
                e->SetAttribute("AnchorPointHeight", b.block.height());
                e->SetAttribute("CenterX", b.block.x() + b.block.width() / 2);
                e->SetAttribute("CenterY", b.block.y() + b.block.height() / 2);
            }
        }

        for (const SheetSpec::CornerCheck &c : s.cornerChecks) {
            if (c.page != pageNo)
                continue;
            XMLElement *e = section(page, "CornerCheck");
            e->SetAttribute("Name", utf8(c.name, keep));
            setRect(e, c.search);
            e->SetAttribute("AnchorPointX", c.block.x() - c.search.x());
            e->SetAttribute("AnchorPointY", c.block.y() - c.search.y());
            e->SetAttribute("AnchorPointWidth", c.block.width());
            e->SetAttribute("AnchorPointHeight", c.block.height());
        }

        if (pageNo == 1) {
            XMLElement *e = section(page, "Code");
            if (s.code.kind == SheetSpec::CodeBarcode) {
                e->SetAttribute("CodeType", 1);
                e->SetAttribute("BarDirection", s.code.direction);
            } else {
                e->SetAttribute("CodeType", 0);
                e->SetAttribute("CodeLength", s.code.length);
                e->SetAttribute("NumberDirection", s.code.direction);
                e->SetAttribute("MarkPointWidth", s.code.bubble.width());
                e->SetAttribute("MarkPointHeight", s.code.bubble.height());
            }
            setRect(e, s.code.area);
            if (s.hasAbsentMark)
                setRect(section(page, "AbsentMark"), s.absentMark);
        }

        // Question sections, in a fixed order: plain regular and irregular
        // questions, then the optional groups with their questions and
        // blocks, then the subjective blocks.
        auto writeRegular = [&](const SheetSpec::ObjectBlock &b) {
            XMLElement *e = section(page, b.optional ? "OptionalObject" : "Object");
            e->SetAttribute("Abnormal", "0");
            if (b.optional)
                e->SetAttribute("Optional", b.optional);
            e->SetAttribute("ItemStart", b.itemStart);
            e->SetAttribute("ItemEnd", b.itemEnd);
            e->SetAttribute("OptionDirection", b.direction);
            e->SetAttribute("OptionCount", b.optionCount);
            e->SetAttribute("MarkPointWidth", b.bubble.width());
            e->SetAttribute("MarkPointHeight", b.bubble.height());
            setRect(e, b.area);
        };
        auto writeIrregular = [&](const SheetSpec::IrregularQuestion &q) {
            XMLElement *e = section(page, q.optional ? "OptionalObject" : "Object");
            e->SetAttribute("Abnormal", "1");
            if (q.optional)
                e->SetAttribute("Optional", q.optional);
            e->SetAttribute("Item", q.item);
            e->SetAttribute("OptionCount", q.writtenOptionCount < 0 ? int(q.options.size()) : q.writtenOptionCount);
            setRect(e, q.area);
            for (int i = 0; i < q.options.size(); ++i) {
                XMLElement *o = e->InsertNewChildElement("Option");
                o->SetAttribute("Index", i);
                o->SetAttribute("Option", QString(QChar('A' + i % 26)).toLatin1().constData());
                setRect(o, q.options.at(i));
            }
        };
        for (const SheetSpec::ObjectBlock &b : s.objectBlocks)
            if (b.page == pageNo && !b.optional)
                writeRegular(b);
        for (const SheetSpec::IrregularQuestion &q : s.irregularQuestions)
            if (q.page == pageNo && !q.optional)
                writeIrregular(q);
        for (const SheetSpec::OptionalGroup &g : s.optionalGroups) {
            if (g.page != pageNo)
                continue;
            XMLElement *e = section(page, "Optional");
            QStringList items;
            for (int c : g.candidates)
                items << QString::number(c);
            e->SetAttribute("Items", utf8(items.join(QLatin1Char(',')), keep));
            e->SetAttribute("DefaultItem", g.defaultCandidate);
            e->SetAttribute("MustDoItemCount", 1);
            setRect(e, g.area);
            e->SetAttribute("MarkPointWidth", std::min(g.bubble.width(), g.area.width()));
            e->SetAttribute("MarkPointHeight", std::min(g.bubble.height(), g.area.height()));
        }
        for (const SheetSpec::ObjectBlock &b : s.objectBlocks)
            if (b.page == pageNo && b.optional)
                writeRegular(b);
        for (const SheetSpec::IrregularQuestion &q : s.irregularQuestions)
            if (q.page == pageNo && q.optional)
                writeIrregular(q);
        for (const SheetSpec::SubjectBlock &b : s.subjectBlocks) {
            if (b.page != pageNo || !b.optional)
                continue;
            XMLElement *e = section(page, "OptionalSubject");
            e->SetAttribute("Optional", b.optional);
            e->SetAttribute("SubjectSectionID", b.sectionId);
            setRect(e, b.rect);
        }
        for (const SheetSpec::SubjectBlock &b : s.subjectBlocks) {
            if (b.page != pageNo || b.optional)
                continue;
            XMLElement *e = section(page, "Subject");
            e->SetAttribute("SubjectSectionID", b.sectionId);
            setRect(e, b.rect);
        }
    }

    if (!s.subjectConfig.isEmpty()) {
        XMLElement *config = root->InsertNewChildElement("SubjectConfig");
        config->SetAttribute("UpdateType", "1");
        for (const SheetSpec::SubjectConfigRow &r : s.subjectConfig) {
            XMLElement *e = config->InsertNewChildElement("Item");
            e->SetAttribute("ItemID", utf8(r.itemId, keep));
            e->SetAttribute("Alias", utf8(r.alias, keep));
            e->SetAttribute("Score", utf8(r.score, keep));
            e->SetAttribute("MarkCount", utf8(r.markCount, keep));
            e->SetAttribute("ErrorMargin", utf8(r.errorMargin, keep));
            e->SetAttribute("Pages", utf8(r.pages, keep));
            e->SetAttribute("Sections", utf8(r.sections, keep));
        }
    }

    tinyxml2::XMLPrinter printer;
    doc.Print(&printer);
    return QByteArray(printer.CStr(), printer.CStrSize() > 0 ? printer.CStrSize() - 1 : 0);
}

bool SheetRenderer::writeTemplate(const QString &path, bool complemented, QString *errorText) const
{
    QByteArray bytes = templateXml();
    if (complemented)
        bytes = TemplateFormat::complementBytes(bytes);
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size() || !f.commit()) {
        if (errorText)
            *errorText = QStringLiteral("cannot write %1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool SheetRenderer::writeImage(const QString &path, const cv::Mat &image, int jpegQuality, QString *errorText)
{
    std::vector<int> params;
    if (jpegQuality > 0)
        params = {cv::IMWRITE_JPEG_QUALITY, std::min(100, jpegQuality)};
    else
        params = {cv::IMWRITE_PNG_COMPRESSION, 3};
    bool ok = false;
    QString why;
    try {
        ok = !image.empty() && cv::imwrite(QFile::encodeName(path).toStdString(), image, params);
    } catch (const cv::Exception &e) {
        why = QString::fromStdString(e.msg);
    }
    if (!ok && errorText)
        *errorText = QStringLiteral("cannot write image %1 %2").arg(path, why).trimmed();
    return ok;
}

QStringList SheetRenderer::writeSheet(const QString &folder, const StudentMarks &marks, const Distortion &distortion,
                                      const QString &prefix, int firstNumber, QString *errorText) const
{
    if (!QDir().mkpath(folder)) {
        if (errorText)
            *errorText = QStringLiteral("cannot create folder %1").arg(folder);
        return {};
    }
    QStringList paths;
    const QDir dir(folder);
    for (int p = 0; p < m_spec.pageCount; ++p) {
        const QString path = dir.filePath(QStringLiteral("%1%2.%3")
                                              .arg(prefix)
                                              .arg(firstNumber + p, 6, 10, QLatin1Char('0'))
                                              .arg(distortion.fileSuffix()));
        if (!writeImage(path, renderPage(p, marks, distortion), distortion.jpegQuality, errorText))
            return {};
        paths << path;
    }
    return paths;
}
