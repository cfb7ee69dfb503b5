#pragma once
// A frameless scroll area around a canvas of hand-placed controls: the
// canvas takes the area's size down to its minimum size, below that the
// area scrolls, so that on a screen smaller than the window every control
// stays within reach. Controls are children of canvas(); `onResize` places
// the ones that follow the canvas's size.

#include <QScrollArea>
#include <functional>

namespace quillmarsh {

class ScrollCanvas : public QScrollArea {
  Q_OBJECT
 public:
  explicit ScrollCanvas(QWidget* parent);

  QWidget* canvas() const { return canvas_; }
  void setMinimumCanvasSize(const QSize& size);
  // Places the area and sizes its canvas at once, also while hidden (a
  // hidden widget gets its resize events only when shown).
  void place(const QRect& geometry);
  void setOnResize(std::function<void(const QSize&)> onResize);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  QWidget* canvas_;
  std::function<void(const QSize&)> onResize_;
};

}  // namespace quillmarsh
