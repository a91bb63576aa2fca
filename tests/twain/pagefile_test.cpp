// Pages from bytes a source hands over: bitmaps of every depth and layout,
// corrupt ones refused without reading past their block, strips of a memory
// transfer, file names, rotation, and the writer that never leaves a half
// page in place of a good one.

#include "pagefile.h"

#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <cstring>
#include <memory>
#include "testutil.h"

namespace {

void putU32(QByteArray &b, int at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + i] = char((v >> (8 * i)) & 0xFF);
}

void putU16(QByteArray &b, int at, std::uint16_t v)
{
    b[at] = char(v & 0xFF);
    b[at + 1] = char(v >> 8);
}

// The value of a test pixel: distinct per position, so a swapped row, a
// mirrored column or a shifted offset shows.
int pattern(int x, int y, int channel)
{
    return (x * 29 + y * 71 + channel * 101) % 256;
}

bool patternBit(int x, int y)
{
    return ((x * 3 + y * 5) % 7) < 3;
}

struct DibSpec
{
    int width = 13;
    int height = 5;
    int bits = 8;
    bool topDown = false;
    std::uint32_t headerSize = 40;
    std::uint32_t clrUsed = 0;
    int paletteEntries = -1;  // -1: the usual count for the depth
    std::uint32_t compression = 0;
    bool invertedPalette = false;
};

// A DIB built the way a source builds one, with rows from pattern().
QByteArray makeDib(const DibSpec &s)
{
    const int stride = (s.bits * s.width + 31) / 32 * 4;
    const int entries = s.paletteEntries >= 0 ? s.paletteEntries : (s.bits <= 8 ? (s.clrUsed ? int(s.clrUsed) : 1 << s.bits) : 0);
    QByteArray b(int(s.headerSize) + entries * 4 + stride * s.height, '\0');
    putU32(b, 0, s.headerSize);
    putU32(b, 4, std::uint32_t(s.width));
    putU32(b, 8, std::uint32_t(s.topDown ? -s.height : s.height));
    putU16(b, 12, 1);
    putU16(b, 14, std::uint16_t(s.bits));
    putU32(b, 16, s.compression);
    putU32(b, 32, s.clrUsed);
    for (int i = 0; i < entries; ++i) {
        int level = s.bits == 1 ? i * 255 : i;
        if (s.invertedPalette)
            level = 255 - level;
        const int at = int(s.headerSize) + i * 4;
        b[at] = b[at + 1] = b[at + 2] = char(level);
    }
    char *pixels = b.data() + s.headerSize + entries * 4;
    for (int y = 0; y < s.height; ++y) {
        char *row = pixels + (s.topDown ? y : s.height - 1 - y) * stride;
        for (int x = 0; x < s.width; ++x) {
            if (s.bits == 1) {
                if (patternBit(x, y))
                    row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
            } else if (s.bits == 8) {
                row[x] = char(pattern(x, y, 0));
            } else if (s.bits == 24) {
                row[3 * x] = char(pattern(x, y, 2));  // B
                row[3 * x + 1] = char(pattern(x, y, 1));
                row[3 * x + 2] = char(pattern(x, y, 0));  // R
            }
        }
        // Padding holds garbage a careless copy would show.
        for (int p = (s.bits * s.width + 7) / 8; p < stride; ++p)
            row[p] = char(0xA5);
    }
    return b;
}

// The grey or RGB value the page should show at (x, y).
QRgb expectedPixel(int bits, int x, int y, bool inverted = false)
{
    if (bits == 1) {
        const bool white = patternBit(x, y) != inverted;
        return white ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    if (bits == 8) {
        const int v = inverted ? 255 - pattern(x, y, 0) : pattern(x, y, 0);
        return qRgb(v, v, v);
    }
    return qRgb(pattern(x, y, 0), pattern(x, y, 1), pattern(x, y, 2));
}

QString comparePattern(const QImage &image, int bits, int width, int height, bool inverted = false)
{
    if (image.width() != width || image.height() != height)
        return QStringLiteral("size %1x%2").arg(image.width()).arg(image.height());
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            if (image.pixel(x, y) != expectedPixel(bits, x, y, inverted))
                return QStringLiteral("pixel %1,%2 is %3").arg(x).arg(y).arg(image.pixel(x, y), 8, 16);
    return QString();
}

// A copy at the end of its own heap block, so a read past it is caught by
// the address sanitizer when the suite runs under it.
std::unique_ptr<unsigned char[]> exactCopy(const QByteArray &b)
{
    std::unique_ptr<unsigned char[]> copy(new unsigned char[std::size_t(b.size())]);
    std::memcpy(copy.get(), b.constData(), std::size_t(b.size()));
    return copy;
}

using TestUtil::fileBytes;

// The TIFF compression tag (259) of the first directory, 0 when absent.
int tiffCompression(const QByteArray &tiff)
{
    if (tiff.size() < 8)
        return -1;
    const bool le = tiff.startsWith("II");
    auto u16 = [&](int at) {
        const auto *p = reinterpret_cast<const unsigned char *>(tiff.constData() + at);
        return le ? p[0] | p[1] << 8 : p[0] << 8 | p[1];
    };
    auto u32 = [&](int at) { return le ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2); };
    const int ifd = u32(4);
    if (ifd <= 0 || ifd + 2 > tiff.size())
        return -1;
    const int count = u16(ifd);
    for (int i = 0; i < count && ifd + 2 + i * 12 + 12 <= tiff.size(); ++i) {
        const int at = ifd + 2 + i * 12;
        if (u16(at) == 259)
            return u16(at + 8);
    }
    return 0;
}

} // namespace

class PageFileTest : public QObject
{
    Q_OBJECT

private slots:
    void dibPixels_data();
    void dibPixels();
    void dibRefused_data();
    void dibRefused();
    void dibWithoutBlockSize_data();
    void dibWithoutBlockSize();
    void dibScanLineBounds();
    void stripsThatDoNotAdvance();
    void diskFullIsNamed();
    void strips_data();
    void strips();
    void stripRefused_data();
    void stripRefused();
    void unknownLength();
    void fileNames_data();
    void fileNames();
    void rotation_data();
    void rotation();
    void writeFormats_data();
    void writeFormats();
    void tiffCompressionTag_data();
    void tiffCompressionTag();
    void failedWriteKeepsOldFile_data();
    void failedWriteKeepsOldFile();
};

void PageFileTest::dibPixels_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("topDown");
    QTest::addColumn<int>("clrUsed");
    QTest::addColumn<int>("headerSize");
    QTest::addColumn<bool>("inverted");
    QTest::addRow("1 bit, width 13") << 13 << 5 << 1 << false << 0 << 40 << false;
    QTest::addRow("1 bit, width 32 no padding") << 32 << 3 << 1 << false << 0 << 40 << false;
    QTest::addRow("1 bit, white at 0") << 13 << 5 << 1 << false << 0 << 40 << true;
    QTest::addRow("8 bit, 256-entry palette, clrUsed 0") << 13 << 5 << 8 << false << 0 << 40 << false;
    QTest::addRow("8 bit, clrUsed 256") << 13 << 5 << 8 << false << 256 << 40 << false;
    QTest::addRow("8 bit, inverted palette") << 7 << 4 << 8 << false << 0 << 40 << true;
    QTest::addRow("8 bit, width 1") << 1 << 9 << 8 << false << 0 << 40 << false;
    QTest::addRow("8 bit, top-down") << 13 << 5 << 8 << true << 0 << 40 << false;
    QTest::addRow("8 bit, 124-byte header") << 6 << 3 << 8 << false << 0 << 124 << false;
    QTest::addRow("24 bit, width 13") << 13 << 5 << 24 << false << 0 << 40 << false;
    QTest::addRow("24 bit, width 4 no padding") << 4 << 6 << 24 << false << 0 << 40 << false;
    QTest::addRow("24 bit, top-down") << 5 << 7 << 24 << true << 0 << 40 << false;
}

void PageFileTest::dibPixels()
{
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, bits);
    QFETCH(bool, topDown);
    QFETCH(int, clrUsed);
    QFETCH(int, headerSize);
    QFETCH(bool, inverted);
    DibSpec spec;
    spec.width = width;
    spec.height = height;
    spec.bits = bits;
    spec.topDown = topDown;
    spec.clrUsed = std::uint32_t(clrUsed);
    spec.headerSize = std::uint32_t(headerSize);
    spec.invertedPalette = inverted;
    const QByteArray dib = makeDib(spec);
    auto copy = exactCopy(dib);

    DibView view;
    QString error;
    QVERIFY2(DibView::parse(copy.get(), std::size_t(dib.size()), &view, &error), qPrintable(error));
    QCOMPARE(view.width(), width);
    QCOMPARE(view.height(), height);
    QCOMPARE(view.bitCount(), bits);
    QCOMPARE(view.topDown(), topDown);
    QCOMPARE(view.stride() % 4, 0);
    QVERIFY(view.stride() >= (bits * width + 7) / 8);
    QCOMPARE(view.paletteCount(), bits <= 8 ? 1 << bits : 0);

    const QImage image = dibBlockToImage(copy.get(), std::size_t(dib.size()), &error);
    QVERIFY2(!image.isNull(), qPrintable(error));
    const QString mismatch = comparePattern(image, bits, width, height, inverted);
    QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));

    // The same image when the manager cannot tell the block's size.
    const QImage unknown = dibBlockToImage(copy.get(), DibView::UnknownSize, &error);
    QCOMPARE(unknown, image);
}

void PageFileTest::dibRefused_data()
{
    QTest::addColumn<QByteArray>("dib");
    QTest::addColumn<QString>("reason");
    DibSpec plain;
    const QByteArray good = makeDib(plain);

    QTest::addRow("header shorter than 40 bytes") << good.left(39) << "too short";
    QByteArray core = good;
    putU32(core, 0, 12);
    QTest::addRow("header size 12") << core << "unknown size";
    QByteArray huge = good;
    putU32(huge, 0, 0x7FFFFFF0);
    QTest::addRow("header size beyond the block") << huge << "unknown size";
    QTest::addRow("one byte short") << good.left(good.size() - 1) << "shorter than its header";
    QTest::addRow("palette cut off") << good.left(40 + 100) << "shorter than its header";
    DibSpec s16 = plain;
    s16.bits = 16;
    QTest::addRow("16 bit") << makeDib(s16) << "16 bits";
    DibSpec s32 = plain;
    s32.bits = 32;
    QTest::addRow("32 bit") << makeDib(s32) << "32 bits";
    DibSpec s4 = plain;
    s4.bits = 4;
    QTest::addRow("4 bit") << makeDib(s4) << "4 bits";
    DibSpec rle = plain;
    rle.compression = 1;
    QTest::addRow("run-length compressed") << makeDib(rle) << "Compressed";
    DibSpec fields = plain;
    fields.bits = 24;
    fields.compression = 3;
    QTest::addRow("bit fields") << makeDib(fields) << "Compressed";
    QByteArray zeroWidth = good;
    putU32(zeroWidth, 4, 0);
    QTest::addRow("width 0") << zeroWidth << "impossible";
    QByteArray negWidth = good;
    putU32(negWidth, 4, std::uint32_t(-13));
    QTest::addRow("negative width") << negWidth << "impossible";
    QByteArray zeroHeight = good;
    putU32(zeroHeight, 8, 0);
    QTest::addRow("height 0") << zeroHeight << "impossible";
    QByteArray minHeight = good;
    putU32(minHeight, 8, 0x80000000u);
    QTest::addRow("height INT32_MIN") << minHeight << "impossible";
    QByteArray wide = good;
    putU32(wide, 4, 0x7FFFFFFF);
    QTest::addRow("width 2^31-1") << wide << "impossible";
    QByteArray big = good;
    putU32(big, 4, 60000);
    putU32(big, 8, 60000);
    putU16(big, 14, 24);
    putU32(big, 32, 0);
    QTest::addRow("60000 x 60000 colour") << big << "too large";
    QByteArray tall = good;
    putU32(tall, 8, 5000);
    QTest::addRow("taller than the block") << tall << "shorter than its header";
    QByteArray palette = good;
    putU32(palette, 32, 257);
    QTest::addRow("257 palette entries at 8 bit") << palette << "more than";
    DibSpec mono = plain;
    mono.bits = 1;
    QByteArray monoPalette = makeDib(mono);
    putU32(monoPalette, 32, 3);
    QTest::addRow("3 palette entries at 1 bit") << monoPalette << "more than";
    QByteArray clrHuge = good;
    putU32(clrHuge, 32, 0xFFFFFFFF);
    QTest::addRow("palette count 2^32-1") << clrHuge << "more than";
    QByteArray sizeImage = good;
    putU32(sizeImage, 20, 13 * 4);  // four rows' worth for five
    QTest::addRow("stated image size smaller than the rows") << sizeImage << "inconsistent";
}

void PageFileTest::dibWithoutBlockSize_data()
{
    // The manager cannot say the block's size: the header and the layout
    // the source announced are the only witnesses.
    QTest::addColumn<QByteArray>("dib");
    QTest::addColumn<int>("layoutWidth");
    QTest::addColumn<int>("layoutLength");
    QTest::addColumn<int>("layoutBits");
    QTest::addColumn<QString>("reason");  // empty: taken
    DibSpec plain;  // 13 x 5 at 8 bits
    const QByteArray good = makeDib(plain);
    QTest::addRow("as announced") << good << 13 << 5 << 8 << "";
    QTest::addRow("nothing announced") << good << 0 << 0 << 0 << "";
    QTest::addRow("length not known in advance") << good << 13 << -1 << 8 << "";
    QByteArray taller = good;
    putU32(taller, 8, 10);
    QTest::addRow("header claims twice the rows") << taller << 13 << 5 << 8 << "larger than the source announced";
    QTest::addRow("wider than announced") << good << 12 << 5 << 8 << "larger than the source announced";
    QTest::addRow("deeper than announced") << good << 13 << 5 << 1 << "larger than the source announced";
    QByteArray sizeImage = taller;
    putU32(sizeImage, 20, 16 * 5);
    QTest::addRow("stated size of half the rows, nothing announced") << sizeImage << 0 << 0 << 0 << "inconsistent";
    DibSpec colour = plain;
    colour.bits = 24;
    QByteArray colourPalette = makeDib(colour);
    putU32(colourPalette, 32, 256);
    QTest::addRow("24 bit with a palette it does not carry") << colourPalette << 13 << 5 << 24 << "palette";
}

void PageFileTest::dibWithoutBlockSize()
{
    QFETCH(QByteArray, dib);
    QFETCH(int, layoutWidth);
    QFETCH(int, layoutLength);
    QFETCH(int, layoutBits);
    QFETCH(QString, reason);
    // A copy of exactly the block: a read past it is a sanitizer report.
    auto copy = exactCopy(dib);
    TW_IMAGEINFO layout = {};
    layout.ImageWidth = layoutWidth;
    layout.ImageLength = layoutLength;
    layout.BitsPerPixel = TW_INT16(layoutBits);
    QString error;
    const QImage image = dibBlockToImage(copy.get(), DibView::UnknownSize, &error, &layout);
    if (reason.isEmpty()) {
        QVERIFY2(!image.isNull(), qPrintable(error));
        QCOMPARE(image.size(), QSize(13, 5));
    } else {
        QVERIFY(image.isNull());
        QVERIFY2(error.contains(reason), qPrintable(error));
    }
}

void PageFileTest::dibRefused()
{
    QFETCH(QByteArray, dib);
    QFETCH(QString, reason);
    auto copy = exactCopy(dib);
    DibView view;
    QString error;
    QVERIFY(!DibView::parse(copy.get(), std::size_t(dib.size()), &view, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
    error.clear();
    QVERIFY(dibBlockToImage(copy.get(), std::size_t(dib.size()), &error).isNull());
    QVERIFY(!error.isEmpty());
}

void PageFileTest::dibScanLineBounds()
{
    DibSpec spec;
    spec.topDown = true;
    const QByteArray dib = makeDib(spec);
    DibView view;
    QVERIFY(DibView::parse(dib.constData(), std::size_t(dib.size()), &view, nullptr));
    QVERIFY(view.scanLine(-1) == nullptr);
    QVERIFY(view.scanLine(spec.height) == nullptr);
    QVERIFY(view.paletteEntry(256) == nullptr);
    QVERIFY(view.paletteEntry(-1) == nullptr);
    QVERIFY(!DibView::parse(nullptr, 100, &view, nullptr));
}

namespace {

// A page of rows from pattern(), sent in strips of rowsPerStrip with rows
// padded to bytesPerRow in a buffer of bufferSize.
struct StripPlan
{
    int width, length, bits, rowsPerStrip, padding;
};

QByteArray packedRow(int bits, int width, int y)
{
    QByteArray row((bits * width + 7) / 8, '\0');
    for (int x = 0; x < width; ++x) {
        if (bits == 1) {
            if (patternBit(x, y))
                row[x / 8] = char(row[x / 8] | (0x80 >> (x % 8)));
        } else if (bits == 8) {
            row[x] = char(pattern(x, y, 0));
        } else {
            for (int c = 0; c < 3; ++c)
                row[3 * x + c] = char(pattern(x, y, c));
        }
    }
    return row;
}

bool sendPage(StripAssembler &assembler, const StripPlan &p, int declaredLength, QString *error)
{
    const int rowBytes = (p.bits * p.width + 7) / 8;
    const int bytesPerRow = rowBytes + p.padding;
    const std::size_t bufferSize = std::size_t(bytesPerRow) * std::size_t(p.rowsPerStrip);
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[bufferSize]);
    if (!assembler.begin(p.width, declaredLength, p.bits, error))
        return false;
    for (int y0 = 0; y0 < p.length; y0 += p.rowsPerStrip) {
        const int rows = std::min(p.rowsPerStrip, p.length - y0);
        std::memset(buffer.get(), 0x5A, bufferSize);
        for (int i = 0; i < rows; ++i) {
            const QByteArray row = packedRow(p.bits, p.width, y0 + i);
            std::memcpy(buffer.get() + i * bytesPerRow, row.constData(), std::size_t(row.size()));
        }
        TW_IMAGEMEMXFER strip = {};
        strip.Compression = TWCP_NONE;
        strip.BytesPerRow = TW_UINT32(bytesPerRow);
        strip.Columns = TW_UINT32(p.width);
        strip.Rows = TW_UINT32(rows);
        strip.XOffset = 0;
        strip.YOffset = TW_UINT32(y0);
        strip.BytesWritten = TW_UINT32(rows * bytesPerRow);
        if (!assembler.addStrip(buffer.get(), bufferSize, strip, error))
            return false;
    }
    return true;
}

} // namespace

void PageFileTest::strips_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("rowsPerStrip");
    QTest::addColumn<int>("padding");
    QTest::addRow("1 bit, odd width, uneven last strip") << 1 << 13 << 11 << 4 << 0;
    QTest::addRow("1 bit, padded rows") << 1 << 21 << 6 << 6 << 5;
    QTest::addRow("8 bit, one row per strip") << 8 << 13 << 7 << 1 << 0;
    QTest::addRow("8 bit, padded rows") << 8 << 9 << 10 << 3 << 3;
    QTest::addRow("24 bit, whole page in one strip") << 24 << 7 << 5 << 5 << 0;
    QTest::addRow("24 bit, padded rows") << 24 << 5 << 9 << 2 << 1;
}

void PageFileTest::strips()
{
    QFETCH(int, bits);
    QFETCH(int, width);
    QFETCH(int, length);
    QFETCH(int, rowsPerStrip);
    QFETCH(int, padding);
    const StripPlan plan{width, length, bits, rowsPerStrip, padding};
    for (const int declared : {length, -1}) {
        StripAssembler assembler;
        QString error;
        QVERIFY2(sendPage(assembler, plan, declared, &error), qPrintable(error));
        const QImage image = assembler.finish(&error);
        QVERIFY2(!image.isNull(), qPrintable(error));
        const QString mismatch = comparePattern(image, bits, width, length);
        QVERIFY2(mismatch.isEmpty(), qPrintable(QStringLiteral("length %1: %2").arg(declared).arg(mismatch)));
    }
}

void PageFileTest::stripRefused_data()
{
    QTest::addColumn<int>("bits");
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("bytesPerRow");  // -1: the row length
    QTest::addColumn<int>("rows");
    QTest::addColumn<int>("yOffset");
    QTest::addColumn<int>("bufferSize");
    QTest::addColumn<int>("bytesWritten");  // -1: don't care
    QTest::addColumn<int>("columns");       // -1: the width
    QTest::addColumn<int>("compression");
    QTest::addColumn<QString>("reason");
    // Width 10 everywhere; 8-bit rows are 10 bytes.
    QTest::addRow("2 bit") << 2 << 4 << -1 << 1 << 0 << 64 << -1 << -1 << 0 << "2 bits";
    QTest::addRow("4 bit") << 4 << 4 << -1 << 1 << 0 << 64 << -1 << -1 << 0 << "4 bits";
    QTest::addRow("7 bit") << 7 << 4 << -1 << 1 << 0 << 64 << -1 << -1 << 0 << "7 bits";
    QTest::addRow("32 bit") << 32 << 4 << -1 << 1 << 0 << 64 << -1 << -1 << 0 << "32 bits";
    QTest::addRow("length -2") << 8 << -2 << -1 << 1 << 0 << 64 << -1 << -1 << 0 << "impossible";
    QTest::addRow("length 0") << 8 << 0 << -1 << 1 << 0 << 64 << -1 << -1 << 0 << "impossible";
    QTest::addRow("strip past the length") << 8 << 4 << -1 << 2 << 3 << 64 << -1 << -1 << 0 << "reaches row 5";
    QTest::addRow("offset far past the length") << 8 << 4 << -1 << 1 << 0x7FFFFFF0 << 64 << -1 << -1 << 0 << "reaches";
    QTest::addRow("bytes per row beyond the buffer") << 8 << 4 << 60 << 2 << 0 << 64 << -1 << -1 << 0 << "does not fit";
    QTest::addRow("rows beyond the buffer") << 8 << 40 << -1 << 7 << 0 << 64 << -1 << -1 << 0 << "does not fit";
    QTest::addRow("huge row count") << 8 << 4 << -1 << 0x7FFFFFFF << 0 << 64 << -1 << -1 << 0 << "does not fit";
    QTest::addRow("huge bytes per row") << 8 << 4 << 0x7FFFFFFF << 2 << 0 << 64 << -1 << -1 << 0 << "does not fit";
    QTest::addRow("fewer bytes written than rows") << 8 << 4 << -1 << 3 << 0 << 64 << 20 << -1 << 0 << "does not fit";
    QTest::addRow("row shorter than the page's") << 8 << 4 << 9 << 1 << 0 << 64 << -1 << -1 << 0 << "shorter";
    QTest::addRow("tile") << 8 << 4 << -1 << 1 << 0 << 64 << -1 << 5 << 0 << "Tiled";
    QTest::addRow("compressed") << 8 << 4 << -1 << 1 << 0 << 64 << -1 << -1 << 5 << "Compressed";
}

void PageFileTest::stripRefused()
{
    QFETCH(int, bits);
    QFETCH(int, length);
    QFETCH(int, bytesPerRow);
    QFETCH(int, rows);
    QFETCH(int, yOffset);
    QFETCH(int, bufferSize);
    QFETCH(int, bytesWritten);
    QFETCH(int, columns);
    QFETCH(int, compression);
    QFETCH(QString, reason);
    const int width = 10;
    StripAssembler assembler;
    QString error;
    if (!assembler.begin(width, length, bits, &error)) {
        QVERIFY2(error.contains(reason), qPrintable(error));
        return;
    }
    std::unique_ptr<unsigned char[]> buffer(new unsigned char[std::size_t(bufferSize)]());
    TW_IMAGEMEMXFER strip = {};
    strip.Compression = TW_UINT16(compression);
    strip.BytesPerRow = TW_UINT32(bytesPerRow < 0 ? (bits * width + 7) / 8 : bytesPerRow);
    strip.Columns = TW_UINT32(columns < 0 ? width : columns);
    strip.Rows = TW_UINT32(rows);
    strip.YOffset = TW_UINT32(yOffset);
    strip.BytesWritten = bytesWritten < 0 ? TWON_DONTCARE32 : TW_UINT32(bytesWritten);
    QVERIFY(!assembler.addStrip(buffer.get(), std::size_t(bufferSize), strip, &error));
    QVERIFY2(error.contains(reason), qPrintable(error));
}

void PageFileTest::unknownLength()
{
    // Strips without offsets follow one another; the page ends at the last.
    StripAssembler assembler;
    QString error;
    QVERIFY(assembler.begin(4, -1, 8, &error));
    QVERIFY(assembler.finish(&error).isNull());
    QVERIFY(assembler.begin(4, -1, 8, &error));
    unsigned char buffer[12];
    for (int s = 0; s < 3; ++s) {
        std::memset(buffer, 10 * (s + 1), sizeof buffer);
        TW_IMAGEMEMXFER strip = {};
        strip.Compression = TWON_DONTCARE16;
        strip.BytesPerRow = 4;
        strip.Columns = TWON_DONTCARE32;
        strip.Rows = 3;
        strip.XOffset = TWON_DONTCARE32;
        strip.YOffset = TWON_DONTCARE32;
        strip.BytesWritten = TWON_DONTCARE32;
        QVERIFY2(assembler.addStrip(buffer, sizeof buffer, strip, &error), qPrintable(error));
    }
    const QImage image = assembler.finish(&error);
    QCOMPARE(image.size(), QSize(4, 9));
    QCOMPARE(qGray(image.pixel(0, 0)), 10);
    QCOMPARE(qGray(image.pixel(3, 8)), 30);

    // Even without a length the page has a bound.
    QVERIFY(assembler.begin(4, -1, 8, &error));
    TW_IMAGEMEMXFER far = {};
    far.BytesPerRow = 4;
    far.Columns = 4;
    far.Rows = 1;
    far.YOffset = 70000;
    far.BytesWritten = 4;
    QVERIFY(!assembler.addStrip(buffer, sizeof buffer, far, &error));
}

void PageFileTest::stripsThatDoNotAdvance()
{
    // Width 4, 8-bit, 4 rows; strips of 2 rows from a buffer of 8 bytes.
    unsigned char buffer[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    auto strip = [](TW_UINT32 rows, TW_UINT32 y) {
        TW_IMAGEMEMXFER s = {};
        s.Compression = TWON_DONTCARE16;
        s.BytesPerRow = 4;
        s.Columns = 4;
        s.Rows = rows;
        s.YOffset = y;
        s.BytesWritten = rows * 4;
        return s;
    };
    StripAssembler page;
    QString error;
    QVERIFY(page.begin(4, 4, 8, &error));
    QVERIFY(page.addStrip(buffer, sizeof buffer, strip(2, 0), &error));
    QCOMPARE(page.lastNewRows(), 2);
    // Again at row 0, and a strip of no rows: nothing new.
    QVERIFY(page.addStrip(buffer, sizeof buffer, strip(2, 0), &error));
    QCOMPARE(page.lastNewRows(), 0);
    QVERIFY(page.addStrip(buffer, sizeof buffer, strip(0, 2), &error));
    QCOMPARE(page.lastNewRows(), 0);
    // Done now, with rows 2 and 3 never sent: no page.
    QVERIFY(page.finish(&error).isNull());
    QVERIFY2(error.contains(QStringLiteral("2 of its 4 rows")), qPrintable(error));

    // A gap in the middle is no page either, length known or not.
    for (const TW_INT32 length : {6, -1}) {
        QVERIFY(page.begin(4, length, 8, &error));
        QVERIFY(page.addStrip(buffer, sizeof buffer, strip(2, 0), &error));
        QVERIFY(page.addStrip(buffer, sizeof buffer, strip(2, 4), &error));
        QVERIFY(page.finish(&error).isNull());
        QVERIFY2(error.contains(QStringLiteral("rows transferred")), qPrintable(error));
    }

    // A page beyond a native image's ceiling is refused before any memory.
    QVERIFY(!page.begin(65535, 65535, 24, &error));
    QVERIFY2(error.contains(QStringLiteral("too large")), qPrintable(error));
}

void PageFileTest::diskFullIsNamed()
{
    // A file size limit makes the system refuse the write as a full disk
    // would: the message carries the system's reason, not "Unknown error".
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("A01.png"));
    QImage noise(300, 300, QImage::Format_Grayscale8);
    for (int y = 0; y < noise.height(); ++y)
        for (int x = 0; x < noise.width(); ++x)
            noise.scanLine(y)[x] = uchar((x * 7919 + y * 104729) % 251);
    struct rlimit old = {};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 1;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
    QString error;
    const bool written = writePageFile(noise, path, 50, false, false, &error);
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    QVERIFY(!written);
    QVERIFY2(error.contains(QString::fromLocal8Bit(std::strerror(EFBIG))), qPrintable(error));
    QVERIFY2(!error.contains(QStringLiteral("Unknown error")), qPrintable(error));
    QVERIFY(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).isEmpty());
}

void PageFileTest::fileNames_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("prefix");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("length");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("expected");
    QTest::addRow("99 length 2") << "/scan" << "A" << 99 << 2 << "png" << "/scan/A99.png";
    QTest::addRow("100 length 2 is not cut") << "/scan" << "A" << 100 << 2 << "png" << "/scan/A100.png";
    QTest::addRow("7 length 4") << "/scan" << "A" << 7 << 4 << "jpg" << "/scan/A0007.jpg";
    QTest::addRow("123456 length 2") << "/scan" << "" << 123456 << 2 << "tiff" << "/scan/123456.tiff";
    QTest::addRow("1 length 6, no prefix") << "/data/exam 1" << "" << 1 << 6 << "bmp" << "/data/exam 1/000001.bmp";
    QTest::addRow("Chinese prefix") << "/scan" << "语文" << 12 << 3 << "jpg" << "/scan/语文012.jpg";
}

void PageFileTest::fileNames()
{
    QFETCH(QString, folder);
    QFETCH(QString, prefix);
    QFETCH(int, number);
    QFETCH(int, length);
    QFETCH(QString, format);
    QFETCH(QString, expected);
    QCOMPARE(scanFileName(folder, prefix, number, length, format), QDir::toNativeSeparators(expected));
}

void PageFileTest::rotation_data()
{
    QTest::addColumn<int>("flag");
    QTest::addColumn<QSize>("size");
    // Where the top-left pixel of the page goes.
    QTest::addColumn<QPoint>("topLeftTo");
    QTest::addRow("none") << 0 << QSize(4, 3) << QPoint(0, 0);
    QTest::addRow("clockwise") << 1 << QSize(3, 4) << QPoint(2, 0);
    QTest::addRow("anticlockwise") << 2 << QSize(3, 4) << QPoint(0, 3);
    QTest::addRow("180") << 3 << QSize(4, 3) << QPoint(3, 2);
    QTest::addRow("unknown flag") << 7 << QSize(4, 3) << QPoint(0, 0);
    QTest::addRow("negative flag") << -1 << QSize(4, 3) << QPoint(0, 0);
}

void PageFileTest::rotation()
{
    QFETCH(int, flag);
    QFETCH(QSize, size);
    QFETCH(QPoint, topLeftTo);
    for (const QImage::Format format : {QImage::Format_Grayscale8, QImage::Format_RGB888, QImage::Format_Mono}) {
        QImage image(4, 3, format);
        if (format == QImage::Format_Mono) {
            image.setColorCount(2);
            image.setColor(0, qRgb(0, 0, 0));
            image.setColor(1, qRgb(255, 255, 255));
            image.fill(1);
            image.setPixel(0, 0, 0);
        } else {
            image.fill(Qt::white);
            image.setPixel(0, 0, qRgb(0, 0, 0));
        }
        rotatePageImage(image, flag);
        QCOMPARE(image.size(), size);
        QCOMPARE(image.format(), format);
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QCOMPARE(qGray(image.pixel(x, y)) == 0, QPoint(x, y) == topLeftTo);
    }
}

void PageFileTest::writeFormats_data()
{
    QTest::addColumn<QString>("suffix");
    QTest::addColumn<int>("bits");
    QTest::addColumn<bool>("lossless");
    for (const int bits : {1, 8, 24}) {
        QTest::addRow("png %d bit", bits) << "png" << bits << true;
        QTest::addRow("bmp %d bit", bits) << "bmp" << bits << true;
        QTest::addRow("tiff %d bit", bits) << "tiff" << bits << true;
        QTest::addRow("jpg %d bit", bits) << "jpg" << bits << false;
    }
}

void PageFileTest::writeFormats()
{
    QFETCH(QString, suffix);
    QFETCH(int, bits);
    QFETCH(bool, lossless);
    DibSpec spec;
    spec.width = 64;
    spec.height = 40;
    spec.bits = bits;
    const QByteArray dib = makeDib(spec);
    const QImage image = dibBlockToImage(dib.constData(), std::size_t(dib.size()), nullptr);
    QVERIFY(!image.isNull());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("A01.") + suffix);
    {
        // A page of that name from an earlier batch is replaced.
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(100000, 'x'));
    }
    QString error;
    QVERIFY2(writePageFile(image, path, 90, suffix == QLatin1String("tiff"), true, &error), qPrintable(error));
    QImageReader reader(path);
    QCOMPARE(QString::fromLatin1(reader.format()), suffix == QLatin1String("jpg") ? QStringLiteral("jpeg") : suffix);
    const QImage back = reader.read();
    QCOMPARE(back.size(), image.size());
    if (lossless) {
        const QString mismatch = comparePattern(back, bits, spec.width, spec.height);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }
    // Nothing but the page is left in the folder.
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QFileInfo(path).fileName()});
}

void PageFileTest::tiffCompressionTag_data()
{
    QTest::addColumn<bool>("lzw");
    QTest::addColumn<int>("tag");
    QTest::addRow("LZW") << true << 5;
    QTest::addRow("none") << false << 1;
}

void PageFileTest::tiffCompressionTag()
{
    QFETCH(bool, lzw);
    QFETCH(int, tag);
    DibSpec spec;
    spec.width = 64;
    spec.height = 64;
    const QByteArray dib = makeDib(spec);
    const QImage image = dibBlockToImage(dib.constData(), std::size_t(dib.size()), nullptr);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("A01.tiff"));
    QVERIFY(writePageFile(image, path, 50, true, lzw, nullptr));
    const int compression = tiffCompression(fileBytes(path));
    QVERIFY2(compression == tag || (!lzw && compression == 0), qPrintable(QString::number(compression)));
}

void PageFileTest::failedWriteKeepsOldFile_data()
{
    QTest::addColumn<QString>("how");
    QTest::addRow("read-only folder") << "readonly";
    QTest::addRow("path is a folder") << "directory";
    QTest::addRow("folder missing") << "missing";
    QTest::addRow("no writer for the format") << "format";
}

void PageFileTest::failedWriteKeepsOldFile()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("A01.png"));
    const QByteArray old("the page scanned before");
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(old);
    }
    if (how == QLatin1String("readonly")) {
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        if (QFileInfo(dir.path()).isWritable())
            QSKIP("this user writes into read-only folders (root)");
    } else if (how == QLatin1String("directory")) {
        path = dir.filePath(QStringLiteral("A02.png"));
        QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("A02.png")));
    } else if (how == QLatin1String("missing")) {
        path = dir.filePath(QStringLiteral("gone/A01.png"));
    } else {
        path = dir.filePath(QStringLiteral("A01.xyz"));
    }
    QImage image(8, 8, QImage::Format_Grayscale8);
    image.fill(Qt::black);
    QString error;
    const bool written = writePageFile(image, path, 50, false, false, &error);
    QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QVERIFY(!written);
    QVERIFY(!error.isEmpty());
    QCOMPARE(fileBytes(dir.filePath(QStringLiteral("A01.png"))), old);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("A01.png")});
}

QTEST_GUILESS_MAIN(PageFileTest)
#include "pagefile_test.moc"
