#include "codereader.h"

#include "debugflags.h"

#include <QFile>
#include <QtGlobal>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <zbar.h>

#include <algorithm>
#include <exception>
#include <memory>

// The C interface of ZBar lives in its namespace when compiled as C++.
using namespace zbar;

namespace {

const char *const kAbsentBoxInvalid =
    "缺考标记区域不合法！可能是定位异常导致此原因。请检查答卷图片是否异常。";
const char *const kAbsentFailed = "检测缺考标记时发生图像处理错误，请检查答卷图片。";
const char *const kCodeAreaTooSmall = "考号区域小于一个涂点，无法识别考号。";
const char *const kCodeBubbleSize = "考号涂点大小不合法（%1 x %2），无法识别考号。";
const char *const kCodeLength = "考号位数不合法（%1），无法识别考号。";
const char *const kCodeFailed = "识别考号时发生图像处理错误，请检查答卷图片。";

constexpr int kDigits = 10;

cv::Mat toGrey(const cv::Mat &image)
{
    cv::Mat grey;
    switch (image.channels()) {
    case 3: cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY); return grey;
    case 4: cv::cvtColor(image, grey, cv::COLOR_BGRA2GRAY); return grey;
    default: return image;
    }
}

// Ink becomes 0, paper 255.
cv::Mat binarise(const cv::Mat &grey, int markPointAlgo, int threshold)
{
    cv::Mat out;
    if (markPointAlgo == 0)
        cv::threshold(grey, out, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    else
        cv::threshold(grey, out, threshold, 255, cv::THRESH_BINARY);
    return out;
}

// Dark pixels of rows [r0, r1) x columns [c0, c1), clamped to the image.
int darkPixels(const cv::Mat &bin, int r0, int r1, int c0, int c1)
{
    r0 = std::max(r0, 0);
    c0 = std::max(c0, 0);
    r1 = std::min(r1, bin.rows);
    c1 = std::min(c1, bin.cols);
    if (r1 <= r0 || c1 <= c0)
        return 0;
    const cv::Mat box = bin(cv::Range(r0, r1), cv::Range(c0, c1));
    return cv::countNonZero(box < 128);
}

void setError(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
}

struct ScannerDeleter {
    void operator()(zbar_image_scanner_t *s) const { zbar_image_scanner_destroy(s); }
};
struct ImageDeleter {
    void operator()(zbar_image_t *i) const { zbar_image_destroy(i); }
};

} // namespace

void checkAbsentMark(cv::Mat image, QRect box, float coverShare, int originX, int originY,
                     bool &ok, QString &errorText, bool &absent)
{
    const qint64 x = qint64(box.x()) + originX;
    const qint64 y = qint64(box.y()) + originY;
    const qint64 width = box.width();
    const qint64 height = box.height();
    if (x < 0 || y < 0 || x + width > image.cols || y + height > image.rows || width <= 0 || height <= 0) {
        ok = false;
        errorText = QString::fromUtf8(kAbsentBoxInvalid);
        return;
    }

    try {
        cv::Mat area = image(cv::Rect(int(x), int(y), int(width), int(height)));
        cv::threshold(area, area, 150, 255, cv::THRESH_BINARY);

        if (DebugView::enabled(debugAbsentMark)) {
            DebugView::show("absentmark", image);
            DebugView::waitKey();
            DebugView::show("absentmark", area);
            DebugView::waitKey();
        }

        const cv::Mat greyArea = toGrey(area);
        const int dark = cv::countNonZero(greyArea < 128);
        const float share = float(dark) / float(width * height);
        ok = true;
        absent = share >= coverShare;
    } catch (const cv::Exception &) {
        ok = false;
        errorText = QString::fromUtf8(kAbsentFailed);
    } catch (const std::exception &) {
        ok = false;
        errorText = QString::fromUtf8(kAbsentFailed);
    }
}

bool readBarcodeCode(cv::Mat image, int direction, QString &symbology, QString &code)
{
    try {
        if (direction == 1) {
            cv::Mat turned;
            cv::rotate(image, turned, cv::ROTATE_90_CLOCKWISE);
            return scanBarcode(turned, symbology, code);
        }
        return scanBarcode(image, symbology, code);
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    return false;
}

bool scanBarcode(cv::Mat image, QString &symbology, QString &code)
{
    try {
        if (image.empty())
            return false;
        // ZBar reads 8-bit grey rows without padding.
        cv::Mat grey = toGrey(image).clone();
        if (grey.depth() != CV_8U || grey.channels() != 1 || !grey.isContinuous())
            return false;

        if (DebugView::enabled(debugCode)) {
            DebugView::show("image", grey);
            DebugView::waitKey();
            DebugView::show("image", grey);
            DebugView::waitKey();
        }

        std::unique_ptr<zbar_image_scanner_t, ScannerDeleter> scanner(zbar_image_scanner_create());
        if (!scanner)
            return false;
        zbar_image_scanner_set_config(scanner.get(), ZBAR_NONE, ZBAR_CFG_ENABLE, 1);

        std::unique_ptr<zbar_image_t, ImageDeleter> zimage(zbar_image_create());
        if (!zimage)
            return false;
        const unsigned width = unsigned(grey.cols);
        const unsigned height = unsigned(grey.rows);
        zbar_image_set_format(zimage.get(), zbar_fourcc_parse("Y800"));
        zbar_image_set_size(zimage.get(), width, height);
        // No cleanup handler: the pixels belong to `grey`, which outlives the ZBar image.
        zbar_image_set_data(zimage.get(), grey.data, size_t(width) * height, nullptr);

        if (zbar_scan_image(scanner.get(), zimage.get()) != 1)
            return false;
        const zbar_symbol_t *symbol = zbar_image_first_symbol(zimage.get());
        if (!symbol)
            return false;
        symbology = QString::fromLatin1(zbar_get_symbol_name(zbar_symbol_get_type(symbol)));
        code = QString::fromUtf8(zbar_symbol_get_data(symbol), int(zbar_symbol_get_data_length(symbol)));
        return true;
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    return false;
}

QString readCodeBubbles(cv::Mat image, const QString &folder, int numberDirection, int count,
                        int bubbleWidth, int bubbleHeight, float coverShare, int markPointAlgo,
                        int threshold, QString &code, QString *errorText)
{
    if (count <= 0) {
        setError(errorText, QString::fromUtf8(kCodeLength).arg(count));
        return QString();
    }
    if (bubbleWidth <= 0 || bubbleHeight <= 0) {
        setError(errorText, QString::fromUtf8(kCodeBubbleSize).arg(bubbleWidth).arg(bubbleHeight));
        return QString();
    }
    if (image.empty() || image.cols < bubbleWidth || image.rows < bubbleHeight) {
        setError(errorText, QString::fromUtf8(kCodeAreaTooSmall));
        return QString();
    }

    try {
        const cv::Mat cut = image.clone();
        const cv::Mat bin = binarise(toGrey(cut), markPointAlgo, threshold);

        if (DebugView::enabled(debugCode)) {
            DebugView::show("image", bin);
            DebugView::waitKey();
        }

        // Positions run down (direction 1) or across; the ten digits the other way.
        // One position has no pitch between positions.
        const bool positionsDown = numberDirection == 1;
        const int positionSteps = count - 1;
        float xStep = 0.0f;
        float yStep = 0.0f;
        if (positionsDown) {
            xStep = float(bin.cols - bubbleWidth) / float(kDigits - 1);
            yStep = positionSteps > 0 ? float(bin.rows - bubbleHeight) / float(positionSteps) : 0.0f;
        } else {
            xStep = positionSteps > 0 ? float(bin.cols - bubbleWidth) / float(positionSteps) : 0.0f;
            yStep = float(bin.rows - bubbleHeight) / float(kDigits - 1);
        }

        const float bubbleArea = float(bubbleWidth * bubbleHeight);
        QString text = code;
        for (int p = 0; p < count; ++p) {
            int digit = -1;
            float best = 0.0f;
            for (int d = 0; d < kDigits; ++d) {
                const int row = positionsDown ? p : d;
                const int col = positionsDown ? d : p;
                const int r0 = int(float(row) * yStep);
                const int r1 = int(float(bubbleHeight) + float(row) * yStep);
                const int c0 = int(float(col) * xStep);
                const int c1 = int(float(bubbleWidth) + float(col) * xStep);
                const float fill = float(darkPixels(bin, r0, r1, c0, c1)) / bubbleArea;
                // Strictly greater: of equal fills the lower digit stays.
                if (fill > coverShare && (digit < 0 || fill > best)) {
                    digit = d;
                    best = fill;
                }
            }
            if (digit >= 0)
                text += QString::number(digit);
            else
                text += QLatin1Char('X');
        }
        code = text;

        if (!code.contains(QLatin1Char('X'))) {
            // The images are a convenience for review; a failed write does not spoil the code.
            try {
                const QString base = QStringLiteral("%1/%2").arg(folder, code);
                cv::imwrite(QFile::encodeName(base + QStringLiteral("-o.jpg")).toStdString(), cut,
                            {cv::IMWRITE_JPEG_QUALITY, 30});
                cv::imwrite(QFile::encodeName(base + QStringLiteral("-b.png")).toStdString(), bin,
                            {cv::IMWRITE_PNG_COMPRESSION, 5});
            } catch (const cv::Exception &) {
            }
        }
        return code;
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    setError(errorText, QString::fromUtf8(kCodeFailed));
    return QString();
}

bool isBinaryImage(cv::Mat image)
{
    if (image.empty())
        return false;
    try {
        cv::Mat sample = image;
        if (qint64(image.cols) * image.rows >= 90000)
            cv::resize(image, sample, cv::Size(150, 150), 0, 0, cv::INTER_NEAREST);

        const int channels[] = {0};
        const int histSize[] = {256};
        const float range[] = {0.0f, 256.0f};
        const float *ranges[] = {range};
        cv::Mat hist;
        cv::calcHist(&sample, 1, channels, cv::Mat(), hist, 1, histSize, ranges);
        return cv::countNonZero(hist) <= 2;
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    return false;
}
