#include "sheetrenderer.h"
