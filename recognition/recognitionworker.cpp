#include "recognitionworker.h"
