// Telling the desktop when a mission finishes or fails.
#include "app/pasMain.h"
#include "missions/MissionOutcome.h"
#include "ui/DesktopNotifier.h"

namespace quillmarsh {

void TfrmMain::MissionStatusChanged(int row) {
  if (!missions_->isValidRow(row)) return;
  const Outcome outcome = OutcomeOf(missions_->status(row), missions_->record(row).doConvert);
  // The user who looks at the list sees it there.
  if (outcome == Outcome::None || isActiveWindow()) return;
  const std::string& title = missions_->titleOrUrl(row);
  QString line = QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
  if (outcome == Outcome::Finished) {
    line += QStringLiteral(": finished");
  } else {
    line += QStringLiteral(": failed");
    const std::string& reason = missions_->reason(row);
    if (!reason.empty())
      line += QStringLiteral(" (") +
              QString::fromUtf8(reason.data(), static_cast<qsizetype>(reason.size())) +
              QLatin1Char(')');
  }
  notifier_->post(line);
}

}  // namespace quillmarsh
