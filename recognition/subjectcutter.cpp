#include "subjectcutter.h"
