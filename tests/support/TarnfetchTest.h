#pragma once
// The fixture of the tarnfetch tests: a loopback server that logs every
// request, serves files by path and holds answers at a gate; a temporary
// folder; the real binary run into it; and checks on the runs.
//
// Register routes in SetUp, before the first Url(): files given to Serve()
// answer after them. The fixture owns the server's pre-routing handler. A
// fixture that overrides TearDown calls TarnfetchTest::TearDown(), which
// releases held answers and stops the server before the fixture's members
// (which its routes may use) go.

#include <gtest/gtest.h>

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "support/LoopbackServer.h"
#include "support/StandInPrograms.h"
#include "support/TarnfetchOutput.h"
#include "support/TarnfetchRun.h"
#include "support/TempDir.h"

namespace tarnfetch_test {

// One request as the server saw it.
struct SeenRequest {
  std::string path;
  httplib::Headers headers;
  std::string Header(const std::string& name) const;
};

class TarnfetchTest : public ::testing::Test {
 protected:
  TarnfetchTest();
  void TearDown() override;

  // The server. A route added after the first Url() is never reached.
  httplib::Server& Routes() {
    EXPECT_FALSE(catchAll_) << "a route added after the first Url()";
    return server_.Routes();
  }
  std::string Url(const std::string& path);
  // `body` for GET `path` (no query), typed by its extension unless `type`.
  void Serve(const std::string& path, std::string body, const std::string& type = "");

  // What was asked so far: the paths starting with `prefix`, sorted; how
  // many requests for `path`; how many sent the header line `line`
  // ("Name: value"); the values of the header `name` in the order sent (to
  // `path` only, if given); everything.
  std::vector<std::string> Requested(const std::string& prefix = "/");
  long Count(const std::string& path);
  long Sent(const std::string& line);
  std::vector<std::string> SentValues(const std::string& name, const std::string& path = "");
  std::vector<SeenRequest> Seen();
  // Forgets the requests so far.
  void ForgetRequests();

  // Answers to `path` wait until Release() (or the end of the test).
  void Hold(const std::string& path);
  void Release();

  // The folders and runs: out() is where runs write unless told.
  fs::path temp() const { return temp_.path(); }
  fs::path out() const { return temp() / "out"; }
  std::vector<std::string> Args(const std::string& path, const fs::path& folder,
                                const std::string& name = "%(title)s.%(ext)s");
  RunResult Fetch(const std::string& path, const std::vector<std::string>& more = {});
  RunResult FetchInto(const fs::path& folder, const std::string& path,
                      const std::string& name = "%(title)s.%(ext)s");
  // A run into out() killed once `ready` holds; then the held answers go
  // and the requests so far are forgotten. False when it never got there.
  bool KillWhen(const std::string& path, const std::function<bool()>& ready,
                const std::vector<std::string>& more = {});

  // A finished run whose one file in out() is `file`, named on the
  // filename line, with progress that never goes back and 100 % once.
  void ExpectOnlyFile(const RunResult& run, const std::string& file);

 private:
  void Log(const httplib::Request& req);

  TempDir temp_;
  std::mutex mutex_;
  std::condition_variable released_;
  std::vector<SeenRequest> seen_;
  std::set<std::string> held_;
  std::map<std::string, std::pair<std::string, std::string>> files_;  // body, type
  bool catchAll_ = false;
  LoopbackServer server_;
};

// Bodies for the loopback server's routes. `body` must outlive the answer.
// The first half of body under its full length, then the connection ends.
void ServeHalfThenCut(httplib::Response& res, const std::string& body);
// body without a length (chunked), and so without Range support.
void ServeChunked(httplib::Response& res, const std::string& body, const char* type = "video/mp4");

}  // namespace tarnfetch_test
