#include "subjectcutter.h"

#include "imagewritequeue.h"

#include <QFile>
#include <QtGlobal>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include <exception>

namespace {

const char *const kWidthShrunk =
    "考号：%1 页：%2 块：%3 主观题图片切割时超出纠正后图片的【宽度】范围，已被自动缩小宽度，缩小值：%4。请查看相应页块图片，如不可用，可能需要重新制作模板。本提示过多，建议重新制作模板，调整相应主观题范围。";
const char *const kHeightShrunk =
    "考号：%1 页：%2 块：%3 主观题图片切割时超出纠正后图片的【高度】范围，已被自动缩小高度，缩小值：%4。请查看相应页块图片，如不可用，可能需要重新制作模板。本提示过多，建议重新制作模板，调整相应主观题范围";
const char *const kLeftOfPage =
    "考号：%1 页：%2 块：%3 主观题图片切割时发生错误。错误原因可能是【定位异常】或者 【做模板时主观题切割太靠近图片左边缘】。请检查。";
const char *const kAbovePage =
    "考号：%1 页：%2 块：%3 主观题图片切割时发生错误。错误原因可能是【定位异常】或者 【做模板时主观题切割太靠近图片上边缘】。请检查。";
const char *const kWriteFailed = "考号：%1 页：%2 块：%3 主观题图片无法写入文件 %4：%5";
const char *const kUnknownError =
    "考号：%1 页：%2 块：%3 主观题图片切割时发生未知错误，请检查相关答卷图片。";

void appendLine(QString &message, const QString &line)
{
    if (!message.isEmpty())
        message += QLatin1Char('\n');
    message += line;
}

} // namespace

QString cutSubjectImage(cv::Mat image, const QString &folder, const QString &code, int pageId,
                        int blockNumber, int x, int y, int width, int height, int originX,
                        int originY, const QString &extension, std::vector<int> writeParams,
                        bool binarise, float scale, bool &ok, QString &message)
{
    const QString page = QString::number(pageId);
    const QString block = QString::number(blockNumber);
    // Multi-argument arg(): a '%' inside the code must not be taken for a placeholder.
    auto text = [&](const char *pattern) { return QString::fromUtf8(pattern).arg(code, page, block); };
    auto textWithCount = [&](const char *pattern, qint64 count) {
        return QString::fromUtf8(pattern).arg(code, page, block, QString::number(count));
    };

    // 64-bit sums: origin plus block position must not wrap for absurd template values.
    const qint64 cols = image.cols;
    const qint64 rows = image.rows;
    const qint64 left = qint64(x) + originX;
    const qint64 top = qint64(y) + originY;
    qint64 w = width;
    qint64 h = height;

    if (left + w >= cols) {
        const qint64 over = (left + w) - cols + 1;
        w = cols - left - 1;
        appendLine(message, textWithCount(kWidthShrunk, over));
    }
    if (top + h >= rows) {
        const qint64 over = (top + h) - rows + 1;
        h = rows - top - 1;
        appendLine(message, textWithCount(kHeightShrunk, over));
    }
    if (left < 0) {
        appendLine(message, text(kLeftOfPage));
        return QString();
    }
    if (top < 0) {
        appendLine(message, text(kAbovePage));
        return QString();
    }

    // A block that starts at or beyond the last column or row has nothing left
    // after the shrink; such a rectangle must never reach OpenCV.
    if (image.empty() || w <= 0 || h <= 0) {
        appendLine(message, text(kUnknownError));
        return QString();
    }

    try {
        cv::Mat cut = image(cv::Rect(int(left), int(top), int(w), int(h)));
        if (scale < 1.0f) {
            const int scaledWidth = int(float(w) * scale);
            const int scaledHeight = int(float(h) * scale);
            if (scaledWidth <= 0 || scaledHeight <= 0) {
                appendLine(message, text(kUnknownError));
                return QString();
            }
            cv::Mat scaled;
            cv::resize(cut, scaled, cv::Size(scaledWidth, scaledHeight), 0, 0, cv::INTER_LINEAR);
            cut = scaled;
        }
        if (binarise)
            cv::threshold(cut, cut, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);

        const QString path = QStringLiteral("%1/%2-%3-%4.%5").arg(folder, code, page, block, extension);
        // Encoded here and written through Qt, so a failed write (a full
        // disk, a folder gone) is named with the system's reason.
        std::vector<uchar> encoded;
        if (!cv::imencode("." + extension.toStdString(), cut, encoded, writeParams)) {
            appendLine(message, text(kUnknownError));
            return path;
        }
        QString why;
        ok = writeFileBytes(path, encoded, &why);
        if (!ok)
            appendLine(message, QString::fromUtf8(kWriteFailed).arg(code, page, block, path, why));
        return path;
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    appendLine(message, text(kUnknownError));
    return QString();
}
