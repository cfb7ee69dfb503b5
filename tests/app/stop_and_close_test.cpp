// Stop and close with real child processes: scripted stand-ins for the
// downloader and ffmpeg, the real main window.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>
#include <QApplication>

#include <QAction>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <filesystem>

#include "app/pasGlobal.h"
#include "app/pasMain.h"
#include "convert/TConvertThread.h"
#include "download/TDownloadThread.h"
#include "missions/MissionStatus.h"
#include "platform/OwnTemporaryFiles.h"
#include "platform/UserFolders.h"
#include "platform/WorkerThread.h"
#include "support/BoxRecorder.h"
#include "support/ChildProcesses.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"

namespace quillmarsh {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {
const char* kAt45 = "out <speed> 45.7% of 8.0M at 1.2M ETA 00:05</speed>\\n\n";

class StopAndClose : public ::testing::Test {
 protected:
  void SetUp() override {
    EnsureQtApp<QApplication>();
    WorkerThread::ResumeHandOvers();
    fs::create_directories(app());
    fs::create_directories(dir_.file("home"));
    WriteFile(app() + "/default.skn", "");
    fs::create_symlink(TestToolPath("fake_tarnfetch"), app() + "/tarnfetch");
    fs::create_symlink(TestToolPath("fake_ffmpeg"), app() + "/ffmpeg");
    qputenv("HOME", QByteArray::fromStdString(dir_.file("home")));
    SetProgramFolderForTests(app());
    Paths = WorkingPaths{};
    w_ = start();
  }
  void TearDown() override {
    for (auto& w : windows_) ShutDownWorkersOf(*w);
    SetProgramFolderForTests({});
  }
  static void ShutDownWorkersOf(TfrmMain& w) {
    w.closeAllThreads();
    EXPECT_TRUE(SpinUntil([] { return !WorkerThread::AnyWorkerRunning(); }, 10s));
    SpinFor(50ms);
  }

  std::string app() const { return dir_.file("app"); }
  TfrmMain* start() {
    windows_.push_back(std::make_unique<TfrmMain>());
    windows_.back()->InitSettings();
    return windows_.back().get();
  }
  // Adds "http://v/<name>" whose downloader plays `script`, and starts it.
  int add(const std::string& name, const std::string& script) {
    WriteFile(app() + "/" + name + ".script", script);
    w_->edtUrl->setText(QString::fromStdString("http://v/" + name));
    w_->btnGoClick();
    return w_->Missions().count() - 1;
  }
  bool waitStatus(int row, const std::string& status) {
    return SpinUntil([&] { return w_->Missions().status(row) == status; }, 10s);
  }
  MissionModel& list() { return w_->Missions(); }

  TempDir dir_;
  BoxRecorder boxes_{mrYes};
  std::vector<std::unique_ptr<TfrmMain>> windows_;
  TfrmMain* w_ = nullptr;
};
}  // namespace

TEST_F(StopAndClose, StopDuringADownloadWaitsAgainAndEndsTheChild) {
  const int row = add("at45", std::string(kAt45) + "sleep 30000\n");
  ASSERT_TRUE(waitStatus(row, "[Downloading] 45%"));
  ASSERT_EQ(ProcessesWithArgument("http://v/at45").size(), 1u);

  w_->btnStop->click();
  EXPECT_EQ(list().status(row), Status::WaitForDownload);
  EXPECT_EQ(list().subItem(row, SubSpeed), "");
  EXPECT_EQ(list().subItem(row, SubEta), "");
  EXPECT_EQ(list().subItem(row, SubSize), "8.0M");
  EXPECT_EQ(list().record(row).progress, 45);
  const PipelineState& p = w_->Pipeline();
  EXPECT_TRUE(p.DownloadThreads.empty());
  EXPECT_EQ(p.RunningDownloads, 0);
  EXPECT_FALSE(p.Busy);
  EXPECT_TRUE(p.Stopping);
  EXPECT_TRUE(w_->btnClear->isEnabled());
  EXPECT_TRUE(w_->btnStop->isEnabled());

  EXPECT_TRUE(SpinUntil([] { return ProcessesWithArgument("http://v/at45").empty(); }, 5s));
  EXPECT_TRUE(SpinUntil([] { return !WorkerThread::AnyWorkerRunning(); }, 5s));
  SpinFor(600ms);
  EXPECT_EQ(list().status(row), Status::WaitForDownload) << "the stopped worker restarted nothing";
}

TEST_F(StopAndClose, StopRewritesOnlyTheRowsOfListedWorkers) {
  // A failed download whose downloader still runs, and finished rows.
  const int failed = add("failed", "out ERROR: the server said no\\n\nsleep 30000\n");
  ASSERT_TRUE(waitStatus(failed, std::string(Status::ErrorInDownload)));
  list().addLsvItem("a://done", std::string(Status::Converted), 100, {}, {}, {}, false, {}, {});
  list().addLsvItem("a://bad", std::string(Status::ErrorInConvert), 3, {}, {}, {}, false, {}, {});

  w_->suitempbtnStopClick();
  EXPECT_EQ(list().status(failed), Status::WaitForDownload);
  EXPECT_EQ(list().status(failed + 1), Status::Converted);
  EXPECT_EQ(list().status(failed + 2), Status::ErrorInConvert);

  // Stop again with nothing running: only counters, flags and Clear change.
  w_->btnClear->setEnabled(false);
  w_->suitempbtnStopClick();
  EXPECT_EQ(list().status(failed), Status::WaitForDownload);
  EXPECT_TRUE(w_->btnClear->isEnabled());
}

TEST_F(StopAndClose, StopDuringAConversionWaitsForConversionAgain) {
  const std::string input = dir_.file("clip.avi");
  WriteFile(input, "not really a video");
  WriteFile(input + ".ffscript",
            "out Duration: 00:03:25.45, start\\n\nout time=00:01:17.00 bitrate\\n\nsleep 30000\n");
  const int row = list().addLsvItem("a://clip", std::string(Status::Downloaded), 100, {}, {}, input,
                                    true, "MP3 Audio(.mp3)", "Both");
  w_->StartConvert();
  ASSERT_TRUE(waitStatus(row, "[Converting] 37%"));

  w_->suitempbtnStopClick();
  EXPECT_EQ(list().status(row), Status::WaitForConvert);
  EXPECT_TRUE(w_->Pipeline().ConvertThreads.empty());
  EXPECT_EQ(w_->Pipeline().RunningConverts, 0);
  EXPECT_TRUE(SpinUntil(
      [&] {
        return ProcessesWithArgument("file:" + input).empty() &&
               ProcessesWithArgument(input).empty();
      },
      5s));
  SpinFor(300ms);
  EXPECT_EQ(list().status(row), Status::WaitForConvert);
}

TEST_F(StopAndClose, ClearAfterStopWhileAStoppedWorkerStillHandsOver) {
  std::string chatty = kAt45;
  for (int i = 0; i < 200; ++i) chatty += "out line\\n\nsleep 5\n";
  const int row = add("chatty", chatty);
  ASSERT_TRUE(waitStatus(row, "[Downloading] 45%"));
  w_->suitempbtnStopClick();
  w_->suitempbtnClearClick();  // answered Yes
  EXPECT_EQ(list().count(), 0);
  EXPECT_TRUE(SpinUntil([] { return !WorkerThread::AnyWorkerRunning(); }, 5s));
  SpinFor(300ms);  // late hand-overs of the stopped worker arrive here
  EXPECT_EQ(list().count(), 0);
}

TEST_F(StopAndClose, CloseAnsweredNoChangesNothing) {
  const int row = add("no", std::string(kAt45) + "sleep 30000\n");
  ASSERT_TRUE(waitStatus(row, "[Downloading] 45%"));
  const std::string saved = ReadFile(Paths.iniPath);
  boxes_.setAnswer(mrNo);
  bool canClose = true;
  w_->FormCloseQuery(canClose);
  EXPECT_FALSE(canClose);
  EXPECT_EQ(ReadFile(Paths.iniPath), saved) << "nothing saved";
  EXPECT_EQ(w_->Pipeline().DownloadThreads.size(), 1u) << "nothing stopped";
  EXPECT_EQ(ProcessesWithArgument("http://v/no").size(), 1u);
  EXPECT_NE(w_->SettingsFile(), nullptr);
}

TEST_F(StopAndClose, CloseDuringADownloadKeepsItsStatusAndTheNextStartResumesIt) {
  const int row = add("resume", std::string(kAt45) + "sleep 30000\n");
  ASSERT_TRUE(waitStatus(row, "[Downloading] 45%"));
  bool canClose = false;
  w_->FormCloseQuery(canClose);
  EXPECT_TRUE(canClose);
  EXPECT_EQ(w_->SettingsFile(), nullptr);
  EXPECT_NE(ReadFile(Paths.iniPath).find("status=[Downloading] 45%\r\n"), std::string::npos);
  EXPECT_TRUE(SpinUntil([] { return ProcessesWithArgument("http://v/resume").empty(); }, 5s));

  TfrmMain* next = start();
  ASSERT_EQ(next->Missions().count(), 1);
  EXPECT_EQ(next->Missions().status(0), Status::WaitForDownload);
  EXPECT_EQ(next->Missions().record(0).progress, 45);
}

TEST_F(StopAndClose, AConversionInterruptedByACloseResumesAtTheNextStart) {
  const std::string input = dir_.file("clip.avi");
  WriteFile(input + ".ffscript",
            "out Duration: 00:03:25.45, start\\n\nout time=00:01:17.00 bitrate\\n\nsleep 30000\n");
  list().addLsvItem("a://clip", "[Converting] 37%", 37, {}, {}, input, true, "MP3 Audio(.mp3)", "");
  bool canClose = false;
  w_->FormCloseQuery(canClose);  // saved as it stands

  TfrmMain& next = *windows_.emplace_back(std::make_unique<TfrmMain>());
  next.InitMain();
  EXPECT_TRUE(SpinUntil([&] { return next.Missions().status(0) == "[Converting] 37%"; }, 10s));
  EXPECT_EQ(ProcessesWithArgument(input).size(), 1u) << "ffmpeg runs again";
  next.closeAllThreads();
}

TEST_F(StopAndClose, ARefusedSaveOnCloseAsksWhetherToCloseWithoutSavingDefaultNo) {
  // The settings file's folder turns into a file: no save can succeed.
  fs::remove_all(Paths.dataDir);
  WriteFile(Paths.dataDir.substr(0, Paths.dataDir.size() - 1), "in the way");
  for (const int closeWithoutSaving : {mrNo, mrYes}) {
    MessageBoxRequest question;
    SetMessageBoxAnswerer([&](const MessageBoxRequest& r) {
      question = r;
      return (r.defaultButton & mbNo) ? closeWithoutSaving : int(mrYes);
    });
    bool canClose = false;
    w_->FormCloseQuery(canClose);
    EXPECT_TRUE(question.message.startsWith(QStringLiteral("Unable to write to ")));
    EXPECT_TRUE(question.message.endsWith(QStringLiteral("Close without saving the list?")));
    EXPECT_EQ(canClose, closeWithoutSaving == mrYes);
  }
  SetMessageBoxAnswerer(nullptr);
}

TEST_F(StopAndClose, ASignalWhileAHandlersBoxIsOpenLetsNothingStartAfterTheClose) {
  list().addLsvItem("http://v/waiting", std::string(Status::WaitForDownload), 0, {}, {}, {}, false,
                    {}, {});
  w_->edtUrl->setText(QStringLiteral("http://v/waiting"));  // a duplicate: a box opens
  SetMessageBoxAnswerer([this](const MessageBoxRequest&) {
    w_->CloseForSignal();  // log-out while the box is open
    return int(mrOk);
  });
  w_->btnGoClick();
  SetMessageBoxAnswerer(nullptr);
  EXPECT_EQ(list().status(0), Status::WaitForDownload);
  EXPECT_TRUE(w_->Pipeline().DownloadThreads.empty());
}

TEST_F(StopAndClose, PauseFreesTheSlotAndResumeWaitsUntilTheWorkerHasEnded) {
  const int paused = add("p1", std::string(kAt45) + "sleep 30000\n");
  const int next = add("p2", std::string(kAt45) + "sleep 30000\n");
  ASSERT_TRUE(waitStatus(paused, "[Downloading] 45%"));
  w_->lsvList->selectRow(paused);
  QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
  QApplication::sendEvent(w_->lsvList, &space);
  EXPECT_EQ(list().status(paused), Status::Paused);
  EXPECT_EQ(list().record(paused).progress, 45) << "the bar stays";
  EXPECT_TRUE(waitStatus(next, "[Downloading] 45%")) << "the freed slot went to the next";
  EXPECT_TRUE(SpinUntil([] { return ProcessesWithArgument("http://v/p1").empty(); }, 5s));

  ASSERT_TRUE(SpinUntil([&] { return w_->Pipeline().EndingWorkers.empty(); }, 5s));
  w_->PrepareRowMenu(paused);
  EXPECT_TRUE(w_->resumeAction->isEnabled());
  QApplication::sendEvent(w_->lsvList, &space);
  EXPECT_EQ(list().status(paused), Status::WaitForDownload) << "the one slot is taken";
  QApplication::sendEvent(w_->lsvList, &space);
  w_->btnStop->click();
  EXPECT_EQ(list().status(paused), Status::Paused) << "Stop leaves a paused row paused";
}

// Pause in each phase: converting; downloaded with its downloader still
// ending, waiting for the busy conversion slot; downloading. Stop, a close
// and a new start leave each paused; each resumes where it was.
TEST_F(StopAndClose, PauseInEachPhaseHoldsThroughStopAndARestart) {
  const std::string input = dir_.file("clip.avi");
  WriteFile(input + ".ffscript",
            "out Duration: 00:03:25.45, start\\n\nout time=00:01:17.00 bitrate\\n\nsleep 30000\n");
  list().addLsvItem("a://clip", "[Downloaded]", 100, {}, {}, input, true, "MP3 Audio(.mp3)", "");
  w_->StartConvert();
  ASSERT_TRUE(waitStatus(0, "[Converting] 37%"));
  w_->chkConvert->setChecked(true);
  add("done", "out <speed> 100.0% of 8.0M at 1.2M ETA 00:00</speed>\\n\nsleep 30000\n");
  ASSERT_TRUE(waitStatus(1, std::string(Status::Downloaded)));
  for (const int row : {1, 0, 2}) {
    if (row == 2) {
      ASSERT_TRUE(
          waitStatus(add("going", std::string(kAt45) + "sleep 30000\n"), "[Downloading] 45%"));
    }
    w_->lsvList->selectRow(row);
    w_->PauseSelectedRows();
  }
  EXPECT_TRUE(SpinUntil([] { return ProcessesWithArgument("http://v/done").empty(); }, 5s))
      << "the downloader that was still ending ended too";
  w_->btnStop->click();
  bool canClose = false;
  w_->FormCloseQuery(canClose);
  TfrmMain* next = start();
  const std::string_view resumesTo[] = {Status::WaitForConvert, Status::WaitForConvert,
                                        Status::WaitForDownload};
  for (const int row : {0, 1, 2}) {
    EXPECT_EQ(next->Missions().status(row), Status::Paused) << row;
    next->lsvList->selectRow(row);
    next->ResumeSelectedRows();
    next->closeAllThreads();
    EXPECT_EQ(next->Missions().status(row), resumesTo[row]) << row;
  }
  EXPECT_EQ(next->Missions().record(2).progress, 45);
}

// A close after ffmpeg's 100 % report but before its end saves no finished
// conversion: the next start converts again and ends with the file. So does a
// "[Converted]" row whose file went; what a crash left of a conversion goes,
// a user's look-alike file stays.
TEST_F(StopAndClose, ACloseBeforeFfmpegHasEndedConvertsAgainAtTheNextStart) {
  const std::string input = dir_.file("clip.avi"), other = dir_.file("other.avi");
  const std::string done = "out Duration: 00:00:10.00, start\\n\nout time=00:00:10.00 bitrate\\n\n";
  WriteFile(input + ".ffscript", done + "sleep 30000\nwrite 10\n");
  WriteFile(other + ".ffscript", done + "write 10\n");
  list().addLsvItem("a://clip", "[Downloaded]", 100, {}, {}, input, true, "MP3 Audio(.mp3)", "");
  list().addLsvItem("a://other", "[Converted]", 100, {}, {}, other, true, "MP3 Audio(.mp3)", "");
  w_->StartConvert();
  ASSERT_TRUE(waitStatus(0, "[Converting] 100%"));
  EXPECT_EQ(w_->Pipeline().RunningConverts, 0) << "done for the slot";
  bool canClose = false;
  w_->FormCloseQuery(canClose);
  EXPECT_NE(ReadFile(Paths.iniPath).find("status=[Converting] 100%\r\n"), std::string::npos);
  ASSERT_TRUE(SpinUntil([] { return !WorkerThread::AnyWorkerRunning(); }, 5s));

  WriteFile(input + ".ffscript", done + "write 10\n");
  std::string error;
  const std::string crashed =
      CreateOwnTemporary(input + ".mp3", Paths.dataDir + "qlmsh.conversions", &error);
  WriteFile(input + ".mp3.Ab3dEf.part", "the user's");
  TfrmMain& next = *windows_.emplace_back(std::make_unique<TfrmMain>());
  next.InitMain();
  EXPECT_FALSE(fs::exists(crashed));
  EXPECT_TRUE(SpinUntil([&] { return next.Missions().status(1) == Status::Converted; }, 10s));
  EXPECT_EQ(next.Missions().status(0), Status::Converted);
  for (const std::string& file : {input, other}) EXPECT_EQ(ReadFile(file + ".mp3"), "xxxxxxxxxx");
  EXPECT_EQ(ReadFile(input + ".mp3.Ab3dEf.part"), "the user's");
}

TEST_F(StopAndClose, RetryWaitsUntilTheFailedRowsDownloaderHasEnded) {
  const int row = add("late", "out ERROR: the server said no\\n\nsleep 30000\n");
  ASSERT_TRUE(waitStatus(row, std::string(Status::ErrorInDownload)));
  w_->lsvList->selectRow(row);
  w_->PrepareRowMenu(row);
  EXPECT_FALSE(w_->retryAction->isEnabled()) << "its downloader still runs";

  ::kill(ProcessesWithArgument("http://v/late").at(0), SIGKILL);
  ASSERT_TRUE(SpinUntil([&] { return w_->Pipeline().DownloadThreads.empty(); }, 5s));
  w_->PrepareRowMenu(row);
  w_->retryAction->trigger();
  EXPECT_EQ(list().status(row), "[Downloading]");
  EXPECT_EQ(w_->Pipeline().RunningDownloads, 1);
}

}  // namespace quillmarsh
