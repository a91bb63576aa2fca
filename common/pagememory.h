#pragma once
// Memory of the programs that hold whole scanned pages.

// Keeps blocks of page size (several MB each) on the heap once freed. Above
// glibc's mmap threshold every page would be mapped afresh, and every copy of
// it faulted in again page by page; freed heap memory is handed back to the
// system only beyond hundreds of MB. Call first thing in main.
void keepPageBlocksOnHeap();
