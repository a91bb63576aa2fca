#include "markreader.h"

#include "answers.h"
#include "debugflags.h"
#include "imagewritequeue.h"

#include <QFile>
#include <QtGlobal>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <exception>

namespace {

const char *const kObjectOutside = "题号 %1 客观题区域超出答卷图片范围，可能是定位异常，请检查答卷图片。";
const char *const kObjectBubbleSize = "题号 %1 客观题涂点大小不合法，请检查模板。";
const char *const kObjectFailed = "题号 %1 客观题识别时发生图像处理错误，请检查答卷图片。";
const char *const kOptionalOutside = "选做题区域超出答卷图片范围，可能是定位异常，请检查答卷图片。";
const char *const kOptionalBubbleSize = "选做题涂点大小不合法，请检查模板。";
const char *const kOptionalFailed = "选做题识别时发生图像处理错误，请检查答卷图片。";
const char *const kOptionalBadName = "选做题选项 %1 不能用作文件名，未保存选做题图片。";

void setError(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
}

// The area (relative rectangle plus origin) when it lies wholly inside the image.
bool areaInImage(const cv::Mat &image, const QRect &rect, int originX, int originY, cv::Rect &area)
{
    const qint64 x = qint64(rect.x()) + originX;
    const qint64 y = qint64(rect.y()) + originY;
    const qint64 w = rect.width();
    const qint64 h = rect.height();
    if (x < 0 || y < 0 || w <= 0 || h <= 0 || x + w > image.cols || y + h > image.rows)
        return false;
    area = cv::Rect(int(x), int(y), int(w), int(h));
    return true;
}

cv::Mat toGrey(const cv::Mat &image)
{
    cv::Mat grey;
    switch (image.channels()) {
    case 3: cv::cvtColor(image, grey, cv::COLOR_BGR2GRAY); return grey;
    case 4: cv::cvtColor(image, grey, cv::COLOR_BGRA2GRAY); return grey;
    default: return image;
    }
}

// Ink becomes 0, paper 255; the result never shares the page's pixels.
cv::Mat binarise(const cv::Mat &area, int markPointAlgo, int threshold)
{
    cv::Mat out;
    if (markPointAlgo == 0)
        cv::threshold(toGrey(area), out, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    else
        cv::threshold(toGrey(area), out, threshold, 255, cv::THRESH_BINARY);
    return out;
}

// Dark pixels of rows [r0, r1) x columns [c0, c1), clamped to the area.
int darkPixels(const cv::Mat &bin, qint64 r0, qint64 r1, qint64 c0, qint64 c1)
{
    r0 = std::max<qint64>(r0, 0);
    c0 = std::max<qint64>(c0, 0);
    r1 = std::min<qint64>(r1, bin.rows);
    c1 = std::min<qint64>(c1, bin.cols);
    if (r1 <= r0 || c1 <= c0)
        return 0;
    return cv::countNonZero(bin(cv::Range(int(r0), int(r1)), cv::Range(int(c0), int(c1))) < 128);
}

// A bubble at offset i * step along one axis covers the cells c with
// trunc(i * step) <= c and c < i * step + size; the span is clamped to
// [0, limit] so no bubble leaves its area.
void bubbleSpan(int i, float step, int size, int limit, int &begin, int &end)
{
    const float start = float(i) * step;
    const float stop = std::ceil(start + float(size));
    begin = int(std::clamp(start, 0.0f, float(limit)));
    end = int(std::clamp(stop, 0.0f, float(limit)));
}

float pitch(int length, int bubble, int count)
{
    // One bubble has nothing to step over.
    return count > 1 ? float(length - bubble) / float(count - 1) : 0.0f;
}

// `cut` is a view of the page; `bin` has pixels of its own.
void writeItemImages(const QString &folder, const QString &code, const QString &name,
                     const cv::Mat &cut, const cv::Mat &bin, ImageWriteQueue *queue)
{
    const QString base = QStringLiteral("%1/%2-%3").arg(folder, code, name);
    const QString original = base + QStringLiteral("-o.jpg");
    const QString binarised = base + QStringLiteral("-b.png");
    const std::vector<int> jpeg{cv::IMWRITE_JPEG_QUALITY, 60};
    const std::vector<int> png{cv::IMWRITE_PNG_COMPRESSION, 5};
    if (queue) {
        queue->write(original, cut.clone(), jpeg);
        queue->write(binarised, bin, png);
        return;
    }
    // Review images only: a failed write leaves the answer as read.
    try {
        cv::imwrite(QFile::encodeName(original).toStdString(), cut, jpeg);
        cv::imwrite(QFile::encodeName(binarised).toStdString(), bin, png);
    } catch (const cv::Exception &) {
    }
}

bool isFileNamePart(const QString &text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        const ushort u = c.unicode();
        const bool allowed = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z')
                             || u == '-' || u == '_';
        if (!allowed)
            return false;
    }
    return true;
}

// Nominal bubble area; 64-bit so absurd template sizes cannot overflow.
float nominalArea(int width, int height)
{
    return float(qint64(width) * qint64(height));
}

} // namespace

QString readObjectiveItem(const cv::Mat &image, const ObjectItem &item, float coverShare,
                          int originX, int originY, int markPointAlgo, int threshold,
                          const QString &folder, const QString &code, QString *errorText,
                          ImageWriteQueue *writer)
{
    const QString number = QString::number(item.item);
    cv::Rect areaRect;
    if (!areaInImage(image, item.rect, originX, originY, areaRect)) {
        setError(errorText, QString::fromUtf8(kObjectOutside).arg(number));
        return QString();
    }

    // Fills divide by the nominal bubble size, so it must not be empty.
    if (!item.abnormal) {
        if (item.markPointWidth <= 0 || item.markPointHeight <= 0) {
            setError(errorText, QString::fromUtf8(kObjectBubbleSize).arg(number));
            return QString();
        }
    } else {
        for (int i = 0; i < item.options.size(); ++i) {
            if (item.options.at(i).width <= 0 || item.options.at(i).height <= 0) {
                setError(errorText, QString::fromUtf8(kObjectBubbleSize).arg(number));
                return QString();
            }
        }
    }

    try {
        const cv::Mat cut = image(areaRect);
        const cv::Mat bin = binarise(cut, markPointAlgo, threshold);

        if (DebugView::enabled(debugObject)) {
            DebugView::show("image", bin);
            DebugView::waitKey();
        }

        QString answer;
        if (!item.abnormal) {
            const int n = item.optionCount;
            const int w = item.markPointWidth;
            const int h = item.markPointHeight;
            const float bubbleArea = nominalArea(w, h);
            const bool sideBySide = item.optionDirection == 0;
            const float step = sideBySide ? pitch(item.rect.width(), w, n) : pitch(item.rect.height(), h, n);
            for (int i = 0; i < n; ++i) {
                int begin = 0;
                int end = 0;
                bubbleSpan(i, step, sideBySide ? w : h, sideBySide ? bin.cols : bin.rows, begin, end);
                const int dark = sideBySide ? darkPixels(bin, 0, h, begin, end)
                                            : darkPixels(bin, begin, end, 0, w);
                if (float(dark) / bubbleArea >= coverShare)
                    answer += optionLetter(i);
            }
        } else {
            // Every bubble of the list counts, in its order, whatever the
            // option count says: a mark is never dropped.
            for (int i = 0; i < item.options.size(); ++i) {
                const OptionBox &box = item.options.at(i);
                const qint64 c0 = qint64(box.x) - item.rect.x();
                const qint64 r0 = qint64(box.y) - item.rect.y();
                const int dark = darkPixels(bin, r0, r0 + box.height, c0, c0 + box.width);
                if (float(dark) / nominalArea(box.width, box.height) >= coverShare)
                    answer += optionLetter(i);
            }
        }
        if (answer.isEmpty())
            answer = QStringLiteral("X");

        writeItemImages(folder, code, number, cut, bin, writer);
        return answer;
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    setError(errorText, QString::fromUtf8(kObjectFailed).arg(number));
    return QString();
}

QString readOptionalChoice(const cv::Mat &image, const QString &folder, const QString &code,
                           const OptionalGroup &group, int originX, int originY, float coverShare,
                           int markPointAlgo, int threshold, QString *errorText, ImageWriteQueue *writer)
{
    cv::Rect areaRect;
    if (!areaInImage(image, group.rect, originX, originY, areaRect)) {
        setError(errorText, QString::fromUtf8(kOptionalOutside));
        return QString();
    }
    const int w = std::min(group.markPointWidth, group.rect.width());
    const int h = std::min(group.markPointHeight, group.rect.height());
    if (w <= 0 || h <= 0) {
        setError(errorText, QString::fromUtf8(kOptionalBubbleSize));
        return QString();
    }

    try {
        const cv::Mat cut = image(areaRect);
        const cv::Mat bin = binarise(cut, markPointAlgo, threshold);

        const int n = group.items.size();
        const float step = pitch(group.rect.width(), w, n);
        const float bubbleArea = nominalArea(w, h);
        int marked = -1;
        int markedCount = 0;
        for (int i = 0; i < n; ++i) {
            int begin = 0;
            int end = 0;
            bubbleSpan(i, step, w, bin.cols, begin, end);
            if (float(darkPixels(bin, 0, h, begin, end)) / bubbleArea >= coverShare) {
                marked = i;
                ++markedCount;
            }
        }
        const QString chosen = markedCount == 1 ? group.items.at(marked) : group.defaultItem;

        // The candidate texts come from the template and name files here.
        if (isFileNamePart(chosen))
            writeItemImages(folder, code, chosen, cut, bin, writer);
        else
            setError(errorText, QString::fromUtf8(kOptionalBadName).arg(chosen));
        return chosen;
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    setError(errorText, QString::fromUtf8(kOptionalFailed));
    return QString();
}
