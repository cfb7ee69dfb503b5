#pragma once
// The diagnostics window: the log and report panes, mirrored into their
// files, and the two limits of concurrent downloads and conversions.

#include <QWidget>
#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

namespace quillmarsh {

// The limits of concurrent downloads and conversions the spin boxes accept.
inline constexpr int kMinWorkerLimit = 1;
inline constexpr int kMaxWorkerLimit = 16;

class TfrmDebug : public QWidget {
  Q_OBJECT
 public:
  explicit TfrmDebug(QWidget* mainWindow);

  QPlainTextEdit* memLog;
  QPlainTextEdit* memReport;
  QLabel* Label1;
  QSpinBox* speDownCounter;
  QLabel* Label2;
  QSpinBox* speConvertCounter;
  QPushButton* btnClose;

  // Places the window beside the main window, on its screen.
  void FormCreate(QWidget* mainWindow);
  void btnCloseClick();

  // Appends a line to the pane and rewrites its file with every line of
  // the pane. A file that cannot be written leaves the line in the pane.
  static bool AppendAndMirror(QPlainTextEdit* pane, const QString& line, const std::string& file);
};

// The window created at start-up; null before.
extern TfrmDebug* frmDebug;

// "[ hh:nn:ss:zzz yyyy/mm/dd ] text" to the report; nothing outside debug mode.
void AppendToReport(const std::string& text);
// "{text}" to the log; nothing outside debug mode.
void AppendToLog(const std::string& text);
// The report line for a text at the current local time.
std::string ReportLine(const std::string& text);

}  // namespace quillmarsh
