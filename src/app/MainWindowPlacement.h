#pragma once
// Where the main window goes and how large it is. Plain geometry, so that
// the rule can be tried for any screen.

#include <QRect>

namespace quillmarsh {

// The designed client area, and the list's share of its height.
inline constexpr int kMainWindowWidth = 569;
inline constexpr int kMainWindowHeight = 667;
inline constexpr int kListHeight = 261;
// The list keeps room for its header and a few rows.
inline constexpr int kListMinHeight = 80;

// Window placement: (screen - window - extra) div 2, truncating toward zero.
int CentredPosition(int screenSize, int windowSize, int extra = 0);

// The window's geometry on a screen: the designed size, centred on the
// screen (`extraWidth` to the right is the diagnostics window's), wherever
// the available area (the screen without panels) holds it. Where it does
// not, the window is cut to the area and moved inside it; the list gives up
// height first (down to kListMinHeight), and below that the controls scroll.
QRect MainWindowGeometry(const QRect& screen, const QRect& available, int extraWidth);

// The diagnostics window beside the main window (`mainFrame`, its outer
// edges) on the main window's screen: to its right, centred in height,
// moved inside the available area where it would leave it.
QRect DiagnosticsWindowGeometry(const QRect& mainFrame, const QSize& size, const QRect& available);

}  // namespace quillmarsh
