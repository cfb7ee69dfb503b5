#include "ui/Skin.h"

#include <QFile>

namespace quillmarsh {

namespace {
std::string& currentSkin() {
  static std::string path;
  return path;
}
}  // namespace

QString LoadSkin(const std::string& skinFile) {
  QFile file(QString::fromStdString(skinFile));
  if (!file.open(QIODevice::ReadOnly)) return {};
  // A skin is a small text file; anything huge is not one.
  constexpr qint64 kMaxSkinBytes = 1 << 20;
  return QString::fromUtf8(file.read(kMaxSkinBytes));
}

void SetCurrentSkinFile(const std::string& skinFile) {
  currentSkin() = skinFile;
}
const std::string& CurrentSkinFile() {
  return currentSkin();
}

}  // namespace quillmarsh
