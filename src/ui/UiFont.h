#pragma once
// The program's font: Tahoma where it exists, else a font of the same
// width class, at a height in pixels.

#include <QFont>

namespace quillmarsh {

QFont UiFont(int pixelSize);

}  // namespace quillmarsh
