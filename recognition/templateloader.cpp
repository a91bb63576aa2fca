#include "templateloader.h"
