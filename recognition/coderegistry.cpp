#include "coderegistry.h"
