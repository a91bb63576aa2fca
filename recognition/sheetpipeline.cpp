#include "sheetpipeline.h"
