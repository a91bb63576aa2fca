#pragma once
// The simulator's trace: one line per refusal or notable event, on standard
// error and to the sink a test may set.

#include "twain.h"

#include <QString>

void simTrace(const QString &line);
QString simTripletName(TW_UINT32 dataGroup, TW_UINT16 dataArgType, TW_UINT16 message);
QString simConditionName(TW_UINT16 condition);

// While true, the exported DSM_MemSize answers 0 for every block, as a
// manager that cannot tell a block's size.
void simSetSizeUntold(bool untold);
