#pragma once
// From what a scanner delivers to a page file on disk: a checked view of a
// native image (a device-independent bitmap in one memory block), its
// conversion to a QImage, the assembler of a buffered memory transfer, the
// page's file name, its rotation and the writer that replaces a file only
// once the new one is complete. Nothing here trusts a size the source gave:
// every copy is bounded by the block or the image it reads or writes.

#include "twain.h"

#include <QImage>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <vector>

class DibView
{
public:
    // The block's size is not known (the manager cannot tell it): only the
    // header's own arithmetic, within hard caps, bounds the pixel rows.
    static constexpr std::size_t UnknownSize = SIZE_MAX;
    // Beyond these a header is taken as corrupt rather than as a page.
    static constexpr int MaxDimension = 65535;
    static constexpr std::uint64_t MaxPixelBytes = std::uint64_t(1) << 30;

    // Lays a view over a DIB of size bytes. False, with the reason in error,
    // for a header of an unknown size, a depth other than 1, 8 or 24 bits, a
    // compressed image, impossible dimensions or palette, a stated image size
    // smaller than the rows, or rows that would end past the block.
    static bool parse(const void *block, std::size_t size, DibView *view, QString *error);

    // False, with the reason, when the image is wider, longer or deeper than
    // the layout the source announced for the page (DAT_IMAGEINFO): with no
    // block size to go by, that is the last check of a header's claims.
    bool fitsLayout(const TW_IMAGEINFO &info, QString *error) const;

    int width() const { return m_width; }
    int height() const { return m_height; }
    int bitCount() const { return m_bitCount; }
    int stride() const { return m_stride; }
    int paletteCount() const { return m_paletteCount; }
    bool topDown() const { return m_topDown; }
    // Palette entry i as B, G, R, reserved; null past the palette.
    const unsigned char *paletteEntry(int i) const;
    // Row y counted from the top of the page, whichever order the block holds.
    const unsigned char *scanLine(int y) const;

private:
    const unsigned char *m_palette = nullptr;
    const unsigned char *m_pixels = nullptr;
    int m_width = 0, m_height = 0, m_bitCount = 0, m_stride = 0, m_paletteCount = 0;
    bool m_topDown = false;
};

// The page image of a parsed DIB: 1 bit monochrome, 8 bits grey, 24 bits RGB
// (the DIB's B, G, R order turned to true colours). A palette that is not the
// plain black-to-white ramp is applied as grey levels, so what the source
// meant as black stays black.
QImage dibToImage(const DibView &view);
// parse and dibToImage in one, checked against the announced layout when
// one is given; a null image with the reason in error.
QImage dibBlockToImage(const void *block, std::size_t size, QString *error,
                       const TW_IMAGEINFO *announced = nullptr);

// Assembles one page of a buffered memory transfer from its strips. Only
// uncompressed 1-, 8- and 24-bit pages are taken; a page whose length is not
// known in advance (ImageLength -1) grows as its strips arrive.
class StripAssembler
{
public:
    // False, with the reason, for a depth or width it cannot take.
    bool begin(TW_INT32 imageWidth, TW_INT32 imageLength, int bitsPerPixel, QString *error);
    // Copies a strip of the buffer (bufferSize bytes) into the page. False,
    // with the reason, when the strip's rows would read past the buffer or
    // what the source says it wrote, are shorter than a page row, are a tile
    // rather than whole rows, or reach beyond the page.
    bool addStrip(const unsigned char *buffer, std::size_t bufferSize, const TW_IMAGEMEMXFER &strip, QString *error);
    // Rows the last strip added that no strip before it had brought; a
    // strip that adds none has not moved the page on.
    int lastNewRows() const { return m_lastNewRows; }
    // The page; null (with the reason) when no row arrived or some rows of
    // the page never did.
    QImage finish(QString *error);
    bool isStarted() const { return m_started; }
    // Bytes of one page row.
    int rowBytes() const { return m_rowBytes; }

private:
    QImage m_image;                    // known length: rows go straight in
    std::vector<unsigned char> m_grow; // unknown length: rows gathered here
    std::vector<bool> m_covered;       // rows some strip has written
    int m_width = 0, m_length = -1, m_bits = 0, m_rowBytes = 0, m_rowsSeen = 0;
    int m_rowsCovered = 0, m_lastNewRows = 0;
    bool m_started = false;
};

// The running number left-filled with "0" to length digits, never cut.
QString pageNumberText(int number, int length);
// "folder/prefix<number>.format" in the platform's separators.
QString scanFileName(const QString &folder, const QString &prefix, int number, int length, const QString &format);

// 1: 90 degrees clockwise; 2: 90 degrees anticlockwise; 3: 180 degrees;
// anything else leaves the image as it is.
void rotatePageImage(QImage &image, int rotateFlag);

// Writes the page to filePath in the format of its suffix (jpg, png, bmp,
// tif/tiff). tiff, whatever the suffix, writes TIFF with LZW when tiffLzw.
// The image goes to a temporary file in the same folder that replaces
// filePath only when it is complete; on failure an existing file is left as
// it was and error says why.
bool writePageFile(const QImage &image, const QString &filePath, int quality, bool tiff, bool tiffLzw,
                   QString *error);
