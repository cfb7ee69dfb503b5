#pragma once
// A label that opens its link target when clicked: blue and underlined,
// red under the mouse, hand cursor. The caption and the target are separate.

#include <QLabel>
#include <functional>

namespace quillmarsh {

class LinkLabel : public QLabel {
  Q_OBJECT
 public:
  explicit LinkLabel(QWidget* parent = nullptr);

  void setLink(const QString& target) { link_ = target; }
  const QString& link() const { return link_; }
  // What a click does with the target (default: open it as a web page).
  void setOpener(std::function<void(const QString&)> opener) { opener_ = std::move(opener); }

 Q_SIGNALS:
  void clicked();

 protected:
  void mouseReleaseEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void setHover(bool hover);
  QString link_;
  std::function<void(const QString&)> opener_;
};

}  // namespace quillmarsh
