// The download history through the real window: what was downloaded is
// asked about when added again, passed over in a bulk paste, kept across a
// restart and forgotten from the list's menu.
#include <QAction>
#include <QLineEdit>

#include "missions/DownloadHistory.h"
#include "missions/MissionStatus.h"
#include "support/QtTestApp.h"
#include "support/WindowSandbox.h"

namespace quillmarsh {

using namespace std::chrono_literals;

using History = WindowSandbox;

TEST_F(History, ADownloadedAddressAddedAgainAfterClearIsAskedAboutDefaultNo) {
  const std::string file = outputDir() + "Clip.mp4";
  WriteFile(file, "video");
  WriteFile(app() + "/clip.script", "out <Go>\\n<filename>" + file +
                                        "</filename>\\n<speed> 100.0% of 5B at 1B ETA 00:00"
                                        "</speed>\\n\n");
  w_->edtUrl->setText(QStringLiteral("http://v/clip"));
  w_->btnGoClick();
  ASSERT_TRUE(SpinUntil([&] { return list().status(0) == Status::Downloaded; }, 10s));
  w_->closeAllThreads();
  w_->suitempbtnClearClick();
  ASSERT_EQ(list().count(), 0);

  boxes_.setAnswer(mrNo);
  w_->edtUrl->setText(QStringLiteral("http://v/clip#at-30s"));
  w_->btnGoClick();
  const QString asked = QStringLiteral("Quillmarsh|This video was downloaded on ") +
                        QString::fromStdString(DownloadHistory::Today() + " to " + file) +
                        QStringLiteral(". Download it again?");
  EXPECT_EQ(boxes_.boxes().back(), asked);
  EXPECT_EQ(list().count(), 0) << "No adds nothing";

  // Kept across a restart; Yes adds it.
  TfrmMain& again = StartWindow();
  boxes_.setAnswer(mrYes);
  again.edtUrl->setText(QStringLiteral("http://v/clip"));
  again.btnGoClick();
  EXPECT_EQ(boxes_.boxes().back(), asked);
  EXPECT_EQ(again.Missions().count(), 1);
}

TEST_F(History, ABulkPastePassesOverTheDownloadedOnesWithOneMessage) {
  const std::string file = outputDir() + "Seen.mp4";
  WriteFile(file, "video");
  QString text;
  for (int i = 0; i < 100; ++i) {
    const std::string url = "https://v.example/" + std::to_string(i);
    if (i % 10 < 3) w_->History().Remember(url, file, "2026-12-01");
    text += QString::fromStdString(url) + QLatin1Char('\n');
  }
  w_->History().Remember("https://v.example/gone", outputDir() + "Gone.mp4", "2026-12-01");
  const int boxesBefore = boxes_.boxes().size();
  w_->PasteIntoUrlBox(text + QStringLiteral("https://v.example/gone\n"));
  EXPECT_EQ(list().count(), 71) << "70, and one whose file is gone";
  ASSERT_EQ(boxes_.boxes().size(), boxesBefore + 1);
  EXPECT_EQ(boxes_.boxes().back(),
            QStringLiteral("Quillmarsh|30 videos were downloaded before and were passed over."));

  // Forgotten from the menu of the list's empty area.
  w_->forgetHistoryAction->trigger();
  EXPECT_EQ(w_->History().size(), 0u);
  EXPECT_FALSE(w_->DownloadedBefore("https://v.example/0"));
}

}  // namespace quillmarsh
