#include "anchors.h"
