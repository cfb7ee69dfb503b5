// The one way tarnfetch starts helper programs, with real child processes.
#include "core/ChildProgram.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "core/FetchError.h"
#include "support/ChildProcesses.h"
#include "support/TempDir.h"

namespace tarnfetch {
namespace {

using namespace std::chrono_literals;

int ReadPid(const std::filesystem::path& file) {
  std::ifstream in(file);
  int pid = 0;
  in >> pid;
  return pid;
}

TEST(ChildProgram, RunsToItsEndOrItsLimits) {
  struct Case {
    const char* name;
    std::string script;
    std::size_t keepOutput;
    std::chrono::milliseconds limit;
    const char* output;
    const char* errors;
    bool succeeded, timedOut, tooLarge;
    const char* endText;
  };
  const Case cases[] = {
      {"arguments arrive unchanged", R"(printf '[%s]' "$@")", 100, 10s,
       "[ lead][][\"q\" $PATH][-x]", "", true, false, false, "exit status 0"},
      {"standard input is empty", "cat; echo done", 100, 10s, "done\n", "", true, false, false,
       "exit status 0"},
      {"a failure keeps the end of its messages", "echo first >&2; echo last >&2; exit 3", 0, 10s,
       "", "st\nlast\n", false, false, false, "exit status 3"},
      {"a signal is named", "kill -TERM $$", 0, 10s, "", "", false, false, false,
       "ended by signal 15"},
      {"too much output ends the run", "yes", 1000, 10s, "", "", false, false, true, nullptr},
      {"the time limit ends the run", "sleep 30", 0, 300ms, "", "", false, true, false,
       "ended by signal 9"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChildRun run;
    run.args = {"/bin/sh", "-c", c.script, "sh", " lead", "", "\"q\" $PATH", "-x"};
    run.keepOutput = c.keepOutput;
    run.keepErrors = 8;
    run.timeLimit = c.limit;
    const ChildResult result = RunChild(run);
    EXPECT_EQ(result.output, c.output);
    EXPECT_EQ(result.errors, c.errors);
    EXPECT_EQ(result.Succeeded(), c.succeeded);
    EXPECT_EQ(result.timedOut, c.timedOut);
    EXPECT_EQ(result.outputTooLarge, c.tooLarge);
    if (c.endText != nullptr) {
      EXPECT_EQ(result.EndText(), c.endText);
    }
  }
}

TEST(ChildProgram, AMissingProgramIsAClearError) {
  ChildRun run;
  run.args = {"/nonexistent/program"};
  run.role = "the site extractor";
  try {
    RunChild(run);
    ADD_FAILURE() << "started a missing program";
  } catch (const FetchError& failure) {
    EXPECT_STREQ(failure.what(),
                 "Could not start the site extractor /nonexistent/program: No such file or "
                 "directory.");
  }
}

// A child that starts one of its own and ends at once: the answer is
// complete then, although the one left behind holds the output open, and
// that one is ended too.
TEST(ChildProgram, WhatTheChildLeavesBehindEndsWithIt) {
  quillmarsh::TempDir dir;
  const auto pidFile = std::filesystem::path(dir.path()) / "left";
  ChildRun run;
  run.args = {"/bin/sh", "-c", "sleep 60 & echo $! > \"$1\"; echo answer", "sh", pidFile.string()};
  run.keepOutput = 100;
  const auto start = std::chrono::steady_clock::now();
  const ChildResult result = RunChild(run);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 20s) << "waited for the one left behind";
  EXPECT_TRUE(result.Succeeded());
  EXPECT_EQ(result.output, "answer\n");
  const int left = ReadPid(pidFile);
  ASSERT_GT(left, 0);
  EXPECT_FALSE(quillmarsh::IsRunning(left));
}

TEST(ChildProgram, PassedDescriptorsAreNumberedFromThree) {
  quillmarsh::TempDir dir;
  const auto file = std::filesystem::path(dir.path()) / "written";
  std::ofstream(file) << "";
  FILE* out = std::fopen(file.c_str(), "w");
  ASSERT_NE(out, nullptr);
  ChildRun run;
  run.args = {"/bin/sh", "-c", "echo via-three >&3"};
  run.passFds = {fileno(out)};
  EXPECT_TRUE(RunChild(run).Succeeded());
  std::fclose(out);
  std::ifstream in(file);
  std::string text;
  std::getline(in, text);
  EXPECT_EQ(text, "via-three");
}

}  // namespace
}  // namespace tarnfetch
