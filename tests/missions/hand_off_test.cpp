// Addresses handed between processes, both ends in this process: the
// socket's rules, and what the listening side refuses before anything is
// taken.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>

#include "missions/AddressArguments.h"
#include "missions/HandOffServer.h"
#include "platform/UserSocket.h"
#include "support/QtTestApp.h"
#include "support/TempDir.h"

namespace quillmarsh {

using namespace std::chrono_literals;

namespace {
int ListenAt(const std::string& path) {
  std::string error;
  return ListenUserSocket(path, error);
}
}  // namespace

TEST(HandOff, BadRequestsAreRefusedWithNothingTaken) {
  EnsureQtApp();
  TempDir dir;
  bool taken = false;
  HandOffServer server(
      [&taken](const std::vector<std::string>&) { return taken = true, HandOffReply{}; });
  std::string error;
  ASSERT_TRUE(server.Listen(dir.file("s"), error)) << error;
  // Sends bytes as any program of this user could, on a thread of its own
  // while the event loop serves it; returns the answer.
  const auto sendRaw = [&](const std::string& bytes) {
    auto answer = std::async(std::launch::async, [&] {
      const UserSocketConnection c = ConnectUserSocket(dir.file("s"));
      ::send(c.fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
      std::string line;
      char buffer[256];
      for (ssize_t n; (n = ::recv(c.fd, buffer, sizeof buffer, 0)) > 0;) line.append(buffer, n);
      ::close(c.fd);
      return line;
    });
    SpinUntil([&] { return answer.wait_for(0s) == std::future_status::ready; }, 30s);
    return answer.get();
  };
  std::string many;
  for (int i = 0; i < 10000; ++i) many += "https://v.example/" + std::to_string(i) + "\n";
  const struct {
    const char* what;
    std::string bytes;
    std::string answer;
  } cases[] = {
      {"a file path", FrameHandOff("/home/someone/videos.txt"),
       "error the message holds no http(s) address\n"},
      // Judged by its length alone: nothing of it is read.
      {"2 MiB", FrameHandOff(std::string(2 << 20, 'a')).substr(0, 4096),
       "error the message is larger than 1 MiB\n"},
      {"10,000 addresses", FrameHandOff(many),
       "error the message holds more than 5000 addresses\n"},
      {"invalid UTF-8", FrameHandOff("https://v.example/\xff\xfe"),
       "error the message is not UTF-8 text\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(sendRaw(c.bytes), c.answer);
  }
  EXPECT_FALSE(taken);
}

TEST(UserSocket, OnlyThisUsersPrivateSocketIsReached) {
  TempDir dir;
  const std::string path = dir.file("s");
  const struct {
    const char* what;
    std::function<bool()> plant;  // false: cannot be set up here
    bool nobodyListens;
  } cases[] = {
      {"a plain file", [&] { return WriteFile(path, ""), true; }, false},
      {"open to others", [&] { return ListenAt(path) >= 0 && ::chmod(path.c_str(), 0666) == 0; },
       false},
      // Root may give a file away; other users skip this row.
      {"another user's",
       [&] { return ListenAt(path) >= 0 && ::chown(path.c_str(), 65534, 65534) == 0; }, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    std::filesystem::remove(path);
    if (!c.plant()) continue;
    const UserSocketConnection connection = ConnectUserSocket(path);
    EXPECT_EQ(connection.fd, -1);
    EXPECT_EQ(connection.nobodyListens, c.nobodyListens) << connection.error;
  }
}

TEST(UserSocket, AStaleSocketIsReplacedAndAnythingElseLeftAlone) {
  TempDir dir;
  ::close(ListenAt(dir.file("stale")));
  EXPECT_TRUE(ConnectUserSocket(dir.file("stale")).nobodyListens);
  const int fd = ListenAt(dir.file("stale"));
  ASSERT_GE(fd, 0);
  struct stat st {};
  ASSERT_EQ(::lstat(dir.file("stale").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  const UserSocketConnection c = ConnectUserSocket(dir.file("stale"));
  EXPECT_GE(c.fd, 0) << c.error;
  ::close(c.fd);
  ::close(fd);

  WriteFile(dir.file("file"), "kept");
  EXPECT_EQ(ListenAt(dir.file("file")), -1);
  EXPECT_EQ(ReadFile(dir.file("file")), "kept");
}

TEST(AddressArguments, TakeWhatAPasteTakesAndPassOverTheToolkitsOptions) {
  const char* argv[] = {"quillmarsh",     "-platform",        "offscreen",
                        "https://a/1",    "see https://a/2.", "/etc/hostname",
                        "https://a/\xff", "--reverse",        "https://a/3"};
  const AddressArguments given = AddressesInArguments(std::size(argv), argv);
  EXPECT_EQ(given.urls, (std::vector<std::string>{"https://a/1", "https://a/2", "https://a/3"}));
  EXPECT_EQ(given.refused, (std::vector<std::string>{"/etc/hostname", "https://a/\xff"}));
}

}  // namespace quillmarsh
