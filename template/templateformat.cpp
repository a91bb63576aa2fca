#include "templateformat.h"
