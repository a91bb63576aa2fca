#pragma once
// The pixels of one simulated page at the depth the source delivers (1, 8 or
// 24 bits per pixel), rows top-down and packed ((bits x width + 7) / 8 bytes),
// 1-bit pixels most significant bit first with 0 black, 24-bit as R, G, B.

#include "twain.h"

#include <QString>

#include <vector>

class TwainMemory;

struct SimPage
{
    int width = 0;
    int height = 0;
    int bitsPerPixel = 8;
    std::vector<unsigned char> rows;

    int rowBytes() const { return (bitsPerPixel * width + 7) / 8; }
    const unsigned char *row(int y) const { return rows.data() + std::size_t(y) * rowBytes(); }
};

// Depth of a pixel type: TWPT_BW 1, TWPT_GRAY 8, TWPT_RGB 24.
int simBitsForPixelType(int pixelType);

// The page from an image file (grey levels below 128 become black at 1 bit),
// or, for an empty file name, a synthesised page of widthInches x heightInches
// at dpi: a white sheet with a frame, corner marks and the page number as a
// row of blocks, so pages and sides can be told apart by eye.
bool simMakePage(const QString &file, int bitsPerPixel, double dpiX, double dpiY, double widthInches,
                 double heightInches, int pageNumber, bool back, SimPage *page, QString *error);

// The page as the DIB of a native transfer, in one block of memory: bottom
// row first unless topDown; malformed (see simconfig.h) corrupts it.
TW_HANDLE simMakeDib(const SimPage &page, double dpiX, double dpiY, TwainMemory &memory, bool topDown = false,
                     const QString &malformed = QString());
