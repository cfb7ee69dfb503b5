#include "support/TarnfetchTest.h"

#include <algorithm>
#include <chrono>

namespace tarnfetch_test {
namespace {

std::string TypeOf(const std::string& path) {
  for (const auto& [end, type] : std::initializer_list<std::pair<const char*, const char*>>{
           {".m3u8", "application/vnd.apple.mpegurl"},
           {".ts", "video/mp2t"},
           {".m4s", "video/iso.segment"},
           {".html", "text/html"},
           {".mpd", "application/dash+xml"}}) {
    if (EndsWith(path, end)) return type;
  }
  return "video/mp4";
}

}  // namespace

std::string SeenRequest::Header(const std::string& name) const {
  const auto found = headers.find(name);
  return found == headers.end() ? "" : found->second;
}

TarnfetchTest::TarnfetchTest() {
  server_.Routes().set_pre_routing_handler([this](const httplib::Request& req, httplib::Response&) {
    Log(req);
    return httplib::Server::HandlerResponse::Unhandled;
  });
}

void TarnfetchTest::TearDown() {
  Release();
  server_.Stop();
}

void TarnfetchTest::Log(const httplib::Request& req) {
  std::unique_lock lock(mutex_);
  seen_.push_back({req.path, req.headers});
  released_.wait_for(lock, std::chrono::seconds(60), [&] { return !held_.contains(req.path); });
}

std::string TarnfetchTest::Url(const std::string& path) {
  if (!catchAll_) {
    server_.Routes().Get(".*", [this](const httplib::Request& req, httplib::Response& res) {
      std::lock_guard lock(mutex_);
      const auto found = files_.find(req.path);
      if (found == files_.end()) return void(res.status = 404);
      res.set_content(found->second.first, found->second.second);
    });
    catchAll_ = true;
  }
  return server_.Url(path);
}

void TarnfetchTest::Serve(const std::string& path, std::string body, const std::string& type) {
  std::lock_guard lock(mutex_);
  files_[path] = {std::move(body), type.empty() ? TypeOf(path) : type};
}

std::vector<std::string> TarnfetchTest::Requested(const std::string& prefix) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> found;
  for (const auto& request : seen_) {
    if (request.path.rfind(prefix, 0) == 0) found.push_back(request.path);
  }
  std::sort(found.begin(), found.end());
  return found;
}

long TarnfetchTest::Count(const std::string& path) {
  std::lock_guard lock(mutex_);
  return std::count_if(seen_.begin(), seen_.end(),
                       [&](const SeenRequest& request) { return request.path == path; });
}

long TarnfetchTest::Sent(const std::string& line) {
  std::lock_guard lock(mutex_);
  long count = 0;
  for (const auto& request : seen_) {
    for (const auto& [name, value] : request.headers) count += name + ": " + value == line;
  }
  return count;
}

std::vector<std::string> TarnfetchTest::SentValues(const std::string& name,
                                                   const std::string& path) {
  std::lock_guard lock(mutex_);
  std::vector<std::string> values;
  for (const auto& request : seen_) {
    const auto [first, end] = request.headers.equal_range(name);
    for (auto header = first; header != end; ++header) {
      if (path.empty() || request.path == path) values.push_back(header->second);
    }
  }
  return values;
}

std::vector<SeenRequest> TarnfetchTest::Seen() {
  std::lock_guard lock(mutex_);
  return seen_;
}

void TarnfetchTest::ForgetRequests() {
  std::lock_guard lock(mutex_);
  seen_.clear();
}

void TarnfetchTest::Hold(const std::string& path) {
  std::lock_guard lock(mutex_);
  held_.insert(path);
}

void TarnfetchTest::Release() {
  {
    std::lock_guard lock(mutex_);
    held_.clear();
  }
  released_.notify_all();
}

std::vector<std::string> TarnfetchTest::Args(const std::string& path, const fs::path& folder,
                                             const std::string& name) {
  return {Url(path), "-p", (folder / name).string()};
}

RunResult TarnfetchTest::Fetch(const std::string& path, const std::vector<std::string>& more) {
  std::vector<std::string> args = Args(path, out());
  args.insert(args.end(), more.begin(), more.end());
  return RunTarnfetch(args);
}

RunResult TarnfetchTest::FetchInto(const fs::path& folder, const std::string& path,
                                   const std::string& name) {
  return RunTarnfetch(Args(path, folder, name));
}

bool TarnfetchTest::KillWhen(const std::string& path, const std::function<bool()>& ready,
                             const std::vector<std::string>& more) {
  std::vector<std::string> args = Args(path, out());
  args.insert(args.end(), more.begin(), more.end());
  const bool reached = KillTarnfetchWhen(args, ready);
  Release();
  ForgetRequests();
  return reached;
}

void TarnfetchTest::ExpectOnlyFile(const RunResult& run, const std::string& file) {
  ASSERT_NO_FATAL_FAILURE(ExpectSuccess(run));
  EXPECT_EQ(TagValue(run, Marker::FileName), (out() / file).string()) << run.Text();
  ExpectCompleteOnce(run);
  double percent = 0;
  for (const auto& line : run.Starting(std::string(Marker::Speed.open) + " ")) {
    EXPECT_GE(std::stod(line.substr(8)), percent) << run.Text();
    percent = std::stod(line.substr(8));
  }
  EXPECT_EQ(FilesBelow(out()), std::vector<std::string>{file});
}

void ServeHalfThenCut(httplib::Response& res, const std::string& body) {
  res.set_content_provider(
      body.size(), "video/mp4",
      [&body](std::size_t offset, std::size_t length, httplib::DataSink& sink) {
        const std::size_t half = body.size() / 2;
        if (offset >= half) return false;
        sink.write(body.data() + offset, std::min(length, half - offset));
        return true;
      });
}

void ServeChunked(httplib::Response& res, const std::string& body, const char* type) {
  res.set_chunked_content_provider(type, [&body](std::size_t offset, httplib::DataSink& sink) {
    if (offset < body.size()) {
      sink.write(body.data() + offset, std::min<std::size_t>(body.size() - offset, 64 << 10));
    } else {
      sink.done();
    }
    return true;
  });
}

}  // namespace tarnfetch_test
