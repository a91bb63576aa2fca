#include "markreader.h"
