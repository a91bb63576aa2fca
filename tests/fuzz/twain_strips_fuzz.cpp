// One page of a buffered memory transfer: the first 8 bytes are the page
// (ImageWidth, ImageLength as signed 16-bit, BitsPerPixel, buffer size as
// 16-bit), then strips of 14 bytes each (Rows, BytesPerRow, YOffset,
// BytesWritten, Columns, XOffset as 16-bit with 0xFFFF for "don't care",
// Compression) followed by the buffer's bytes, taken from the rest.

#include "fuzzsupport.h"
#include "pagefile.h"

#include <QString>

#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietQtLogging();
    return 0;
}

namespace {

std::uint16_t u16(const uint8_t *p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

TW_UINT32 field(const uint8_t *p)
{
    const std::uint16_t v = u16(p);
    return v == 0xFFFF ? TW_UINT32(TWON_DONTCARE32) : TW_UINT32(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 8)
        return 0;
    const auto width = std::int16_t(u16(data));
    const auto length = std::int16_t(u16(data + 2));
    const int bits = data[4];
    const std::size_t bufferSize = std::size_t(u16(data + 6) % 4096) + 1;
    // Pages of a few megapixels at most: the ceiling itself is a unit test,
    // and a gigabyte page per input would leave no time for the strips.
    if (std::abs(int(width)) * std::abs(int(length)) > (1 << 22))
        return 0;
    StripAssembler page;
    QString why;
    if (!page.begin(width, length, bits, &why)) {
        if (why.isEmpty())
            std::abort();
        return 0;
    }
    std::vector<unsigned char> buffer(bufferSize);
    std::size_t at = 8;
    for (int strips = 0; strips < 64 && at + 14 <= size; ++strips) {
        const uint8_t *s = data + at;
        at += 14;
        TW_IMAGEMEMXFER strip = {};
        strip.Rows = field(s);
        strip.BytesPerRow = field(s + 2);
        strip.YOffset = field(s + 4);
        strip.BytesWritten = field(s + 6);
        strip.Columns = field(s + 8);
        strip.XOffset = field(s + 10);
        strip.Compression = u16(s + 12) == 0xFFFF ? TW_UINT16(TWON_DONTCARE16) : u16(s + 12);
        const std::size_t take = std::min(bufferSize, size - at);
        std::memcpy(buffer.data(), data + at, take);
        at += take;
        if (!page.addStrip(buffer.data(), buffer.size(), strip, &why)) {
            if (why.isEmpty())
                std::abort();
            return 0;
        }
        if (page.lastNewRows() < 0)
            std::abort();
    }
    const QImage image = page.finish(&why);
    if (image.isNull() ? why.isEmpty() : (image.width() != width || (length > 0 && image.height() != length)))
        std::abort();
    return 0;
}
