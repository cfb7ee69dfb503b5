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
  const std::string& title = missions_->caption(row);
  QString line = QString::fromUtf8(title.data(), static_cast<qsizetype>(title.size()));
  line += outcome == Outcome::Finished ? QStringLiteral(": finished") : QStringLiteral(": failed");
  notifier_->post(line);
}

}  // namespace quillmarsh
