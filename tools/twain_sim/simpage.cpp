#include "simpage.h"

#include "twainmemory.h"

#include <QImage>

#include <algorithm>
#include <cmath>
#include <cstring>

int simBitsForPixelType(int pixelType)
{
    switch (pixelType) {
    case TWPT_BW:
        return 1;
    case TWPT_RGB:
        return 24;
    default:
        return 8;
    }
}

namespace {

// Drawn straight at the page's depth: a 300-dpi colour page is 26 MB, and
// going through a second image of that size would cost as much again.
void synthesise(SimPage *page, int pageNumber, bool back)
{
    const int width = page->width, height = page->height, bits = page->bitsPerPixel;
    std::fill(page->rows.begin(), page->rows.end(), 0xff);
    auto box = [&](int x0, int y0, int w, int h, QRgb colour) {
        const QRect r = QRect(x0, y0, w, h).intersected(QRect(0, 0, width, height));
        const int grey = qGray(colour);
        for (int y = r.top(); y <= r.bottom(); ++y) {
            unsigned char *line = page->rows.data() + std::size_t(y) * page->rowBytes();
            if (bits == 8) {
                std::memset(line + r.left(), grey, std::size_t(r.width()));
            } else if (bits == 24) {
                for (int x = r.left(); x <= r.right(); ++x) {
                    line[3 * x] = uchar(qRed(colour));
                    line[3 * x + 1] = uchar(qGreen(colour));
                    line[3 * x + 2] = uchar(qBlue(colour));
                }
            } else {
                for (int x = r.left(); x <= r.right(); ++x) {
                    if (grey >= 128)
                        line[x / 8] |= uchar(0x80 >> (x % 8));
                    else
                        line[x / 8] &= uchar(~(0x80 >> (x % 8)));
                }
            }
        }
    };
    const int unit = std::max(2, std::min(width, height) / 40);
    const QRgb black = qRgb(0, 0, 0);
    // Frame and the four corner marks.
    box(0, 0, width, unit / 2, black);
    box(0, height - unit / 2, width, unit / 2, black);
    box(0, 0, unit / 2, height, black);
    box(width - unit / 2, 0, unit / 2, height, black);
    for (int corner = 0; corner < 4; ++corner)
        box(corner % 2 ? width - 3 * unit : 2 * unit, corner / 2 ? height - 3 * unit : 2 * unit, unit, unit, black);
    // A band that tells front (blue) from back (red).
    box(2 * unit, 5 * unit, width - 4 * unit, unit, back ? qRgb(200, 60, 60) : qRgb(60, 60, 200));
    // The page number in binary, most significant block first.
    for (int bit = 0; bit < 12; ++bit)
        box(2 * unit + bit * 2 * unit, 8 * unit, unit, unit,
            (pageNumber >> (11 - bit)) & 1 ? black : qRgb(210, 210, 210));
}

} // namespace

bool simMakePage(const QString &file, int bitsPerPixel, double dpiX, double dpiY, double widthInches,
                 double heightInches, int pageNumber, bool back, SimPage *page, QString *error)
{
    page->bitsPerPixel = bitsPerPixel;
    if (file.isEmpty()) {
        const long w = std::lround(widthInches * dpiX);
        const long h = std::lround(heightInches * dpiY);
        if (w <= 0 || h <= 0 || w > 20000 || h > 30000) {
            *error = QStringLiteral("a synthesised page of %1 x %2 pixels is out of reach").arg(w).arg(h);
            return false;
        }
        page->width = int(w);
        page->height = int(h);
        // The page's buffer is kept from page to page.
        page->rows.resize(std::size_t(page->rowBytes()) * page->height);
        synthesise(page, pageNumber, back);
        return true;
    }
    QImage image;
    if (!image.load(file)) {
        *error = QStringLiteral("cannot read the page image %1").arg(file);
        return false;
    }
    page->width = image.width();
    page->height = image.height();
    const int rowBytes = page->rowBytes();
    page->rows.assign(std::size_t(rowBytes) * page->height, 0);
    const QImage converted = image.convertToFormat(bitsPerPixel == 24 ? QImage::Format_RGB888 : QImage::Format_Grayscale8);
    for (int y = 0; y < page->height; ++y) {
        const uchar *from = converted.constScanLine(y);
        unsigned char *to = page->rows.data() + std::size_t(y) * rowBytes;
        if (bitsPerPixel == 1) {
            for (int x = 0; x < page->width; ++x)
                if (from[x] >= 128)
                    to[x / 8] |= uchar(0x80 >> (x % 8));
        } else {
            std::memcpy(to, from, std::size_t(rowBytes));
        }
    }
    return true;
}

TW_HANDLE simMakeDib(const SimPage &page, double dpiX, double dpiY, TwainMemory &memory, bool topDown,
                     const QString &malformed)
{
    const int paletteEntries = page.bitsPerPixel == 1 ? 2 : page.bitsPerPixel == 8 ? 256 : 0;
    // "widerThanInfo": a sound image, only wider than the page announced.
    const int dibWidth = malformed == QLatin1String("widerThanInfo") ? page.width + 8 : page.width;
    const std::size_t stride = std::size_t((page.bitsPerPixel * dibWidth + 31) / 32) * 4;
    const std::size_t size = sizeof(TW_BITMAPINFOHEADER) + 4 * std::size_t(paletteEntries) + stride * page.height;
    if (size > 0xffffffffu)
        return nullptr;
    const bool shortBlock = malformed == QLatin1String("shortBlock") && page.height > 2;
    const std::size_t blockSize = shortBlock ? size - 2 * stride : size;
    TW_HANDLE handle = memory.allocate(TW_UINT32(blockSize));
    auto *bytes = static_cast<unsigned char *>(memory.lock(handle));
    if (!bytes)
        return nullptr;
    TW_BITMAPINFOHEADER header = {};
    header.biSize = sizeof(TW_BITMAPINFOHEADER);
    header.biWidth = dibWidth;
    header.biHeight = topDown ? -page.height : page.height;  // positive: bottom row first
    header.biPlanes = 1;
    header.biBitCount = std::uint16_t(page.bitsPerPixel);
    header.biSizeImage = std::uint32_t(stride * page.height);
    header.biXPelsPerMeter = std::int32_t(std::lround(dpiX / 0.0254));
    header.biYPelsPerMeter = std::int32_t(std::lround(dpiY / 0.0254));
    if (malformed == QLatin1String("headerSize"))
        header.biSize = 12;
    else if (malformed == QLatin1String("bits16"))
        header.biBitCount = 16;
    else if (malformed == QLatin1String("bits32"))
        header.biBitCount = 32;
    else if (malformed == QLatin1String("compressed"))
        header.biCompression = 1;
    else if (malformed == QLatin1String("hugeWidth"))
        header.biWidth = 0x7fffffff;
    else if (malformed == QLatin1String("heightLie") || malformed == QLatin1String("sizeImageSmall")) {
        header.biHeight *= 2;
        header.biSizeImage = malformed == QLatin1String("heightLie") ? 0 : std::uint32_t(stride * page.height);
    } else if (malformed == QLatin1String("palette24"))
        header.biClrUsed = page.bitsPerPixel == 24 ? 256 : 4096;
    std::memcpy(bytes, &header, sizeof header);
    unsigned char *palette = bytes + sizeof header;
    for (int i = 0; i < paletteEntries; ++i) {
        const auto level = static_cast<unsigned char>(paletteEntries == 2 ? i * 255 : i);
        palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = level;
    }
    unsigned char *pixels = palette + 4 * paletteEntries;
    const int rowBytes = page.rowBytes();
    // A short block keeps the rows that fit: those stored first.
    const int storedRows = shortBlock ? page.height - 2 : page.height;
    for (int y = 0; y < page.height; ++y) {
        const int stored = topDown ? y : page.height - 1 - y;
        if (stored >= storedRows)
            continue;
        unsigned char *to = pixels + std::size_t(stored) * stride;
        const unsigned char *from = page.row(y);
        if (page.bitsPerPixel == 24) {
            for (int x = 0; x < page.width; ++x) {
                to[3 * x] = from[3 * x + 2];
                to[3 * x + 1] = from[3 * x + 1];
                to[3 * x + 2] = from[3 * x];
            }
        } else {
            std::memcpy(to, from, std::size_t(rowBytes));
        }
    }
    memory.unlock(handle);
    return handle;
}
