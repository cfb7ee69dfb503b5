#include "ui/SkinnedFrame.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <QWindow>

namespace quillmarsh {

namespace {
int buttonSlot(SkinnedFrame::Button which) {
  switch (which) {
    case SkinnedFrame::Help:
      return 0;
    case SkinnedFrame::Minimize:
      return 1;
    case SkinnedFrame::Maximize:
      return 2;
    case SkinnedFrame::Close:
      return 3;
  }
  return 0;
}
}  // namespace

SkinnedFrame::SkinnedFrame(QWidget* window, int buttons) : QFrame(window), window_(window) {
  setObjectName(QStringLiteral("SkinnedFrame"));
  auto* bar = bar_ = new QWidget(this);
  bar->setObjectName(QStringLiteral("TitleBar"));
  bar->setGeometry(0, 0, window->width(), kTitleBarHeight);
  bar->setAttribute(Qt::WA_TransparentForMouseEvents, false);

  auto* layout = new QHBoxLayout(bar);
  layout->setContentsMargins(8, 0, 4, 0);
  layout->setSpacing(4);
  auto* icon = new QLabel(bar);
  icon->setObjectName(QStringLiteral("TitleIcon"));
  icon->setPixmap(window->windowIcon().pixmap(18, 18));
  layout->addWidget(icon);
  caption_ = new QLabel(bar);
  caption_->setObjectName(QStringLiteral("TitleCaption"));
  layout->addWidget(caption_, 1);

  if (buttons & Help) addButton(Help, QStringLiteral("TitleHelp"), QStringLiteral("?"));
  if (buttons & Minimize)
    addButton(Minimize, QStringLiteral("TitleMinimize"), QStringLiteral("\u2013"));
  if (buttons & Maximize)
    addButton(Maximize, QStringLiteral("TitleMaximize"), QStringLiteral("\u25a1"));
  if (buttons & Close) addButton(Close, QStringLiteral("TitleClose"), QStringLiteral("\u2715"));
  for (QToolButton* b : buttons_)
    if (b) layout->addWidget(b);

  if (auto* b = titleButton(Help))
    connect(b, &QToolButton::clicked, this, &SkinnedFrame::helpClicked);
  if (auto* b = titleButton(Minimize))
    connect(b, &QToolButton::clicked, window_, &QWidget::showMinimized);
  if (auto* b = titleButton(Maximize))
    connect(b, &QToolButton::clicked, window_,
            [this] { window_->isMaximized() ? window_->showNormal() : window_->showMaximized(); });
  if (auto* b = titleButton(Close)) connect(b, &QToolButton::clicked, window_, &QWidget::close);
}

QToolButton* SkinnedFrame::addButton(Button which, const QString& name, const QString& text) {
  auto* b = new QToolButton(this);
  b->setObjectName(name);
  b->setText(text);
  b->setAutoRaise(true);
  b->setFocusPolicy(Qt::NoFocus);
  b->setFixedSize(26, 22);
  buttons_[buttonSlot(which)] = b;
  return b;
}

QToolButton* SkinnedFrame::titleButton(Button which) const {
  return buttons_[buttonSlot(which)];
}

void SkinnedFrame::setCaption(const QString& caption) {
  caption_->setText(caption);
}
QString SkinnedFrame::caption() const {
  return caption_->text();
}

void SkinnedFrame::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton || event->position().y() >= kTitleBarHeight) {
    QFrame::mousePressEvent(event);
    return;
  }
  // Let the window manager move the window where it can; otherwise move it ourselves.
  if (QWindow* handle = window_->windowHandle(); handle && handle->startSystemMove()) return;
  dragging_ = true;
  dragOffset_ = event->globalPosition().toPoint() - window_->frameGeometry().topLeft();
}

void SkinnedFrame::mouseMoveEvent(QMouseEvent* event) {
  if (dragging_) window_->move(event->globalPosition().toPoint() - dragOffset_);
  QFrame::mouseMoveEvent(event);
}

void SkinnedFrame::resizeEvent(QResizeEvent* event) {
  bar_->setGeometry(0, 0, width(), kTitleBarHeight);
  QFrame::resizeEvent(event);
}

void SkinnedFrame::mouseReleaseEvent(QMouseEvent* event) {
  dragging_ = false;
  QFrame::mouseReleaseEvent(event);
}

}  // namespace quillmarsh
