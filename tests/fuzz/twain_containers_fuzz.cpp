// What a source hands back in its blocks: a capability container (first
// byte: the container type, then the block) or one entry of extended image
// information (first byte 0xEE, then InfoID, ItemType, NumItems, ReturnCode
// as 16-bit values, then the block its items travel in). The blocks come
// from the memory layer, which knows their size.

#include "fuzzsupport.h"
#include "twainapp.h"

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

TW_HANDLE blockOf(const uint8_t *data, size_t size)
{
    TW_HANDLE handle = dsmMemAllocate(TW_UINT32(size ? size : 1));
    if (auto *p = static_cast<unsigned char *>(dsmMemLock(handle))) {
        std::memcpy(p, data, size);
        dsmMemUnlock(handle);
    }
    return handle;
}

std::uint16_t u16(const uint8_t *p)
{
    return std::uint16_t(p[0] | p[1] << 8);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1 || size > 1 << 16)
        return 0;
    if (data[0] == 0xEE) {
        if (size < 9)
            return 0;
        TW_INFO info = {};
        info.InfoID = u16(data + 1);
        info.ItemType = u16(data + 3);
        info.NumItems = u16(data + 5);
        info.ReturnCode = u16(data + 7);
        TW_HANDLE handle = nullptr;
        if (itemsInHandle(info) && size > 9) {
            handle = blockOf(data + 9, size - 9);
            info.Item = reinterpret_cast<TW_UINTPTR>(handle);
        } else if (size >= 13) {
            std::memcpy(&info.Item, data + 9, 4);  // items in Item itself, or a null block
        }
        if (ExtImageInfoItemToString(info).size() > 1024)
            std::abort();
        if (handle)
            dsmMemFree(handle);
        return 0;
    }
    static const TW_UINT16 kinds[] = {TWON_ARRAY, TWON_ENUMERATION, TWON_ONEVALUE, TWON_RANGE};
    TW_CAPABILITY cap = {ICAP_XRESOLUTION, kinds[data[0] % 4], blockOf(data + 1, size - 1)};
    TW_UINT32 value = 0;
    TW_FIX32 fix = {};
    GetCurrent(cap, value);
    GetCurrentFix32(cap, fix);
    // Every walk ends, whatever the count says.
    TW_UINT32 items = 0;
    while (GetItem(cap, items, value) || GetItemFix32(cap, items, fix))
        if (++items > kMaxContainerItems)
            std::abort();
    std::vector<TW_UINT32> values;
    GetRangeValues(cap, values);
    if (values.size() > kMaxContainerItems)
        std::abort();
    dsmMemFree(cap.hContainer);
    return 0;
}
