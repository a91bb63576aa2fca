#include "twainmemory.h"

#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <mutex>
#include <random>
#include <unordered_map>

namespace {

struct FreeBytes
{
    void operator()(unsigned char *p) const { std::free(p); }
};

struct Block
{
    // calloc: a large block comes zeroed from the system without a second pass.
    std::unique_ptr<unsigned char, FreeBytes> bytes;
    std::size_t size = 0;
    int locks = 0;
};

} // namespace

// Handles are serial numbers under a tag drawn once per table, so a handle
// is never reused and the tables of two modules (the application's and the
// manager's) never hand out the same value.
struct TwainMemory::Private
{
    mutable std::mutex mutex;
    std::unordered_map<std::uintptr_t, Block> blocks;
    std::uintptr_t tag = 0;
    std::uintptr_t next = 1;

    Block *find(TW_HANDLE handle)
    {
        auto it = blocks.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == blocks.end() ? nullptr : &it->second;
    }
    const Block *find(TW_HANDLE handle) const
    {
        auto it = blocks.find(reinterpret_cast<std::uintptr_t>(handle));
        return it == blocks.end() ? nullptr : &it->second;
    }
};

static void refuse(const char *what, TW_HANDLE handle)
{
    std::fprintf(stderr, "twain memory: %s refused for handle %p, which is not a live block\n", what, handle);
}

TwainMemory::TwainMemory() : d(new Private)
{
    std::random_device random;
    const std::uintptr_t bits = sizeof(std::uintptr_t) >= 8 ? 40 : 24;
    d->tag = (std::uintptr_t(random() % 0xfffe) + 1) << bits;
}

TwainMemory::~TwainMemory() = default;

TW_HANDLE TwainMemory::allocate(TW_UINT32 size)
{
    if (size == 0)
        return nullptr;
    Block block;
    block.bytes.reset(static_cast<unsigned char *>(std::calloc(size, 1)));
    if (!block.bytes)
        return nullptr;
    block.size = size;
    std::lock_guard<std::mutex> lock(d->mutex);
    const std::uintptr_t value = d->tag | d->next++;
    d->blocks.emplace(value, std::move(block));
    return reinterpret_cast<TW_HANDLE>(value);
}

bool TwainMemory::free(TW_HANDLE handle)
{
    if (!handle)
        return false;
    std::lock_guard<std::mutex> lock(d->mutex);
    if (d->blocks.erase(reinterpret_cast<std::uintptr_t>(handle)) == 0) {
        refuse("free", handle);
        return false;
    }
    return true;
}

TW_MEMREF TwainMemory::lock(TW_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    Block *block = d->find(handle);
    if (!block) {
        refuse("lock", handle);
        return nullptr;
    }
    ++block->locks;
    return block->bytes.get();
}

bool TwainMemory::unlock(TW_HANDLE handle)
{
    std::lock_guard<std::mutex> lock(d->mutex);
    Block *block = d->find(handle);
    if (!block) {
        refuse("unlock", handle);
        return false;
    }
    if (block->locks > 0)
        --block->locks;
    return true;
}

std::size_t TwainMemory::size(TW_HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const Block *block = d->find(handle);
    return block ? block->size : 0;
}

bool TwainMemory::isLive(TW_HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return d->find(handle) != nullptr;
}

int TwainMemory::liveHandles() const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    return int(d->blocks.size());
}

int TwainMemory::lockCount(TW_HANDLE handle) const
{
    std::lock_guard<std::mutex> lock(d->mutex);
    const Block *block = d->find(handle);
    return block ? block->locks : 0;
}

TwainMemory &TwainMemory::process()
{
    static TwainMemory memory;
    return memory;
}

TW_HANDLE twainMemAllocate(TW_UINT32 size)
{
    return TwainMemory::process().allocate(size);
}

void twainMemFree(TW_HANDLE handle)
{
    TwainMemory::process().free(handle);
}

TW_MEMREF twainMemLock(TW_HANDLE handle)
{
    return TwainMemory::process().lock(handle);
}

void twainMemUnlock(TW_HANDLE handle)
{
    TwainMemory::process().unlock(handle);
}
