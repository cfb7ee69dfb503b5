#pragma once
// A frame with its own title bar (icon, caption, buttons) for frameless
// windows. Dragging the title bar moves the window.

#include <QFrame>
#include <QPoint>

class QLabel;
class QToolButton;

namespace quillmarsh {

class SkinnedFrame : public QFrame {
  Q_OBJECT
 public:
  enum Button { Help = 1, Minimize = 2, Maximize = 4, Close = 8 };
  static constexpr int kTitleBarHeight = 30;

  SkinnedFrame(QWidget* window, int buttons);

  void setCaption(const QString& caption);
  QString caption() const;
  QToolButton* titleButton(Button which) const;

 Q_SIGNALS:
  void helpClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QToolButton* addButton(Button which, const QString& name, const QString& text);

  QWidget* window_;
  QWidget* bar_;
  QLabel* caption_;
  QToolButton* buttons_[4] = {};
  bool dragging_ = false;
  QPoint dragOffset_;
};

}  // namespace quillmarsh
