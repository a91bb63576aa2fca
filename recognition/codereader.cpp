#include "codereader.h"
