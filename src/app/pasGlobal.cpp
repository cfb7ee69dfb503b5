#include "app/pasGlobal.h"

bool DebugMode = false;
WorkingPaths Paths;
