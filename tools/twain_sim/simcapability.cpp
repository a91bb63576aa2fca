#include "simcapability.h"

#include "twainmemory.h"

#include <cmath>
#include <cstring>

int simTypeSize(TW_UINT16 itemType)
{
    switch (itemType) {
    case TWTY_INT8:
    case TWTY_UINT8:
        return 1;
    case TWTY_INT16:
    case TWTY_UINT16:
    case TWTY_BOOL:
        return 2;
    case TWTY_INT32:
    case TWTY_UINT32:
    case TWTY_FIX32:
        return 4;
    default:
        return 0;
    }
}

CapValue simReadItem(const unsigned char *from, TW_UINT16 itemType)
{
    switch (itemType) {
    case TWTY_INT8: {
        std::int8_t v;
        std::memcpy(&v, from, 1);
        return v;
    }
    case TWTY_UINT8:
        return from[0];
    case TWTY_INT16: {
        std::int16_t v;
        std::memcpy(&v, from, 2);
        return v;
    }
    case TWTY_UINT16: {
        std::uint16_t v;
        std::memcpy(&v, from, 2);
        return v;
    }
    case TWTY_BOOL: {
        std::uint16_t v;
        std::memcpy(&v, from, 2);
        return v != 0;
    }
    case TWTY_INT32: {
        std::int32_t v;
        std::memcpy(&v, from, 4);
        return v;
    }
    case TWTY_FIX32: {
        // Whole (signed) first, then Frac: value = Whole + Frac / 65536.
        std::int16_t whole;
        std::uint16_t frac;
        std::memcpy(&whole, from, 2);
        std::memcpy(&frac, from + 2, 2);
        return CapValue(std::int32_t(std::uint32_t(std::int32_t(whole)) << 16 | frac));
    }
    case TWTY_UINT32: {
        std::uint32_t v;
        std::memcpy(&v, from, 4);
        return v;
    }
    default:
        return 0;
    }
}

void simWriteItem(unsigned char *to, TW_UINT16 itemType, CapValue value)
{
    const std::uint32_t bits = std::uint32_t(value);
    if (itemType == TWTY_FIX32) {
        const std::int16_t whole = std::int16_t(std::int32_t(bits) >> 16);
        const std::uint16_t frac = std::uint16_t(bits & 0xFFFFu);
        std::memcpy(to, &whole, 2);
        std::memcpy(to + 2, &frac, 2);
        return;
    }
    switch (simTypeSize(itemType)) {
    case 1: {
        const std::uint8_t v = std::uint8_t(bits);
        std::memcpy(to, &v, 1);
        break;
    }
    case 2: {
        const std::uint16_t v = std::uint16_t(bits);
        std::memcpy(to, &v, 2);
        break;
    }
    case 4:
        std::memcpy(to, &bits, 4);
        break;
    default:
        break;
    }
}

CapValue simFix32(double value)
{
    const double scaled = value * 65536.0;
    const double rounded = scaled < 0 ? std::ceil(scaled - 0.5) : std::floor(scaled + 0.5);
    return CapValue(std::int32_t(std::int64_t(rounded)));
}

double simFix32ToDouble(CapValue value)
{
    return double(std::int32_t(value)) / 65536.0;
}

TW_UINT16 SimCapability::conType() const
{
    switch (kind) {
    case Enumeration:
        return TWON_ENUMERATION;
    case Range:
        return TWON_RANGE;
    case Array:
        return TWON_ARRAY;
    default:
        return TWON_ONEVALUE;
    }
}

static TW_HANDLE oneValue(TW_UINT16 itemType, CapValue value, TwainMemory &memory)
{
    TW_HANDLE handle = memory.allocate(sizeof(TW_ONEVALUE));
    auto *bytes = static_cast<unsigned char *>(memory.lock(handle));
    if (!bytes)
        return nullptr;
    std::memcpy(bytes, &itemType, 2);
    simWriteItem(bytes + offsetof(TW_ONEVALUE, Item), itemType, value);
    memory.unlock(handle);
    return handle;
}

TW_HANDLE SimCapability::container(TW_UINT16 message, TwainMemory &memory) const
{
    if (message == MSG_GETCURRENT)
        return oneValue(itemType, current, memory);
    if (message == MSG_GETDEFAULT)
        return oneValue(itemType, defaultValue, memory);
    const int size = simTypeSize(itemType);
    switch (kind) {
    case OneValue:
        return oneValue(itemType, current, memory);
    case Range: {
        TW_HANDLE handle = memory.allocate(sizeof(TW_RANGE));
        auto *range = static_cast<TW_RANGE *>(memory.lock(handle));
        if (!range)
            return nullptr;
        range->ItemType = itemType;
        // A FIX32 field keeps Whole and Frac in their own order; other
        // types keep the widened value. The fields are packed: written as
        // bytes, never through a reference.
        unsigned char *bytes = reinterpret_cast<unsigned char *>(range);
        const auto put = [&](std::size_t offset, CapValue value) {
            if (itemType == TWTY_FIX32) {
                simWriteItem(bytes + offset, itemType, value);
            } else {
                const TW_UINT32 widened = TW_UINT32(value);
                std::memcpy(bytes + offset, &widened, 4);
            }
        };
        put(offsetof(TW_RANGE, MinValue), minValue);
        put(offsetof(TW_RANGE, MaxValue), maxValue);
        put(offsetof(TW_RANGE, StepSize), step);
        put(offsetof(TW_RANGE, DefaultValue), defaultValue);
        put(offsetof(TW_RANGE, CurrentValue), current);
        memory.unlock(handle);
        return handle;
    }
    case Enumeration:
    case Array: {
        const std::size_t header = kind == Array ? offsetof(TW_ARRAY, ItemList) : offsetof(TW_ENUMERATION, ItemList);
        TW_HANDLE handle = memory.allocate(TW_UINT32(header + items.size() * size + 1));
        auto *bytes = static_cast<unsigned char *>(memory.lock(handle));
        if (!bytes)
            return nullptr;
        const TW_UINT32 count = TW_UINT32(items.size());
        std::memcpy(bytes, &itemType, 2);
        std::memcpy(bytes + 2, &count, 4);
        if (kind == Enumeration) {
            TW_UINT32 currentIndex = 0, defaultIndex = 0;
            for (std::size_t i = 0; i < items.size(); ++i) {
                if (items[i] == current)
                    currentIndex = TW_UINT32(i);
                if (items[i] == defaultValue)
                    defaultIndex = TW_UINT32(i);
            }
            std::memcpy(bytes + offsetof(TW_ENUMERATION, CurrentIndex), &currentIndex, 4);
            std::memcpy(bytes + offsetof(TW_ENUMERATION, DefaultIndex), &defaultIndex, 4);
        }
        for (std::size_t i = 0; i < items.size(); ++i)
            simWriteItem(bytes + header + i * size, itemType, items[i]);
        memory.unlock(handle);
        return handle;
    }
    }
    return nullptr;
}

bool SimCapability::allows(CapValue value) const
{
    switch (kind) {
    case Enumeration:
    case Array:
        for (CapValue item : items)
            if (item == value)
                return true;
        return false;
    case Range:
        return value >= minValue && value <= maxValue;
    default:
        return itemType != TWTY_BOOL || value == 0 || value == 1;
    }
}

TW_UINT16 SimCapability::set(const unsigned char *container, std::size_t size, TW_UINT16 *condition, QString *why)
{
    *condition = TWCC_BADVALUE;
    if (readOnly || kind == Array) {
        *condition = TWCC_CAPBADOPERATION;
        *why = QStringLiteral("the capability cannot be set");
        return TWRC_FAILURE;
    }
    if (!container || size < sizeof(TW_ONEVALUE)) {
        *why = QStringLiteral("the container is not a one-value container");
        return TWRC_FAILURE;
    }
    TW_UINT16 type;
    std::memcpy(&type, container, 2);
    if (type != itemType) {
        *why = QStringLiteral("item type %1 where the capability holds type %2").arg(type).arg(itemType);
        return TWRC_FAILURE;
    }
    CapValue value = simReadItem(container + offsetof(TW_ONEVALUE, Item), type);
    if (!allows(value)) {
        *why = QStringLiteral("value %1 is not allowed").arg(value);
        return TWRC_FAILURE;
    }
    *condition = TWCC_SUCCESS;
    // Off the range's grid: the nearest step below is taken, as a device
    // does, and the application is told to read the value back.
    if (kind == Range && step > 0 && (value - minValue) % step != 0) {
        current = minValue + (value - minValue) / step * step;
        return TWRC_CHECKSTATUS;
    }
    current = value;
    return TWRC_SUCCESS;
}
