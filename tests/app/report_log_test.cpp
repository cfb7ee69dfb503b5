// The report and the log: panes mirrored whole into their files.
#include <gtest/gtest.h>
#include <QApplication>

#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSpinBox>
#include <filesystem>

#include "app/MainWindowPlacement.h"
#include "app/pasDebug.h"
#include "app/pasGlobal.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"

namespace quillmarsh {

namespace {
class ReportLog : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    anchor_ = std::make_unique<QWidget>();
    debug_ = std::make_unique<TfrmDebug>(anchor_.get());
    frmDebug = debug_.get();
    Paths.reportFile = dir_.file("qlmsh.report");
    Paths.logFile = dir_.file("qlmsh.log");
    DebugMode = true;
  }
  void TearDown() override {
    DebugMode = false;
    frmDebug = nullptr;
  }
  TempDir dir_;
  std::unique_ptr<QWidget> anchor_;
  std::unique_ptr<TfrmDebug> debug_;
};

int countLines(const std::string& s) {
  int n = 0;
  for (std::size_t i = 0; (i = s.find("\r\n", i)) != std::string::npos; i += 2) ++n;
  return n;
}
}  // namespace

TEST_F(ReportLog, ReportFileHoldsExactlyThePaneAndComesBackWhenDeleted) {
  for (int i = 1; i <= 5; ++i) AppendToReport("line " + std::to_string(i));
  std::string file = ReadFile(Paths.reportFile);
  EXPECT_EQ(countLines(file), 5);
  const QRegularExpression stamp(
      QStringLiteral(R"(^\[ \d\d:\d\d:\d\d:\d\d\d \d{4}/\d\d/\d\d \] line 1\r\n)"));
  EXPECT_TRUE(stamp.match(QString::fromStdString(file)).hasMatch()) << file;
  EXPECT_NE(file.find("] line 5\r\n"), std::string::npos);

  std::filesystem::remove(Paths.reportFile);
  debug_->memReport->appendPlainText(QStringLiteral("typed by the user"));
  AppendToReport("");
  file = ReadFile(Paths.reportFile);
  EXPECT_EQ(countLines(file), 7) << "rewritten whole, typed text included";
  EXPECT_NE(file.find("typed by the user\r\n"), std::string::npos);
  EXPECT_EQ(file.substr(file.size() - 5), " ] \r\n") << "an empty text still makes a line";
}

TEST_F(ReportLog, LogLinesAreBracedAndUnwritableFilesKeepThePane) {
  AppendToLog("");
  AppendToLog("3 : <Go>");
  EXPECT_EQ(ReadFile(Paths.logFile), "{}\r\n{3 : <Go>}\r\n");

  Paths.logFile = dir_.file("missing-folder/qlmsh.log");
  AppendToLog("kept");
  EXPECT_TRUE(debug_->memLog->toPlainText().endsWith(QStringLiteral("{kept}")));
  EXPECT_FALSE(std::filesystem::exists(Paths.logFile));
}

TEST_F(ReportLog, NothingOutsideDebugMode) {
  DebugMode = false;
  AppendToReport("quiet");
  AppendToLog("quiet");
  EXPECT_FALSE(std::filesystem::exists(Paths.reportFile));
  EXPECT_FALSE(std::filesystem::exists(Paths.logFile));
  EXPECT_TRUE(debug_->memReport->toPlainText().isEmpty());
  EXPECT_TRUE(debug_->memLog->toPlainText().isEmpty());
}

TEST_F(ReportLog, DiagnosticsWindowLimitsAndPlacement) {
  EXPECT_EQ(debug_->speDownCounter->value(), 1);
  EXPECT_EQ(debug_->speConvertCounter->value(), 1);
  for (const auto& [typed, kept] : {std::pair{-5, 1}, {0, 1}, {7, 7}, {99, 16}}) {
    debug_->speConvertCounter->setValue(typed);
    EXPECT_EQ(debug_->speConvertCounter->value(), kept) << typed;
  }
  EXPECT_GE(debug_->speDownCounter->width(), debug_->speDownCounter->minimumSizeHint().width())
      << "two digits and the arrows fit";
  EXPECT_EQ(debug_->windowTitle(), QStringLiteral("Debug"));
  EXPECT_EQ(debug_->size(), QSize(527, 644));
}

// Beside the main window's right edge, moved inside the (second) screen's area.
TEST(DiagnosticsWindowGeometry, BesideTheMainWindowInsideTheArea) {
  const QSize size(527, 644);
  EXPECT_EQ(DiagnosticsWindowGeometry({84, 166, 569, 667}, size, {0, 0, 1280, 1000}),
            QRect(661, 178, 527, 644));
  EXPECT_EQ(DiagnosticsWindowGeometry({1300, 0, 569, 667}, size, {1280, 0, 1024, 700}).topLeft(),
            QPoint(1280 + 1024 - 527, 28));
}

}  // namespace quillmarsh
