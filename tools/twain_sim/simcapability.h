#pragma once
// One capability of a simulated source: its item type, its container kind
// and values, and how it answers the capability messages.

#include "twain.h"

#include <QString>

#include <cstdint>
#include <vector>

class TwainMemory;

// Values are kept widened: signed types sign-extended, FIX32 as its signed
// 32-bit pattern (so it orders like the number), BOOL as 0 or 1.
using CapValue = std::int64_t;

int simTypeSize(TW_UINT16 itemType);  // 0 for a type the simulator does not keep
CapValue simReadItem(const unsigned char *from, TW_UINT16 itemType);
void simWriteItem(unsigned char *to, TW_UINT16 itemType, CapValue value);
CapValue simFix32(double value);  // nearest 1/65536, halves away from zero
double simFix32ToDouble(CapValue value);

struct SimCapability
{
    enum Kind { OneValue, Enumeration, Range, Array };

    TW_UINT16 id = 0;
    TW_UINT16 itemType = TWTY_UINT16;
    Kind kind = OneValue;
    std::vector<CapValue> items;  // Enumeration, Array
    CapValue minValue = 0, maxValue = 0, step = 0;  // Range; a step of 0 has no grid
    CapValue current = 0;
    CapValue defaultValue = 0;
    bool readOnly = false;

    TW_UINT16 conType() const;
    // The container a message hands out (GET: the whole container; GETCURRENT,
    // GETDEFAULT: a one-value), allocated in memory. Null when out of memory.
    TW_HANDLE container(TW_UINT16 message, TwainMemory &memory) const;
    // A MSG_SET with a one-value container of size bytes. Returns the return
    // code and puts the condition code and a reason for the trace.
    TW_UINT16 set(const unsigned char *container, std::size_t size, TW_UINT16 *condition, QString *why);
    void reset() { current = defaultValue; }
    bool allows(CapValue value) const;
};
