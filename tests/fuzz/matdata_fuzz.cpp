// The printed-text patch of a template page: "MatRows" and "MatCols" (the
// first two bytes each, signed) and the "MatData" text (the rest).

#include "fuzzsupport.h"
#include "templateformat.h"

#include <QString>

#include <opencv2/core.hpp>

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    FuzzSupport::quietQtLogging();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    qint16 rows = 0;
    qint16 cols = 0;
    std::memcpy(&rows, data, 2);
    std::memcpy(&cols, data + 2, 2);
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data + 4), int(size - 4));

    cv::Mat patch;
    QString why;
    if (!TemplateFormat::decodeMatData(text, rows, cols, patch, &why)) {
        if (!patch.empty() || why.isEmpty())
            std::abort();
        return 0;
    }
    if (patch.rows != rows || patch.cols != cols || patch.type() != CV_8UC1)
        std::abort();

    // What is decoded encodes to a text that decodes to the same patch.
    cv::Mat again;
    if (!TemplateFormat::decodeMatData(TemplateFormat::encodeMatData(patch), rows, cols, again, &why))
        std::abort();
    if (cv::norm(patch, again, cv::NORM_INF) != 0)
        std::abort();
    return 0;
}
