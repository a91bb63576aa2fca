#include "pagememory.h"

#include <malloc.h>

void keepPageBlocksOnHeap()
{
    mallopt(M_MMAP_THRESHOLD, 256 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
}
