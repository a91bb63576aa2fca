// A native image as a scanner's driver hands it over: the first 10 bytes are
// the layout the source announced (ImageWidth, ImageLength as signed 32-bit,
// BitsPerPixel as signed 16-bit, 0 for not told), the rest is the DIB block,
// whose size the reader knows.

#include "fuzzsupport.h"
#include "pagefile.h"

#include <QString>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietQtLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 10)
        return 0;
    TW_IMAGEINFO layout = {};
    std::memcpy(&layout.ImageWidth, data, 4);
    std::memcpy(&layout.ImageLength, data + 4, 4);
    std::memcpy(&layout.BitsPerPixel, data + 8, 2);
    // The block alone, in memory of its own size, so a read past it shows.
    const size_t blockSize = size - 10;
    auto *block = static_cast<unsigned char *>(std::malloc(blockSize ? blockSize : 1));
    std::memcpy(block, data + 10, blockSize);

    QString why;
    const QImage image = dibBlockToImage(block, blockSize, &why, &layout);
    if (image.isNull()) {
        if (why.isEmpty())
            std::abort();
    } else {
        // A page never exceeds what the source announced for it.
        if ((layout.ImageWidth > 0 && image.width() > layout.ImageWidth)
            || (layout.ImageLength > 0 && image.height() > layout.ImageLength))
            std::abort();
        if (image.width() > DibView::MaxDimension || image.height() > DibView::MaxDimension)
            std::abort();
    }
    std::free(block);
    return 0;
}
