#include "templatemodel.h"
