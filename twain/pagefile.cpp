#include "pagefile.h"

#include <QDir>
#include <QFileInfo>
#include <QImageWriter>
#include <QSaveFile>
#include <QTransform>

#include <cerrno>
#include <cstring>

namespace {

std::uint32_t readU32(const unsigned char *p)
{
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24;
}

std::int32_t readI32(const unsigned char *p)
{
    const std::uint32_t u = readU32(p);
    std::int32_t v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

std::uint16_t readU16(const unsigned char *p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

bool fail(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return false;
}

// The header sizes of the bitmap headers that carry the same first 40 bytes.
bool knownHeaderSize(std::uint32_t size)
{
    return size == 40 || size == 52 || size == 56 || size == 108 || size == 124;
}

QImage::Format formatForBits(int bits)
{
    return bits == 1 ? QImage::Format_Mono : bits == 8 ? QImage::Format_Grayscale8 : QImage::Format_RGB888;
}

void setMonoColours(QImage &image)
{
    image.setColorCount(2);
    image.setColor(0, qRgb(0, 0, 0));
    image.setColor(1, qRgb(255, 255, 255));
}

// Why a page could not be written, in the system's words: an image writer
// only knows that its device refused ("Unknown error"), the file knows why.
QString writeFailureReason(const QFileDevice &file, const QString &writerReason, int systemError)
{
    if (systemError == ENOSPC)
        return QStringLiteral("磁盘已满 (%1)").arg(QString::fromLocal8Bit(std::strerror(ENOSPC)));
    if (file.error() != QFileDevice::NoError && !file.errorString().isEmpty()
        && file.errorString() != QLatin1String("Unknown error"))
        return file.errorString();
    if (systemError != 0)
        return QString::fromLocal8Bit(std::strerror(systemError));
    return writerReason;
}

} // namespace

// ---- DibView ------------------------------------------------------------------

bool DibView::parse(const void *block, std::size_t size, DibView *view, QString *error)
{
    const auto *bytes = static_cast<const unsigned char *>(block);
    if (!bytes)
        return fail(error, QStringLiteral("The image holds no data."));
    if (size < 40)
        return fail(error, QStringLiteral("The image is too short for a bitmap header (%1 bytes).").arg(size));
    const std::uint32_t headerSize = readU32(bytes);
    if (!knownHeaderSize(headerSize))
        return fail(error, QStringLiteral("The bitmap header has an unknown size (%1 bytes).").arg(headerSize));
    if (size != UnknownSize && headerSize > size)
        return fail(error, QStringLiteral("The bitmap header is longer than the image."));
    const std::int32_t width = readI32(bytes + 4);
    const std::int32_t rawHeight = readI32(bytes + 8);
    const int bitCount = readU16(bytes + 14);
    const std::uint32_t compression = readU32(bytes + 16);
    const std::uint32_t colorsUsed = readU32(bytes + 32);

    if (bitCount != 1 && bitCount != 8 && bitCount != 24)
        return fail(error, QStringLiteral("Images of %1 bits per pixel are not supported (1, 8 or 24 bits).")
                               .arg(bitCount));
    if (compression != 0)
        return fail(error, QStringLiteral("Compressed bitmaps are not supported (compression %1).").arg(compression));
    if (width <= 0 || width > MaxDimension || rawHeight == 0 || rawHeight < -MaxDimension ||
        rawHeight > MaxDimension)
        return fail(error, QStringLiteral("The image has impossible dimensions (%1 x %2).").arg(width).arg(rawHeight));
    const int height = rawHeight < 0 ? -rawHeight : rawHeight;

    // A palette of more entries than the depth can address is corrupt; a
    // 24-bit image may carry an optional one, which is skipped.
    std::uint32_t paletteCount = colorsUsed;
    if (bitCount <= 8) {
        const std::uint32_t maxEntries = 1u << bitCount;
        if (paletteCount == 0)
            paletteCount = maxEntries;
        if (paletteCount > maxEntries)
            return fail(error, QStringLiteral("The image's palette has %1 entries, more than %2 bits can address.")
                                   .arg(colorsUsed)
                                   .arg(bitCount));
    } else if (paletteCount > 256 || (paletteCount > 0 && size == UnknownSize)) {
        // A 24-bit image needs no palette; without the block's size one
        // cannot be told from a lie that moves the rows onto foreign memory.
        return fail(error, QStringLiteral("The 24-bit image claims a palette of %1 entries.").arg(colorsUsed));
    }

    const std::uint64_t stride = (std::uint64_t(bitCount) * std::uint64_t(width) + 31) / 32 * 4;
    const std::uint64_t pixelBytes = stride * std::uint64_t(height);
    if (pixelBytes > MaxPixelBytes)
        return fail(error, QStringLiteral("The image is too large (%1 x %2 at %3 bits).")
                               .arg(width)
                               .arg(height)
                               .arg(bitCount));
    // Without the block's size these are the header's only witnesses: a
    // stated image size too small for the rows means the rows are not there.
    const std::uint32_t sizeImage = readU32(bytes + 20);
    if (sizeImage != 0 && sizeImage < pixelBytes)
        return fail(error, QStringLiteral("The image's header is inconsistent: %1 x %2 at %3 bits needs %4 bytes, "
                                          "its size says %5.")
                               .arg(width)
                               .arg(height)
                               .arg(bitCount)
                               .arg(pixelBytes)
                               .arg(sizeImage));
    const std::uint64_t paletteOffset = headerSize;
    const std::uint64_t pixelOffset = paletteOffset + std::uint64_t(paletteCount) * 4;
    if (size != UnknownSize && pixelOffset + pixelBytes > size)
        return fail(error, QStringLiteral("The image is shorter than its header says: %1 bytes of %2.")
                               .arg(size)
                               .arg(pixelOffset + pixelBytes));

    DibView v;
    v.m_palette = paletteCount ? bytes + paletteOffset : nullptr;
    v.m_pixels = bytes + pixelOffset;
    v.m_width = width;
    v.m_height = height;
    v.m_bitCount = bitCount;
    v.m_stride = int(stride);
    v.m_paletteCount = int(paletteCount);
    v.m_topDown = rawHeight < 0;
    *view = v;
    return true;
}

bool DibView::fitsLayout(const TW_IMAGEINFO &info, QString *error) const
{
    // Only what the source announced is compared; a field it left at 0 (or
    // a length of -1, not known in advance) says nothing.
    const bool wider = info.ImageWidth > 0 && m_width > info.ImageWidth;
    const bool longer = info.ImageLength > 0 && m_height > info.ImageLength;
    const bool deeper = info.BitsPerPixel > 0 && m_bitCount > info.BitsPerPixel;
    if (!wider && !longer && !deeper)
        return true;
    return fail(error, QStringLiteral("The image (%1 x %2 at %3 bits) is larger than the source announced for this "
                                      "page (%4 x %5 at %6 bits).")
                           .arg(m_width)
                           .arg(m_height)
                           .arg(m_bitCount)
                           .arg(info.ImageWidth)
                           .arg(info.ImageLength)
                           .arg(info.BitsPerPixel));
}

const unsigned char *DibView::paletteEntry(int i) const
{
    return m_palette && i >= 0 && i < m_paletteCount ? m_palette + std::size_t(i) * 4 : nullptr;
}

const unsigned char *DibView::scanLine(int y) const
{
    if (!m_pixels || y < 0 || y >= m_height)
        return nullptr;
    const int row = m_topDown ? y : m_height - 1 - y;
    return m_pixels + std::size_t(row) * std::size_t(m_stride);
}

// ---- conversion ---------------------------------------------------------------

QImage dibToImage(const DibView &view)
{
    const int width = view.width();
    const int height = view.height();
    QImage image(width, height, formatForBits(view.bitCount()));
    if (image.isNull())
        return image;
    const int rowBytes = (view.bitCount() * width + 7) / 8;

    // Palette entries as grey levels, when they are not the plain ramp the
    // image's own format already means.
    bool ramp = true;
    unsigned char grey[256];
    const int entries = 1 << (view.bitCount() <= 8 ? view.bitCount() : 0);
    if (view.bitCount() <= 8) {
        for (int i = 0; i < entries; ++i) {
            const unsigned char *e = view.paletteEntry(i);
            const int plain = view.bitCount() == 1 ? i * 255 : i;
            grey[i] = e ? static_cast<unsigned char>(qGray(e[2], e[1], e[0])) : static_cast<unsigned char>(plain);
            ramp = ramp && grey[i] == plain;
        }
    }
    if (view.bitCount() == 1) {
        setMonoColours(image);
        // A palette that puts white at 0 flips the bits.
        const bool invert = !ramp && grey[0] > grey[1];
        for (int y = 0; y < height; ++y) {
            const unsigned char *src = view.scanLine(y);
            unsigned char *dst = image.scanLine(y);
            std::memcpy(dst, src, std::size_t(rowBytes));
            if (invert)
                for (int x = 0; x < rowBytes; ++x)
                    dst[x] = static_cast<unsigned char>(~dst[x]);
        }
    } else if (view.bitCount() == 8) {
        for (int y = 0; y < height; ++y) {
            const unsigned char *src = view.scanLine(y);
            unsigned char *dst = image.scanLine(y);
            if (ramp) {
                std::memcpy(dst, src, std::size_t(rowBytes));
            } else {
                for (int x = 0; x < width; ++x)
                    dst[x] = grey[src[x]];
            }
        }
    } else {
        for (int y = 0; y < height; ++y) {
            const unsigned char *src = view.scanLine(y);
            unsigned char *dst = image.scanLine(y);
            for (int x = 0; x < width; ++x) {
                dst[3 * x] = src[3 * x + 2];
                dst[3 * x + 1] = src[3 * x + 1];
                dst[3 * x + 2] = src[3 * x];
            }
        }
    }
    return image;
}

QImage dibBlockToImage(const void *block, std::size_t size, QString *error, const TW_IMAGEINFO *announced)
{
    DibView view;
    if (!DibView::parse(block, size, &view, error))
        return QImage();
    if (announced && !view.fitsLayout(*announced, error))
        return QImage();
    QImage image = dibToImage(view);
    if (image.isNull())
        fail(error, QStringLiteral("No memory for an image of %1 x %2.").arg(view.width()).arg(view.height()));
    return image;
}

// ---- memory transfer ----------------------------------------------------------

bool StripAssembler::begin(TW_INT32 imageWidth, TW_INT32 imageLength, int bitsPerPixel, QString *error)
{
    *this = StripAssembler();
    if (bitsPerPixel != 1 && bitsPerPixel != 8 && bitsPerPixel != 24)
        return fail(error, QStringLiteral("Pages of %1 bits per pixel are not supported (1, 8 or 24 bits).")
                               .arg(bitsPerPixel));
    if (imageWidth <= 0 || imageWidth > DibView::MaxDimension || imageLength == 0 || imageLength < -1 ||
        imageLength > DibView::MaxDimension)
        return fail(error, QStringLiteral("The page has impossible dimensions (%1 x %2).")
                               .arg(imageWidth)
                               .arg(imageLength));
    m_width = imageWidth;
    m_length = imageLength;
    m_bits = bitsPerPixel;
    m_rowBytes = (bitsPerPixel * imageWidth + 7) / 8;
    // The same ceiling as a native image, before any memory is taken.
    if (m_length > 0 && std::uint64_t(m_rowBytes) * std::uint64_t(m_length) > DibView::MaxPixelBytes)
        return fail(error, QStringLiteral("The page is too large (%1 x %2 at %3 bits).")
                               .arg(imageWidth)
                               .arg(imageLength)
                               .arg(bitsPerPixel));
    if (m_length > 0) {
        m_image = QImage(m_width, m_length, formatForBits(m_bits));
        if (m_image.isNull())
            return fail(error, QStringLiteral("No memory for a page of %1 x %2.").arg(m_width).arg(m_length));
        if (m_bits == 1)
            setMonoColours(m_image);
        // Filled once so no byte of the image is left undefined.
        if (m_bits == 1)
            m_image.fill(1);
        else
            m_image.fill(Qt::white);
    }
    m_started = true;
    return true;
}

bool StripAssembler::addStrip(const unsigned char *buffer, std::size_t bufferSize, const TW_IMAGEMEMXFER &strip,
                              QString *error)
{
    m_lastNewRows = 0;
    if (!m_started)
        return fail(error, QStringLiteral("A strip arrived before its page was set up."));
    if (strip.Compression != TWON_DONTCARE16 && strip.Compression != TWCP_NONE)
        return fail(error, QStringLiteral("Compressed strips are not supported (compression %1).")
                               .arg(strip.Compression));
    if ((strip.XOffset != TWON_DONTCARE32 && strip.XOffset != 0) ||
        (strip.Columns != TWON_DONTCARE32 && strip.Columns != TW_UINT32(m_width)))
        return fail(error, QStringLiteral("Tiled strips are not supported (columns %1 at %2, page width %3).")
                               .arg(strip.Columns)
                               .arg(strip.XOffset)
                               .arg(m_width));
    const std::uint64_t rows = strip.Rows;
    if (rows == 0)
        return true;
    const std::uint64_t bytesPerRow = strip.BytesPerRow;
    if (bytesPerRow < std::uint64_t(m_rowBytes))
        return fail(error, QStringLiteral("A strip row of %1 bytes is shorter than a page row of %2 bytes.")
                               .arg(strip.BytesPerRow)
                               .arg(m_rowBytes));
    // The last row needs only the page row's bytes, not its padding.
    const std::uint64_t needed = (rows - 1) * bytesPerRow + std::uint64_t(m_rowBytes);
    std::uint64_t available = bufferSize;
    if (strip.BytesWritten != TWON_DONTCARE32 && strip.BytesWritten < available)
        available = strip.BytesWritten;
    if (!buffer || needed > available)
        return fail(error, QStringLiteral("A strip of %1 rows of %2 bytes does not fit the %3 bytes delivered.")
                               .arg(rows)
                               .arg(bytesPerRow)
                               .arg(available));
    const std::uint64_t y0 = strip.YOffset == TWON_DONTCARE32 ? std::uint64_t(m_rowsSeen) : strip.YOffset;
    const std::uint64_t end = y0 + rows;
    const std::uint64_t limit = m_length > 0 ? std::uint64_t(m_length) : std::uint64_t(DibView::MaxDimension);
    if (end > limit)
        return fail(error, QStringLiteral("A strip reaches row %1 of a page of %2 rows.").arg(end).arg(limit));

    if (m_length > 0) {
        for (std::uint64_t i = 0; i < rows; ++i)
            std::memcpy(m_image.scanLine(int(y0 + i)), buffer + i * bytesPerRow, std::size_t(m_rowBytes));
    } else {
        const std::size_t need = std::size_t(end) * std::size_t(m_rowBytes);
        if (std::uint64_t(need) > DibView::MaxPixelBytes)
            return fail(error, QStringLiteral("The page grows beyond any page size."));
        if (m_grow.size() < need)
            m_grow.resize(need, 0xFF);  // white at every depth
        for (std::uint64_t i = 0; i < rows; ++i)
            std::memcpy(m_grow.data() + (y0 + i) * std::size_t(m_rowBytes), buffer + i * bytesPerRow,
                        std::size_t(m_rowBytes));
    }
    if (m_covered.size() < end)
        m_covered.resize(std::size_t(end), false);
    for (std::uint64_t y = y0; y < end; ++y)
        if (!m_covered[std::size_t(y)]) {
            m_covered[std::size_t(y)] = true;
            ++m_lastNewRows;
            ++m_rowsCovered;
        }
    if (int(end) > m_rowsSeen)
        m_rowsSeen = int(end);
    return true;
}

QImage StripAssembler::finish(QString *error)
{
    if (!m_started || m_rowsSeen == 0) {
        fail(error, QStringLiteral("The page arrived without rows."));
        return QImage();
    }
    // A page with rows the source never sent is not the page that was
    // scanned, whatever colour the gaps would take.
    const int expected = m_length > 0 ? m_length : m_rowsSeen;
    if (m_rowsCovered < expected) {
        fail(error, QStringLiteral("The page ended with %1 of its %2 rows transferred.")
                        .arg(m_rowsCovered)
                        .arg(expected));
        return QImage();
    }
    if (m_length > 0)
        return m_image;
    QImage image(m_width, m_rowsSeen, formatForBits(m_bits));
    if (image.isNull()) {
        fail(error, QStringLiteral("No memory for a page of %1 x %2.").arg(m_width).arg(m_rowsSeen));
        return image;
    }
    if (m_bits == 1)
        setMonoColours(image);
    for (int y = 0; y < m_rowsSeen; ++y)
        std::memcpy(image.scanLine(y), m_grow.data() + std::size_t(y) * std::size_t(m_rowBytes),
                    std::size_t(m_rowBytes));
    return image;
}

// ---- names, rotation, writing ---------------------------------------------------

QString pageNumberText(int number, int length)
{
    return QStringLiteral("%1").arg(number, length, 10, QLatin1Char('0'));
}

QString scanFileName(const QString &folder, const QString &prefix, int number, int length, const QString &format)
{
    return QDir::toNativeSeparators(
        QStringLiteral("%1/%2%3.%4").arg(folder, prefix, pageNumberText(number, length), format));
}

void rotatePageImage(QImage &image, int rotateFlag)
{
    if (image.isNull())
        return;
    switch (rotateFlag) {
    case 1:
        image = image.transformed(QTransform().rotate(90), Qt::FastTransformation);
        break;
    case 2:
        image = image.transformed(QTransform().rotate(-90), Qt::FastTransformation);
        break;
    case 3:
        image = image.mirrored(true, true);
        break;
    default:
        break;
    }
}

bool writePageFile(const QImage &image, const QString &filePath, int quality, bool tiff, bool tiffLzw,
                   QString *error)
{
    if (image.isNull())
        return fail(error, QStringLiteral("No image to write to %1.").arg(QDir::toNativeSeparators(filePath)));
    QByteArray format = QFileInfo(filePath).suffix().toLower().toLatin1();
    if (format == "tif")
        format = "tiff";
    if (tiff)
        format = "tiff";
    if (!QImageWriter::supportedImageFormats().contains(format))
        return fail(error, QStringLiteral("No writer for the format \"%1\".").arg(QString::fromLatin1(format)));

    // The new page goes to a temporary file beside the target, which takes
    // the target's name only once every byte is written.
    QSaveFile file(filePath);
    if (!file.open(QIODevice::WriteOnly))
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(filePath),
                                                                      file.errorString()));
    QImageWriter writer(&file, format);
    if (format == "tiff")
        writer.setCompression(tiffLzw ? 1 : 0);
    else
        writer.setQuality(quality);
    errno = 0;
    if (!writer.write(image)) {
        const int systemError = errno;
        const QString why = writeFailureReason(file, writer.errorString(), systemError);
        file.cancelWriting();
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(filePath), why));
    }
    // The last bytes leave the buffer here; a disk that fills now must not
    // let a cut-off file take the page's name (commit alone would).
    errno = 0;
    if (!file.flush() || file.error() != QFileDevice::NoError) {
        const int systemError = errno;
        const QString why = writeFailureReason(file, file.errorString(), systemError);
        file.cancelWriting();
        return fail(error, QStringLiteral("Cannot write %1: %2").arg(QDir::toNativeSeparators(filePath), why));
    }
    if (!file.commit()) {
        const int systemError = errno;
        return fail(error, QStringLiteral("Cannot write %1: %2")
                               .arg(QDir::toNativeSeparators(filePath),
                                    writeFailureReason(file, file.errorString(), systemError)));
    }
    return true;
}
