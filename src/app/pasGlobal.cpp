#include "app/pasGlobal.h"

namespace quillmarsh {

bool DebugMode = false;
WorkingPaths Paths;

}  // namespace quillmarsh
