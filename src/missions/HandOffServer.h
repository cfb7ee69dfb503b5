#pragma once
// The receiving side of the hand-off, on the user-interface thread: listens
// at the socket, reads one request per connection (at most 10 s and
// kHandOffMaxBytes, from processes of this user only), refuses what
// ReadHandOffText refuses and gives the rest to `take`, whose answer goes
// back. Qt Core only.

#include <QObject>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include "missions/HandOffMessage.h"

class QSocketNotifier;

namespace quillmarsh {

class HandOffServer : public QObject {
 public:
  using Taker = std::function<HandOffReply(const std::vector<std::string>& urls)>;
  explicit HandOffServer(Taker take, QObject* parent = nullptr);
  ~HandOffServer() override;

  // False and `error` when the socket cannot be set up; the program then
  // runs without it. Only the holder of the single-instance lock listens.
  bool Listen(const std::string& path, std::string& error);

 private:
  struct Connection;
  void accept();
  void readFrom(Connection& c);
  void answer(Connection& c, const HandOffReply& reply);
  void drop(Connection& c);

  Taker take_;
  std::string path_;
  int fd_ = -1;
  QSocketNotifier* listening_ = nullptr;
  std::list<std::unique_ptr<Connection>> connections_;
};

}  // namespace quillmarsh
