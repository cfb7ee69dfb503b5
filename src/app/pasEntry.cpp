#include "app/pasEntry.h"

#include <QApplication>

int RunQuillmarsh(int argc, char** argv) {
  QApplication app(argc, argv);
  return 0;
}
