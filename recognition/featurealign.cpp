#include "featurealign.h"
