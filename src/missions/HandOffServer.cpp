#include "missions/HandOffServer.h"

#include <sys/socket.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>

#include "platform/UserSocket.h"

namespace quillmarsh {

namespace {
constexpr std::size_t kMaxConnections = 16;
constexpr int kRequestTimeMs = 10000;
constexpr std::size_t kHeaderBytes = 4;
}  // namespace

struct HandOffServer::Connection {
  int fd = -1;
  std::unique_ptr<QSocketNotifier> readable;
  std::unique_ptr<QTimer> timeLimit;
  std::string data;  // the header, then the text
  ~Connection() { ::close(fd); }
};

HandOffServer::HandOffServer(Taker take, QObject* parent)
    : QObject(parent), take_(std::move(take)) {}

HandOffServer::~HandOffServer() {
  connections_.clear();
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(path_.c_str());
}

bool HandOffServer::Listen(const std::string& path, std::string& error) {
  fd_ = ListenUserSocket(path, error);
  if (fd_ < 0) return false;
  path_ = path;
  listening_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(listening_, &QSocketNotifier::activated, this, &HandOffServer::accept);
  return true;
}

void HandOffServer::accept() {
  for (;;) {
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (connections_.size() >= kMaxConnections || !PeerIsThisUser(fd)) {
      ::close(fd);
      continue;
    }
    auto c = std::make_unique<Connection>();
    c->fd = fd;
    c->readable = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    c->timeLimit = std::make_unique<QTimer>();
    c->timeLimit->setSingleShot(true);
    Connection& added = *connections_.emplace_back(std::move(c));
    connect(added.readable.get(), &QSocketNotifier::activated, this,
            [this, &added] { readFrom(added); });
    connect(added.timeLimit.get(), &QTimer::timeout, this, [this, &added] { drop(added); });
    added.timeLimit->start(kRequestTimeMs);
  }
}

void HandOffServer::readFrom(Connection& c) {
  for (;;) {
    std::size_t wanted = kHeaderBytes - std::min(c.data.size(), kHeaderBytes);
    if (wanted == 0) {
      const std::size_t length =
          HandOffLength(reinterpret_cast<const unsigned char*>(c.data.data()));
      if (length > kHandOffMaxBytes) return answer(c, {0, 0, std::string(kHandOffTooLarge)});
      wanted = kHeaderBytes + length - c.data.size();
      if (wanted == 0) break;
    }
    char buffer[65536];
    const ssize_t n = ::recv(c.fd, buffer, std::min(wanted, sizeof buffer), 0);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
    if (n <= 0) return drop(c);  // gone before the whole request came
    c.data.append(buffer, static_cast<std::size_t>(n));
  }
  // Nothing more from this connection, whatever `take_` does meanwhile.
  c.readable->setEnabled(false);
  c.timeLimit->stop();
  const HandOffRequest request = ReadHandOffText(std::string_view(c.data).substr(kHeaderBytes));
  answer(c, request.error.empty() ? take_(request.urls) : HandOffReply{0, 0, request.error});
}

void HandOffServer::answer(Connection& c, const HandOffReply& reply) {
  const std::string line = FormatReply(reply);
  [[maybe_unused]] const ssize_t sent =
      ::send(c.fd, line.data(), line.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  drop(c);
}

void HandOffServer::drop(Connection& c) {
  c.readable->setEnabled(false);
  c.timeLimit->stop();
  // Not from inside the notifier's own signal: the connection goes once
  // control is back in the event loop.
  QTimer::singleShot(0, this, [this, fd = c.fd] {
    connections_.remove_if([fd](const auto& each) { return each->fd == fd; });
  });
}

}  // namespace quillmarsh
