#include "imageconvert.h"
