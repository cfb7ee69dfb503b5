#include "app/MainWindowPlacement.h"

#include <algorithm>

namespace quillmarsh {

namespace {
// Moves [start, start + size) inside [first, first + room) where it fits,
// else to `first`.
int Inside(int start, int size, int first, int room) {
  return size > room ? first : std::clamp(start, first, first + room - size);
}
}  // namespace

int CentredPosition(int screenSize, int windowSize, int extra) {
  return (screenSize - windowSize - extra) / 2;
}

QRect MainWindowGeometry(const QRect& screen, const QRect& available, int extraWidth) {
  const int height = std::min(available.height(), kMainWindowHeight);
  const int width = std::min(available.width(), kMainWindowWidth);
  const int left = screen.x() + CentredPosition(screen.width(), width, extraWidth);
  const int top = screen.y() + CentredPosition(screen.height(), height);
  return {Inside(left, width, available.x(), available.width()),
          Inside(top, height, available.y(), available.height()), width, height};
}

QRect DiagnosticsWindowGeometry(const QRect& mainFrame, const QSize& size, const QRect& available) {
  constexpr int kGap = 8;
  const int left = mainFrame.x() + mainFrame.width() + kGap;
  const int top = available.y() + CentredPosition(available.height(), size.height());
  return {Inside(left, size.width(), available.x(), available.width()),
          Inside(top, size.height(), available.y(), available.height()), size.width(),
          size.height()};
}

}  // namespace quillmarsh
