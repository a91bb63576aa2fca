#include "anchors.h"
#include "debugflags.h"

#include <QtGlobal>
#include <immintrin.h>
#include <opencv2/core/utility.hpp>
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

bool referenceAlignment()
{
    return qEnvironmentVariableIsSet("OMR_REFERENCE_ALIGNMENT");
}

namespace {

// One bilinear sample with the fixed-point arithmetic of cv::warpAffine:
// source position (sx + fx / 32, sy + fy / 32), weights summing to 2^15
// (here 2^10, every weight being a multiple of 32), white outside the page.
inline uchar sampleAt(const uchar *s0, ptrdiff_t step, int w, int h, int sx, int sy, int fx, int fy)
{
    if (unsigned(sx) < unsigned(w - 1) && unsigned(sy) < unsigned(h - 1)) {
        const uchar *p = s0 + sy * step + sx;
        const int top = p[0] * (32 - fx) + p[1] * fx;
        const int bottom = p[step] * (32 - fx) + p[step + 1] * fx;
        return uchar((top * (32 - fy) + bottom * fy + 512) >> 10);
    }
    if (sx >= w || sx + 1 < 0 || sy >= h || sy + 1 < 0)
        return 255;
    auto at = [&](int px, int py) -> int {
        return unsigned(px) < unsigned(w) && unsigned(py) < unsigned(h) ? s0[py * step + px] : 255;
    };
    const int top = at(sx, sy) * (32 - fx) + at(sx + 1, sy) * fx;
    const int bottom = at(sx, sy + 1) * (32 - fx) + at(sx + 1, sy + 1) * fx;
    return uchar((top * (32 - fy) + bottom * fy + 512) >> 10);
}

// The deskew turn of a grey page, the same to the last bit as cv::warpAffine
// with INTER_LINEAR and a white border: source positions in 1/32 pixel from
// the same rounded inverse map, the same weights. The general routine builds
// coordinate and weight tables block by block and walks them again; here
// eight pixels are sampled at once straight from the map.
class TurnRows : public cv::ParallelLoopBody {
public:
    TurnRows(const cv::Mat &src, cv::Mat &dst, const double *inverse, const std::vector<int> &dx,
             const std::vector<int> &dy)
        : m_src(src), m_dst(dst), m_inv(inverse), m_dx(dx), m_dy(dy)
    {
    }

    __attribute__((target("avx2"))) void operator()(const cv::Range &rows) const override
    {
        const int w = m_src.cols;
        const int h = m_src.rows;
        const int cols = m_dst.cols;
        const ptrdiff_t step = ptrdiff_t(m_src.step[0]);
        const uchar *const s0 = m_src.data;
        const int *const dxs = m_dx.data();
        const int *const dys = m_dy.data();
        const __m256i lowByte = _mm256_set1_epi32(0xff);
        const __m256i thirtyTwo = _mm256_set1_epi32(32);
        const __m256i thirtyOne = _mm256_set1_epi32(31);
        const __m256i half = _mm256_set1_epi32(512);
        const __m256i minusOne = _mm256_set1_epi32(-1);
        // Eight samples at once need four source bytes of each row in the page.
        const __m256i lastX = _mm256_set1_epi32(w - 4);
        const __m256i lastY = _mm256_set1_epi32(h - 2);
        const __m256i stepV = _mm256_set1_epi32(int(step));
        const __m256i order = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
        for (int y = rows.start; y < rows.end; ++y) {
            uchar *d = m_dst.ptr<uchar>(y);
            // Row start in 1/1024 pixel, rounded to the nearest 1/32.
            const int x0 = cv::saturate_cast<int>((m_inv[1] * y + m_inv[2]) * 1024) + 16;
            const int y0 = cv::saturate_cast<int>((m_inv[4] * y + m_inv[5]) * 1024) + 16;
            const __m256i x0v = _mm256_set1_epi32(x0);
            const __m256i y0v = _mm256_set1_epi32(y0);
            int x = 0;
            for (; x + 8 <= cols; x += 8) {
                const __m256i fxAll = _mm256_srai_epi32(
                    _mm256_add_epi32(x0v, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dxs + x))), 5);
                const __m256i fyAll = _mm256_srai_epi32(
                    _mm256_add_epi32(y0v, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(dys + x))), 5);
                const __m256i sx = _mm256_srai_epi32(fxAll, 5);
                const __m256i sy = _mm256_srai_epi32(fyAll, 5);
                const __m256i outside = _mm256_or_si256(
                    _mm256_or_si256(_mm256_cmpgt_epi32(sx, lastX), _mm256_cmpgt_epi32(sy, lastY)),
                    _mm256_or_si256(_mm256_cmpgt_epi32(sx, minusOne) ^ minusOne,
                                    _mm256_cmpgt_epi32(sy, minusOne) ^ minusOne));
                if (!_mm256_testz_si256(outside, outside)) {
                    for (int k = x; k < x + 8; ++k) {
                        const int fx = (x0 + dxs[k]) >> 5;
                        const int fy = (y0 + dys[k]) >> 5;
                        d[k] = sampleAt(s0, step, w, h, fx >> 5, fy >> 5, fx & 31, fy & 31);
                    }
                    continue;
                }
                const __m256i fx = _mm256_and_si256(fxAll, thirtyOne);
                const __m256i fy = _mm256_and_si256(fyAll, thirtyOne);
                const __m256i offset = _mm256_add_epi32(_mm256_mullo_epi32(sy, stepV), sx);
                const __m256i top = _mm256_i32gather_epi32(reinterpret_cast<const int *>(s0), offset, 1);
                const __m256i bottom = _mm256_i32gather_epi32(reinterpret_cast<const int *>(s0 + step), offset, 1);
                const __m256i gx = _mm256_sub_epi32(thirtyTwo, fx);
                const __m256i t = _mm256_add_epi32(
                    _mm256_mullo_epi32(_mm256_and_si256(top, lowByte), gx),
                    _mm256_mullo_epi32(_mm256_and_si256(_mm256_srli_epi32(top, 8), lowByte), fx));
                const __m256i b = _mm256_add_epi32(
                    _mm256_mullo_epi32(_mm256_and_si256(bottom, lowByte), gx),
                    _mm256_mullo_epi32(_mm256_and_si256(_mm256_srli_epi32(bottom, 8), lowByte), fx));
                const __m256i v = _mm256_srai_epi32(
                    _mm256_add_epi32(_mm256_add_epi32(_mm256_mullo_epi32(t, _mm256_sub_epi32(thirtyTwo, fy)),
                                                      _mm256_mullo_epi32(b, fy)),
                                     half),
                    10);
                // 8 x 32 bits -> 8 bytes, in order.
                const __m256i words = _mm256_packus_epi32(v, v);
                const __m256i bytes = _mm256_packus_epi16(words, words);
                const __m256i ordered = _mm256_permutevar8x32_epi32(bytes, order);
                _mm_storel_epi64(reinterpret_cast<__m128i *>(d + x), _mm256_castsi256_si128(ordered));
            }
            for (; x < cols; ++x) {
                const int fx = (x0 + dxs[x]) >> 5;
                const int fy = (y0 + dys[x]) >> 5;
                d[x] = sampleAt(s0, step, w, h, fx >> 5, fy >> 5, fx & 31, fy & 31);
            }
        }
    }

private:
    const cv::Mat &m_src;
    cv::Mat &m_dst;
    const double *m_inv;
    const std::vector<int> &m_dx;
    const std::vector<int> &m_dy;
};

// Grey pages whose source positions fit the 16-bit coordinates of
// cv::remap, on a processor with AVX2; others take the general routine.
bool turnableHere(const cv::Mat &image, int interpolation)
{
    static const bool avx2 = __builtin_cpu_supports("avx2");
    return avx2 && !referenceAlignment() && image.type() == CV_8UC1
           && interpolation == cv::INTER_LINEAR && image.cols >= 4 && image.rows >= 2 && image.cols < 8192
           && image.rows < 8192;
}

void turnInto(const cv::Mat &src, cv::Mat &dst, const cv::Mat &forward)
{
    // The inverse map, computed as cv::warpAffine computes it.
    double m[6];
    for (int i = 0; i < 6; ++i)
        m[i] = forward.at<double>(i / 3, i % 3);
    double det = m[0] * m[4] - m[1] * m[3];
    det = det != 0 ? 1. / det : 0;
    const double a11 = m[4] * det, a22 = m[0] * det;
    m[0] = a11;
    m[1] *= -det;
    m[3] *= -det;
    m[4] = a22;
    const double b1 = -m[0] * m[2] - m[1] * m[5];
    const double b2 = -m[3] * m[2] - m[4] * m[5];
    m[2] = b1;
    m[5] = b2;

    std::vector<int> dx(size_t(dst.cols)), dy(size_t(dst.cols));
    for (int x = 0; x < dst.cols; ++x) {
        dx[size_t(x)] = cv::saturate_cast<int>(m[0] * x * 1024);
        dy[size_t(x)] = cv::saturate_cast<int>(m[3] * x * 1024);
    }
    cv::parallel_for_(cv::Range(0, dst.rows), TurnRows(src, dst, m, dx, dy), dst.total() / double(1 << 16));
}

} // namespace

void rotateImage(cv::Mat &image, float angleDegrees, int interpolation)
{
    if (image.empty())
        return;
    try {
        const cv::Point2f centre(image.cols * 0.5f, image.rows * 0.5f);
        const cv::Mat m = cv::getRotationMatrix2D(centre, angleDegrees, 1.0);
        // In place: headers that share the page's pixels see the turned page.
        if (turnableHere(image, interpolation)) {
            // The page as it was, in a buffer each worker keeps for the next
            // page of the same size rather than mapping fresh memory each time.
            thread_local cv::Mat source;
            image.copyTo(source);
            turnInto(source, image, m);
            return;
        }
        cv::warpAffine(image, image, m, cv::Size(image.cols, image.rows), interpolation,
                       cv::BORDER_CONSTANT, cv::Scalar(255, 255, 255, 0));
    } catch (const cv::Exception &) {
        // Leave the page as it was; the second search then reports the failure.
    } catch (const std::exception &) {
    }
}
