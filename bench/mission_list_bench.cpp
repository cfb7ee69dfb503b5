// The mission list at 100,000 rows: adding, the duplicate test, painting
// and memory. Run with QT_QPA_PLATFORM=offscreen.

#include <benchmark/benchmark.h>

#include <unistd.h>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QTableView>
#include <fstream>
#include <memory>
#include <string>

#include "BenchSupport.h"
#include "missions/MissionModel.h"
#include "ui/ProgressDelegate.h"

using namespace quillmarsh;

namespace {
constexpr int kRows = 100'000;

std::string UrlOf(int i) {
  return "https://www.video.example/watch?v=" + std::to_string(10'000'000 + i);
}

void AddRows(MissionModel& model, int count) {
  static const char* const kStatuses[] = {"[Wait for download]", "[Downloading] 42%",
                                          "[Downloaded]", "[Converting] 7%", "[Error in download]"};
  for (int i = 0; i < count; ++i)
    model.addLsvItem(
        UrlOf(i), kStatuses[i % 5], (i * 7) % 101, "123.45MiB",
        "A video title of ordinary length number " + std::to_string(i),
        "/home/user/Documents/Video Download/video title " + std::to_string(i) + ".mp4", i % 2 == 0,
        "MP3 (.mp3)", "Quality First");
}

// The list as the main window shows it: 505 x 261, fixed column widths.
// First() shows the view and paints it; Paint() paints it again.
struct ListView {
  explicit ListView(MissionModel& model) {
    view.setModel(&model);
    view.setItemDelegate(&delegate);
    view.verticalHeader()->hide();
    // Single-line rows, as a report list view shows them: more rows to paint.
    view.setWordWrap(false);
    view.verticalHeader()->setDefaultSectionSize(view.fontMetrics().height() + 4);
    view.setSelectionBehavior(QAbstractItemView::SelectRows);
    for (int column = 0; column < ColumnCount; ++column)
      view.setColumnWidth(column, MissionModel::columnWidth(column));
    view.resize(505, 261);
  }
  void First() {
    view.show();
    view.render(&image);
  }
  void Paint() { view.render(&image); }

  ProgressDelegate delegate;
  QTableView view;
  QImage image{505, 261, QImage::Format_ARGB32_Premultiplied};
};

double ResidentMiB() {
  std::ifstream statm("/proc/self/statm");
  long pages = 0, resident = 0;
  statm >> pages >> resident;
  return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) /
         (1024.0 * 1024.0);
}

// Runs first, on a fresh heap, so the growth is the list's own.
void BM_MemoryOf100kRowsInView(benchmark::State& state) {
  for (auto _ : state) {
    const double before = ResidentMiB();
    MissionModel model;
    ListView list(model);
    AddRows(model, kRows);
    list.First();
    state.counters["rss_growth_MiB"] = ResidentMiB() - before;
  }
}
BENCHMARK(BM_MemoryOf100kRowsInView)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_Add100kRowsShownInView(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    auto model = std::make_unique<MissionModel>();
    auto list = std::make_unique<ListView>(*model);
    state.ResumeTiming();
    AddRows(*model, kRows);
    state.PauseTiming();
    list.reset();
    model.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Add100kRowsShownInView)->Unit(benchmark::kMillisecond);

void BM_Add100kRowsNoView(benchmark::State& state) {
  for (auto _ : state) {
    MissionModel model;
    AddRows(model, kRows);
    state.PauseTiming();
    model.clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Add100kRowsNoView)->Unit(benchmark::kMillisecond);

void BM_UrlExistsLastRow(benchmark::State& state) {
  MissionModel model;
  AddRows(model, kRows);
  const std::string last = UrlOf(kRows - 1);
  for (auto _ : state) benchmark::DoNotOptimize(model.urlExists(last));
}
BENCHMARK(BM_UrlExistsLastRow)->Unit(benchmark::kMillisecond);

void BM_FirstPaintOf100kRows(benchmark::State& state) {
  MissionModel model;
  AddRows(model, kRows);
  for (auto _ : state) {
    state.PauseTiming();
    auto list = std::make_unique<ListView>(model);
    state.ResumeTiming();
    list->First();
    state.PauseTiming();
    list.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_FirstPaintOf100kRows)->Unit(benchmark::kMillisecond);

void BM_RepaintOf100kRows(benchmark::State& state) {
  MissionModel model;
  AddRows(model, kRows);
  ListView list(model);
  list.First();
  for (auto _ : state) list.Paint();
}
BENCHMARK(BM_RepaintOf100kRows)->Unit(benchmark::kMillisecond);
}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarks<QApplication>(argc, argv);
}
