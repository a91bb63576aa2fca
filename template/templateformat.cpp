#include "templateformat.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QtEndian>

#include <cmath>

#include <zlib.h>

namespace TemplateFormat {

namespace {

// A printed-text patch is a small cut of one page; anything beyond this is
// not a patch but a corrupt or hostile attribute.
constexpr qint64 kMaxPatchPixels = qint64(4096) * 4096;

// The longest value text a canonical patch can have: "255," per pixel.
constexpr qint64 kMaxTextBytesPerPixel = 4;

void setError(QString *errorText, const QString &text)
{
    if (errorText)
        *errorText = text;
}

} // namespace

QByteArray complementBytes(const QByteArray &data)
{
    QByteArray out(data.size(), Qt::Uninitialized);
    const uchar *src = reinterpret_cast<const uchar *>(data.constData());
    uchar *dst = reinterpret_cast<uchar *>(out.data());
    for (int i = 0; i < data.size(); ++i)
        dst[i] = uchar(255 - src[i]);
    return out;
}

bool complementFile(const QString &path, QString *errorText)
{
    // Binary on both sides: every byte is complemented and nothing else is
    // touched, so applying this twice gives back exactly the original bytes.
    QFile in(path);
    if (!in.open(QIODevice::ReadOnly)) {
        setError(errorText, QStringLiteral("打开文件 %1 失败：%2").arg(path, in.errorString()));
        return false;
    }
    const QByteArray original = in.readAll();
    const bool readFailed = in.error() != QFileDevice::NoError;
    const QString readError = in.errorString();
    in.close();
    if (readFailed) {
        setError(errorText, QStringLiteral("读取文件 %1 失败：%2").arg(path, readError));
        return false;
    }

    // The new content goes to a temporary file beside the original and
    // replaces it only after everything was written.
    QSaveFile out(path);
    out.setDirectWriteFallback(false);
    if (!out.open(QIODevice::WriteOnly)) {
        setError(errorText, QStringLiteral("写入文件 %1 失败：%2").arg(path, out.errorString()));
        return false;
    }
    const QByteArray flipped = complementBytes(original);
    if (out.write(flipped) != flipped.size()) {
        const QString why = out.errorString();
        out.cancelWriting();
        setError(errorText, QStringLiteral("写入文件 %1 失败：%2").arg(path, why));
        return false;
    }
    if (!out.commit()) {
        setError(errorText, QStringLiteral("写入文件 %1 失败：%2").arg(path, out.errorString()));
        return false;
    }
    return true;
}

QString encodeMatData(const cv::Mat &patch)
{
    QByteArray text;
    if (!patch.empty() && patch.type() == CV_8UC1) {
        text.reserve(int(qMin<qint64>(qint64(patch.total()) * kMaxTextBytesPerPixel, 1 << 30)));
        bool first = true;
        for (int r = 0; r < patch.rows; ++r) {
            const uchar *row = patch.ptr<uchar>(r);
            for (int c = 0; c < patch.cols; ++c) {
                if (!first)
                    text.append(',');
                first = false;
                text.append(QByteArray::number(uint(row[c])));
            }
        }
    }
    return QString::fromLatin1(qCompress(text).toBase64());
}

bool decodeMatData(const QString &text, int rows, int cols, cv::Mat &out, QString *errorText)
{
    out.release();
    if (rows <= 0 || cols <= 0 || qint64(rows) * cols > kMaxPatchPixels) {
        setError(errorText, QStringLiteral("印刷文字数据的尺寸 %1×%2 无效").arg(rows).arg(cols));
        return false;
    }
    const qint64 pixels = qint64(rows) * cols;

    const QByteArray::FromBase64Result decoded = QByteArray::fromBase64Encoding(
        text.toLatin1(), QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() < 4) {
        setError(errorText, QStringLiteral("印刷文字数据不是有效的 Base64 文本"));
        return false;
    }
    const QByteArray &packed = decoded.decoded;

    // qUncompress trusts the size in the first four bytes; check it against
    // what the largest patch can hold before letting it allocate. Values
    // beyond the patch are allowed (and ignored), so the text may be longer
    // than this patch needs.
    const quint32 declared = qFromBigEndian<quint32>(packed.constData());
    if (qint64(declared) > kMaxPatchPixels * kMaxTextBytesPerPixel) {
        setError(errorText, QStringLiteral("印刷文字数据的长度 %1 字节超出上限").arg(declared));
        return false;
    }
    // Inflated into exactly the size it declares: qUncompress would keep
    // doubling its buffer for data that expands beyond it, up to gigabytes
    // for a small attribute.
    QByteArray values(int(declared), Qt::Uninitialized);
    uLongf inflated = declared;
    if (declared != 0
        && (::uncompress(reinterpret_cast<Bytef *>(values.data()), &inflated,
                         reinterpret_cast<const Bytef *>(packed.constData()) + 4, uLong(packed.size() - 4))
                != Z_OK)) {
        setError(errorText, QStringLiteral("印刷文字数据无法解压"));
        return false;
    }
    values.truncate(int(inflated));

    // Too few values would leave pixels unfilled; more than the patch has
    // are ignored.
    const qint64 count = qint64(values.count(',')) + 1;
    if (count < pixels) {
        setError(errorText, QStringLiteral("印刷文字数据只有 %1 个值，尺寸 %2×%3 需要 %4 个")
                                .arg(count).arg(rows).arg(cols).arg(pixels));
        return false;
    }

    cv::Mat patch(rows, cols, CV_8UC1);
    uchar *dst = patch.ptr<uchar>(0);   // freshly allocated, so continuous
    const char *p = values.constData();
    const char *end = p + values.size();
    qint64 i = 0;
    while (i < pixels) {
        const char *stop = static_cast<const char *>(memchr(p, ',', size_t(end - p)));
        if (!stop)
            stop = end;
        // Same reading as a decimal text: a piece that is no number gives 0,
        // and only the low eight bits are kept.
        const uint v = QByteArray::fromRawData(p, int(stop - p)).toUInt();
        dst[i++] = uchar(v & 0xFF);
        p = stop < end ? stop + 1 : end;
    }
    out = patch;
    return true;
}

QString formatAngleAB(int ax, int ay, int bx, int by)
{
    const float dy = float(qint64(ay) - by);
    const float dx = float(qint64(ax) - bx);
    const float angle = std::atan2(dy, dx);
    return QString::asprintf("%.4f", double(angle));
}

} // namespace TemplateFormat
