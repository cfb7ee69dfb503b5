#include "ui/LinkLabel.h"

#include <QMouseEvent>

#include "ui/OpenWebPage.h"

namespace quillmarsh {

LinkLabel::LinkLabel(QWidget* parent) : QLabel(parent), opener_(OpenWebPage) {
  setCursor(Qt::PointingHandCursor);
  setTextFormat(Qt::PlainText);
  QFont f = font();
  f.setUnderline(true);
  setFont(f);
  setHover(false);
}

void LinkLabel::setHover(bool hover) {
  setStyleSheet(hover ? QStringLiteral("color: red;") : QStringLiteral("color: blue;"));
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  QLabel::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || !rect().contains(event->position().toPoint())) return;
  Q_EMIT clicked();
  if (opener_) opener_(link_);
}

void LinkLabel::enterEvent(QEnterEvent* event) {
  setHover(true);
  QLabel::enterEvent(event);
}

void LinkLabel::leaveEvent(QEvent* event) {
  setHover(false);
  QLabel::leaveEvent(event);
}

}  // namespace quillmarsh
