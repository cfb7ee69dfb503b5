#include "ui/ScrollCanvas.h"

#include <QEvent>

namespace quillmarsh {

ScrollCanvas::ScrollCanvas(QWidget* parent) : QScrollArea(parent), canvas_(new QWidget) {
  setObjectName(QStringLiteral("ScrollCanvas"));
  canvas_->setObjectName(QStringLiteral("Canvas"));
  setFrameShape(QFrame::NoFrame);
  // The frame's own background shows through.
  viewport()->setAutoFillBackground(false);
  canvas_->setAutoFillBackground(false);
  setWidgetResizable(true);
  setWidget(canvas_);
  canvas_->installEventFilter(this);
}

void ScrollCanvas::setMinimumCanvasSize(const QSize& size) {
  canvas_->setMinimumSize(size);
}

void ScrollCanvas::place(const QRect& geometry) {
  setGeometry(geometry);
  // Lays the viewport out for the new size now.
  setViewportMargins(viewportMargins());
  canvas_->resize(viewport()->size().expandedTo(canvas_->minimumSize()));
  if (onResize_) onResize_(canvas_->size());
}

void ScrollCanvas::setOnResize(std::function<void(const QSize&)> onResize) {
  onResize_ = std::move(onResize);
  if (onResize_) onResize_(canvas_->size());
}

bool ScrollCanvas::eventFilter(QObject* watched, QEvent* event) {
  if (watched == canvas_ && event->type() == QEvent::Resize && onResize_)
    onResize_(canvas_->size());
  return QScrollArea::eventFilter(watched, event);
}

}  // namespace quillmarsh
