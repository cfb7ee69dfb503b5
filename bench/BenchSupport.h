#pragma once
// Shared by the benchmarks: the tests' host without windows, quiet, and a
// main that gives the workers' hand-overs an application object to run on.

#include <benchmark/benchmark.h>

#include "support/QtTestApp.h"
#include "support/TestHost.h"

namespace quillmarsh {

// The tests' host with its report and log kept nowhere and no scheduler
// behind StartDownload: benchmarks override what they watch.
class QuietHost : public TestHost {
 public:
  QuietHost() {
    recordLines = false;
    onStartDownload = [] {};
  }
};

// Runs the benchmarks on the application object the tests use; App is
// QApplication for those that draw.
template <typename App = QCoreApplication>
int RunBenchmarks(int argc, char** argv) {
  EnsureQtApp<App>();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace quillmarsh
