// Entry point. QM_DEBUG_MODE is fixed per program: quillmarsh (0) and
// quillmarsh-debug (1) are built from the same sources.
#include "app/pasEntry.h"
#include "app/pasGlobal.h"

int main(int argc, char** argv) {
  quillmarsh::DebugMode = QM_DEBUG_MODE != 0;
  return quillmarsh::RunQuillmarsh(argc, argv);
}
