#include "ui/DrawProgressCell.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <QStyleOptionProgressBar>
#include <algorithm>

namespace quillmarsh {

namespace {
struct BarColours {
  QColor track, fill, text;
};
const BarColours kNormal{QColor(235, 235, 235), QColor(132, 193, 255), kProgressTextColour};
// A failed mission stands out in red, its text still dark on the light fill.
const BarColours kFailed{QColor(253, 236, 236), QColor(244, 166, 166), kFailedTextColour};

// Edges as (left, top, right, bottom) with right and bottom exclusive, so
// the bar arithmetic needs no +1/-1; converted to QRect only when drawing.
struct Edges {
  int left, top, right, bottom;
  int width() const { return right - left; }
  int height() const { return bottom - top; }
  Edges shrunk(int by) const { return {left + by, top + by, right - by, bottom - by}; }
  QRect toQRect() const { return QRect(left, top, width(), height()); }
};

Edges EdgesOf(const QRect& r) {
  return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

void FillEdges(QPainter& painter, int left, int top, int right, int bottom, const QColor& color) {
  if (right > left && bottom > top)
    painter.fillRect(QRect(left, top, right - left, bottom - top), color);
}

// A rounded rectangle with a 3 x 3 corner ellipse: the rectangle without its
// four corner pixels. Drawn by hand because the aliased rasteriser does not
// cut the corners of such a small radius evenly.
void FillRoundedBar(QPainter& painter, const Edges& r, const QColor& color) {
  if (r.width() < 3 || r.height() < 3) {
    FillEdges(painter, r.left, r.top, r.right, r.bottom, color);
    return;
  }
  FillEdges(painter, r.left + 1, r.top, r.right - 1, r.top + 1, color);
  FillEdges(painter, r.left, r.top + 1, r.right, r.bottom - 1, color);
  FillEdges(painter, r.left + 1, r.bottom - 1, r.right - 1, r.bottom, color);
}

// Fill length of a track `width` pixels long; the percent is clipped first so
// the product cannot overflow and the fill never leaves the track.
int FillLength(int width, int percent) {
  return width * std::clamp(percent, 0, 100) / 100;
}

void DrawPlainBar(QPainter& painter, Edges r, int percent, const BarColours& colours) {
  ++r.right;
  ++r.bottom;
  FillRoundedBar(painter, r, colours.track);
  r.right = r.left + FillLength(r.width(), percent);
  if (r.right <= r.left) return;
  FillRoundedBar(painter, r, colours.fill);
  // Square on the right, so only the left end looks rounded.
  if (r.left + 3 < r.right) FillEdges(painter, r.right - 3, r.top, r.right, r.bottom, colours.fill);
}

void DrawStyledBar(QPainter& painter, const Edges& r, int percent, const QStyle& style) {
  QStyleOptionProgressBar bar;
  bar.rect = r.toQRect();
  bar.palette = QGuiApplication::palette();
  bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
  bar.minimum = 0;
  bar.maximum = 100;
  bar.progress = std::clamp(percent, 0, 100);
  bar.textVisible = false;
  style.drawControl(QStyle::CE_ProgressBarGroove, &bar, &painter);
  const Edges inner = r.shrunk(2);
  if (bar.progress == 0 || inner.width() <= 0 || inner.height() <= 0) return;
  bar.rect = inner.toQRect();
  style.drawControl(QStyle::CE_ProgressBarContents, &bar, &painter);
}

// The given font sized so that its character cell (ascent plus descent, not
// just the em) is as tall as the text rectangle.
QFont CellFont(const QFont& font, int height) {
  QFont cellFont(font);
  cellFont.setPixelSize(height);
  const int full = QFontMetrics(cellFont).height();
  if (full <= height) return cellFont;
  // Glyph metrics do not scale exactly; step down from the estimate.
  int size = std::max(1, height * height / full);
  cellFont.setPixelSize(size);
  while (size > 1 && QFontMetrics(cellFont).height() > height) cellFont.setPixelSize(--size);
  return cellFont;
}

void DrawCellText(QPainter& painter, const QRect& rect, const QString& text, const QFont& font,
                  const QColor& colour) {
  if (text.isEmpty() || rect.height() < 1 || rect.width() < 1) return;
  painter.setFont(CellFont(font, rect.height()));
  painter.setPen(colour);
  painter.setBackgroundMode(Qt::TransparentMode);
  const QString shown = ProgressCellText(text, painter.fontMetrics(), rect.width());
  painter.drawText(rect, Qt::AlignCenter | Qt::TextSingleLine, shown);
}
}  // namespace

QString ProgressCellText(const QString& text, const QFontMetrics& metrics, int width) {
  return metrics.elidedText(text, Qt::ElideRight, width);
}

void DrawProgressCell(QPainter& painter, const QRect& cell, int percent, const QString& text,
                      const QFont& font, const QStyle* style, bool failed) {
  const Edges r = EdgesOf(cell).shrunk(1);
  const QRect textRect = r.toQRect();
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  painter.setPen(Qt::NoPen);
  const BarColours& colours = failed ? kFailed : kNormal;
  // A platform style's bar has no red of its own: a failure draws the plain one.
  if (style && !failed)
    DrawStyledBar(painter, r, percent, *style);
  else
    DrawPlainBar(painter, r, percent, colours);
  DrawCellText(painter, textRect, text, font, colours.text);
  painter.restore();
}

}  // namespace quillmarsh
