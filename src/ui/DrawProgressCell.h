#pragma once
// The Progress cell of the mission list: a bar with the status text on it.

#include <QColor>
#include <QString>

class QFont;
class QFontMetrics;
class QPainter;
class QRect;
class QStyle;

namespace quillmarsh {

// The grey of disabled text on the classic desktops: dark enough to stay
// readable on the light-blue fill as well as on the track.
inline const QColor kProgressTextColour(109, 109, 109);
// A failed mission's text: dark red, readable on its light red track and fill.
inline const QColor kFailedTextColour(163, 21, 21);

// Paints one Progress cell into `cell`. With a style, the style's own
// progress bar is drawn (frame, then the fill 2 pixels inside it); with
// nullptr, the plain rounded bar. A percent above 100 fills the whole track,
// one below 0 draws no fill. The text is drawn grey, centred on one line,
// with '&' shown as is and an ellipsis when it is too wide. A failed
// mission's cell is the plain bar in red with dark red text, whatever the style.
void DrawProgressCell(QPainter& painter, const QRect& cell, int percent, const QString& text,
                      const QFont& font, const QStyle* style, bool failed = false);

// The text as DrawProgressCell draws it into a rectangle `width` pixels wide.
QString ProgressCellText(const QString& text, const QFontMetrics& metrics, int width);

}  // namespace quillmarsh
