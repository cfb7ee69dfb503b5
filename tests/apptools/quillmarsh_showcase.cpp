// Shows the main window with a mission in every status, for the screenshot
// in the documentation (docs/make_screenshot.sh runs it under Xvfb).
//
// It writes the settings file of a fresh user (it refuses to touch one that
// exists) with the missions whose stored status starts no work, runs the
// real entry sequence, which loads them, and then adds the missions that
// are at work and sets their rows as the workers would. Nothing is
// downloaded or converted. When the window has been painted it prints
// "READY x y width height" (the window on the screen) and waits until its
// standard input ends; then it closes through the confirmed close. With
// --tooltip it first points at a failed mission's Progress cell, and the
// area printed holds the tooltip that the list then shows.
#include <unistd.h>

#include <QApplication>
#include <QEvent>
#include <QHelpEvent>
#include <QSocketNotifier>
#include <QTableView>
#include <QTimer>
#include <cstdio>
#include <string>

#include "app/pasEntry.h"
#include "app/pasMain.h"
#include "missions/MissionFile.h"
#include "missions/MissionStatus.h"
#include "platform/UserFolders.h"
#include "ui/MessageBox.h"

using namespace quillmarsh;

namespace {
struct Mission {
  const char* title;  // empty until the downloader has printed it
  std::string status;
  int progress;
  const char* size;
  const char* speed;
  const char* eta;
  const char* format;  // empty: no conversion
};

const char* const kUrlStart = "https://video.example/watch?v=";

// Stored in the settings file: statuses that load unchanged and start nothing.
const Mission kStored[] = {
    {"Sunrise over the harbour", std::string(Status::Converted), 100, "48.2MiB", "", "",
     "MP3 (.mp3)"},
    {"Sourdough bread at home", std::string(Status::Downloaded), 100, "156.7MiB", "", "", ""},
    {"City cycling tour, part 3", std::string(Status::SkipFileExists), 0, "88.0MiB", "", "", ""},
    {"Jazz quartet, live session", std::string(Status::SkipFormatOk), 0, "61.3MiB", "", "",
     "iPad (.mp4)"},
    {"Lecture: tides and moons", std::string(Status::ErrorInDownload), 0, "", "", "", ""},
    {"Garden birds in winter", std::string(Status::ErrorInConvert), 0, "23.9MiB", "", "",
     "PSP (.mp4)"},
    {"Harbour seals up close", std::string(Status::Paused), 62, "310.0MiB", "", "", ""},
};

// Added once the window is up, as work in progress (a start-up would begin
// the waiting conversion).
const Mission kAtWork[] = {
    {"Paper planes that fly far", std::string(Status::WaitForConvert), 0, "34.5MiB", "", "",
     "iPod (.mp4)"},
    {"Old railway documentary", Status::ConvertingPercent(37), 37, "402.1MiB", "", "",
     "AVI (.avi)"},
    {"Knitting for beginners", std::string(Status::Converting), 0, "97.6MiB", "", "", "MP3 (.mp3)"},
    {"Mountain hut in the snow", Status::DownloadingPercent(45), 45, "212.4MiB", "3.2MiB/s",
     "00:36", ""},
    {"", std::string(Status::Downloading), 0, "", "", "", ""},
    {"", std::string(Status::WaitForDownload), 0, "", "", "", "MP3 (.mp3)"},
};

void printLine(const std::string& line) {
  std::fputs((line + "\n").c_str(), stdout);
  std::fflush(stdout);
}

std::string FileOf(const Mission& m, const std::string& folder) {
  return *m.title ? folder + m.title + ".mp4" : std::string();
}

int AddRow(MissionModel& missions, const Mission& m, int number, const std::string& folder) {
  const bool convert = *m.format != '\0';
  return missions.addLsvItem(kUrlStart + std::to_string(100 + number), m.status, m.progress, m.size,
                             m.title, FileOf(m, folder), convert, m.format,
                             convert ? "Quality First" : "");
}

// False when the user already has a settings file.
bool WriteStoredMissions() {
  const std::string data = ApplicationDataFolder() + "/Quillmarsh";
  const std::string ini = data + "/qlmsh.ini";
  if (FileExists(ini)) return false;
  CreateFolder(ApplicationDataFolder());
  CreateFolder(data);
  const std::string folder = DocumentsFolder() + "/Video Download/";
  MissionModel missions;
  int number = 0;
  for (const Mission& m : kStored) {
    const int row = AddRow(missions, m, number++, folder);
    if (m.status == Status::ErrorInDownload)
      missions.setFailed(row, m.status, "HTTP Error 403: Forbidden");
    else if (m.status == Status::ErrorInConvert)
      missions.setFailed(row, m.status, "Unknown encoder 'libfaac'");
    else if (m.status == Status::Paused)
      missions.record(row).resumeStatus = std::string(Status::WaitForDownload);
  }
  IniFile file(ini);
  SaveMissionFile(file, missions, false, folder);
  return true;
}

void AddMissionsAtWork(TfrmMain& w) {
  MissionModel& missions = w.Missions();
  const std::string folder = DocumentsFolder() + "/Video Download/";
  int number = missions.count();
  for (const Mission& m : kAtWork) {
    const int row = AddRow(missions, m, number++, folder);
    missions.setSubItem(row, SubSpeed, m.speed);
    missions.setSubItem(row, SubEta, m.eta);
  }
}

// Points at the Progress cell of the first failed download, as the mouse
// would, so that the list shows that cell's tooltip.
void HoverFailedMission(TfrmMain& w) {
  MissionModel& missions = w.Missions();
  for (int row = 0; row < missions.count(); ++row) {
    if (missions.status(row) != Status::ErrorInDownload) continue;
    const QRect cell = w.lsvList->visualRect(missions.index(row, ColProgress));
    const QPoint at(cell.left() + 12, cell.center().y());
    QWidget* viewport = w.lsvList->viewport();
    QHelpEvent help(QEvent::ToolTip, at, viewport->mapToGlobal(at));
    QCoreApplication::sendEvent(viewport, &help);
    return;
  }
}

// The window, and a tooltip shown over it.
QRect ShownArea(const TfrmMain& w) {
  QRect area = w.frameGeometry();
  for (const QWidget* top : QApplication::topLevelWidgets())
    if (top->isVisible() && top->inherits("QLabel")) area |= top->frameGeometry();
  return area;
}

// Prints READY a moment after the first paint of the list, so that the
// screen holds the finished window (with the tooltip, when asked for).
class ReadyAfterPaint : public QObject {
 public:
  ReadyAfterPaint(TfrmMain& w, bool tooltip) : QObject(&w), window_(w), tooltip_(tooltip) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      watched->removeEventFilter(this);
      QTimer::singleShot(500, this, [this] {
        if (tooltip_) HoverFailedMission(window_);
        QTimer::singleShot(tooltip_ ? 700 : 0, this, [this] {
          // In the screen's pixels, also when the desktop is scaled.
          const qreal scale = window_.devicePixelRatioF();
          const QRect area = ShownArea(window_);
          const QRect g(qRound(area.x() * scale), qRound(area.y() * scale),
                        qRound(area.width() * scale), qRound(area.height() * scale));
          printLine("READY " + std::to_string(g.x()) + " " + std::to_string(g.y()) + " " +
                    std::to_string(g.width()) + " " + std::to_string(g.height()));
        });
      });
    }
    return false;
  }

 private:
  TfrmMain& window_;
  const bool tooltip_;
};

void QuitWhenInputEnds(QObject* parent) {
  auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, parent);
  QObject::connect(input, &QSocketNotifier::activated, parent, [input] {
    char buffer[256];
    if (read(STDIN_FILENO, buffer, sizeof buffer) > 0) return;
    input->setEnabled(false);
    QCoreApplication::quit();
  });
}
}  // namespace

int main(int argc, char** argv) {
  if (!WriteStoredMissions()) {
    std::fputs("a settings file exists already: run with a scratch HOME\n", stderr);
    return 2;
  }
  SetMessageBoxAnswerer([](const MessageBoxRequest& r) {
    printLine("BOX\t" + r.caption.toStdString() + "\t" + r.message.toStdString());
    return (r.buttons & mbYes) ? int(mrYes) : int(mrOk);
  });
  // --tooltip: the picture shows a failed mission's tooltip too.
  const bool tooltip = argc > 1 && std::string(argv[1]) == "--tooltip";
  if (tooltip) {
    argv[1] = argv[0];
    ++argv;
    --argc;
  }
  SetEntryHooks({[tooltip](TfrmMain& w) {
    AddMissionsAtWork(w);
    w.lsvList->viewport()->installEventFilter(new ReadyAfterPaint(w, tooltip));
    QuitWhenInputEnds(&w);
  }});
  return RunQuillmarsh(argc, argv);
}
