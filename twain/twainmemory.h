#pragma once
// Movable memory blocks addressed by handles, in place of the global-memory
// calls that TWAIN memory (capability containers, native images, extended
// image information) travels in. A handle is a number, never the block's
// address: a freed or unknown handle is refused with a message instead of
// being dereferenced, and the live handles can be counted, so a test can show
// that a batch gave back every block it took.

#include "twain.h"

#include <cstddef>
#include <memory>

class TwainMemory
{
public:
    TwainMemory();
    ~TwainMemory();
    TwainMemory(const TwainMemory &) = delete;
    TwainMemory &operator=(const TwainMemory &) = delete;

    // A zero-filled block; null when size is 0 or the memory cannot be had.
    TW_HANDLE allocate(TW_UINT32 size);
    // False (and a line on standard error) for a null, freed or unknown handle.
    bool free(TW_HANDLE handle);
    // The block's address, or null for a handle that is not live. Locks nest.
    TW_MEMREF lock(TW_HANDLE handle);
    bool unlock(TW_HANDLE handle);
    // Bytes of a live block, 0 otherwise.
    std::size_t size(TW_HANDLE handle) const;
    bool isLive(TW_HANDLE handle) const;
    int liveHandles() const;
    int lockCount(TW_HANDLE handle) const;

    // The process's own blocks (the manager hands out its own through
    // DAT_ENTRYPOINT; this one serves memory the application allocates itself).
    static TwainMemory &process();

private:
    struct Private;
    std::unique_ptr<Private> d;
};

// The process blocks as the manager's memory function signatures, for a
// TW_ENTRYPOINT of our own.
TW_HANDLE twainMemAllocate(TW_UINT32 size);
void twainMemFree(TW_HANDLE handle);
TW_MEMREF twainMemLock(TW_HANDLE handle);
void twainMemUnlock(TW_HANDLE handle);
