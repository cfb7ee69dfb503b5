#include "missions/HandOffClient.h"

#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "platform/UserSocket.h"

namespace quillmarsh {

namespace {
std::string Joined(const std::vector<std::string>& urls) {
  std::string text;
  for (const std::string& url : urls) text.append(url).push_back('\n');
  return text;
}

UserSocketConnection ConnectWithin(const std::string& path, std::chrono::milliseconds wait) {
  const auto deadline = std::chrono::steady_clock::now() + wait;
  for (;;) {
    UserSocketConnection c = ConnectUserSocket(path);
    if (c.fd >= 0 || !c.nobodyListens || std::chrono::steady_clock::now() >= deadline) return c;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

bool SendAll(int fd, const std::string& data) {
  for (std::size_t sent = 0; sent < data.size();) {
    const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false;
    sent += static_cast<std::size_t>(n);
  }
  return true;
}

// The answer line; empty when none came in time.
std::string ReceiveLine(int fd) {
  std::string line;
  char buffer[512];
  while (line.find('\n') == std::string::npos && line.size() < 4096) {
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    line.append(buffer, static_cast<std::size_t>(n));
  }
  return line;
}
}  // namespace

HandOffReply HandOffAddresses(const std::string& socketPath, const std::vector<std::string>& urls,
                              std::chrono::milliseconds wait) {
  const std::string text = Joined(urls);
  if (HandOffRequest checked = ReadHandOffText(text); !checked.error.empty())
    return {0, 0, checked.error};
  const UserSocketConnection c = ConnectWithin(socketPath, wait);
  if (c.fd < 0) return {0, 0, c.nobodyListens ? "Quillmarsh does not take addresses now" : c.error};
  const timeval answerTime{10, 0};
  ::setsockopt(c.fd, SOL_SOCKET, SO_RCVTIMEO, &answerTime, sizeof answerTime);
  ::setsockopt(c.fd, SOL_SOCKET, SO_SNDTIMEO, &answerTime, sizeof answerTime);
  const bool sent = SendAll(c.fd, FrameHandOff(text));
  const std::string line = sent ? ReceiveLine(c.fd) : std::string();
  ::close(c.fd);
  return ParseReply(line);
}

}  // namespace quillmarsh
