#include "ui/UiFont.h"

#include <QStringList>

namespace quillmarsh {

QFont UiFont(int pixelSize) {
  QFont f;
  QStringList families;
  families << QStringLiteral("Tahoma") << QStringLiteral("Liberation Sans")
           << QStringLiteral("Arial") << QStringLiteral("DejaVu Sans");
  f.setFamilies(families);
  f.setPixelSize(pixelSize);
  return f;
}

}  // namespace quillmarsh
