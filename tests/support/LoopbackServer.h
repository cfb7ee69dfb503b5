#pragma once
// A cpp-httplib server on 127.0.0.1 (or another loopback address) with a
// free port, serving from a thread.
// Register the routes first: the server starts with Start() or with the
// first Url(), whichever comes first.

#include <httplib.h>

#include <chrono>
#include <string>
#include <thread>

namespace quillmarsh {

class LoopbackServer {
 public:
  explicit LoopbackServer(std::string host = "127.0.0.1") : host_(std::move(host)) {}
  ~LoopbackServer() { Stop(); }
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  httplib::Server& Routes() { return server_; }
  void Start() {
    if (thread_.joinable()) return;
    port_ = server_.bind_to_any_port(host_);
    thread_ = std::thread([this] { server_.listen_after_bind(); });
    while (!server_.is_running()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Waits for the answers under way; the routes are not called again.
  void Stop() {
    if (!thread_.joinable()) return;
    server_.stop();
    thread_.join();
  }
  std::string Url(const std::string& path) {
    Start();
    return "http://" + host_ + ":" + std::to_string(port_) + path;
  }

 private:
  std::string host_;
  httplib::Server server_;
  int port_ = 0;
  std::thread thread_;
};

}  // namespace quillmarsh
