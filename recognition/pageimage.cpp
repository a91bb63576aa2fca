#include "pageimage.h"

#include <QFile>
#include <QtGlobal>

#include <opencv2/imgcodecs.hpp>

#include <cstring>
#include <exception>

namespace {

const uchar *data(const QByteArray &bytes)
{
    return reinterpret_cast<const uchar *>(bytes.constData());
}

// Walks the markers from SOI to EOI; segments are skipped by their length, so
// an end marker inside an embedded thumbnail does not count. Bytes after EOI
// (padding, trailers) do not matter.
bool jpegHasEnd(const QByteArray &bytes)
{
    const uchar *p = data(bytes);
    const qint64 n = bytes.size();
    qint64 i = 2;   // after SOI
    bool inScan = false;
    while (i < n) {
        if (inScan) {
            // Entropy-coded data: 0xFF is followed by 0x00 (stuffing) or a
            // restart marker inside a scan; anything else is the next marker.
            const void *ff = std::memchr(p + i, 0xFF, size_t(n - i));
            if (!ff)
                return false;
            i = static_cast<const uchar *>(ff) - p;
            if (i + 1 >= n)
                return false;
            const uchar next = p[i + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7) || next == 0xFF) {
                i += next == 0xFF ? 1 : 2;
                continue;
            }
            inScan = false;
            continue;
        }
        if (p[i] != 0xFF)
            return false;                       // not a marker where one must be
        while (i < n && p[i] == 0xFF)            // fill bytes before a marker
            ++i;
        if (i >= n)
            return false;
        const uchar marker = p[i++];
        if (marker == 0xD9)
            return true;                        // EOI
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8))
            continue;                           // markers without a length
        if (i + 2 > n)
            return false;
        const qint64 length = (qint64(p[i]) << 8) | p[i + 1];
        if (length < 2)
            return false;
        i += length;
        if (i > n)
            return false;
        if (marker == 0xDA)                     // SOS: entropy-coded data follows
            inScan = true;
    }
    return false;
}

// Walks the chunks up to IEND; a chunk that runs past the data, or no IEND,
// means the file was cut.
bool pngHasEnd(const QByteArray &bytes)
{
    const uchar *p = data(bytes);
    const qint64 n = bytes.size();
    qint64 i = 8;   // after the signature
    while (i + 8 <= n) {
        const quint32 length = (quint32(p[i]) << 24) | (quint32(p[i + 1]) << 16) | (quint32(p[i + 2]) << 8) | p[i + 3];
        const bool iend = std::memcmp(p + i + 4, "IEND", 4) == 0;
        const qint64 next = i + 12 + qint64(length);
        if (length > 0x7FFFFFFFu || next > n)
            return false;
        if (iend)
            return true;
        i = next;
    }
    return false;
}

// Why the bytes of a JPEG or PNG end before the image does; empty when they
// are whole or of another format (whose decoders refuse a cut file themselves).
QString truncationOf(const QByteArray &bytes)
{
    static const char jpegStart[] = "\xFF\xD8\xFF";
    static const char pngStart[] = "\x89PNG\r\n\x1A\n";
    if (bytes.startsWith(QByteArray::fromRawData(jpegStart, 3)))
        return jpegHasEnd(bytes) ? QString() : QStringLiteral("JPEG 数据缺少结束标记");
    if (bytes.startsWith(QByteArray::fromRawData(pngStart, 8)))
        return pngHasEnd(bytes) ? QString() : QStringLiteral("PNG 数据缺少结束块");
    return QString();
}

} // namespace

cv::Mat readPageImage(const QString &path, int flags, QString *errorText)
{
    auto failed = [&](const QString &text) {
        if (errorText)
            *errorText = text;
        return cv::Mat();
    };
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return failed(QStringLiteral("答卷图片读取失败：%1").arg(path));
    const qint64 size = file.size();
    const QByteArray bytes = file.readAll();
    if (bytes.size() != size || file.error() != QFileDevice::NoError)
        return failed(QStringLiteral("答卷图片文件读取不完整（读到 %1 字节，文件有 %2 字节）：%3")
                          .arg(bytes.size()).arg(size).arg(path));
    const QString cut = truncationOf(bytes);
    if (!cut.isEmpty())
        return failed(QStringLiteral("答卷图片文件不完整（%1），可能在传输或保存时被截断：%2").arg(cut, path));

    cv::Mat page;
    try {
        page = cv::imdecode(cv::_InputArray(data(bytes), bytes.size()), flags);
    } catch (const cv::Exception &) {
    } catch (const std::exception &) {
    }
    if (page.empty())
        return failed(QStringLiteral("答卷图片读取失败：%1").arg(path));
    return page;
}

bool pageMemoryKept()
{
    static const bool kept = qgetenv("OMR_PAGE_MEMORY") != "fresh";
    return kept;
}
