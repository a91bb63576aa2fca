#pragma once
// Reading a scanned page from its file.

#include <QString>
#include <opencv2/core.hpp>

// The page decoded with `flags` (cv::IMREAD_GRAYSCALE or cv::IMREAD_COLOR).
// Empty, with *errorText set, when the file cannot be read or decoded, or when
// its data ends early: a JPEG cut off in transfer still decodes, its missing
// part grey, and would be scored as if it were whole.
cv::Mat readPageImage(const QString &path, int flags, QString *errorText);

// Whether page memory is kept: the programs keep page-sized blocks on their
// heap (see keepPageBlocksOnHeap) and the pipeline searches a page in place
// instead of a copy. On unless the environment sets OMR_PAGE_MEMORY=fresh,
// which brings back a fresh block and copy for every page, to compare.
bool pageMemoryKept();
