#include "omrresources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void registerOmrResources()
{
    Q_INIT_RESOURCE(omr_resources);
}

void initOmrResources()
{
    // Registering the same data twice is ignored by Qt, but keep it to one call.
    static const bool registered = (registerOmrResources(), true);
    Q_UNUSED(registered);
}
