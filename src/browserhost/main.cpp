// quillmarsh-browser-host: the browser extension's way into the queue. The
// browser starts it and writes native messages to its standard input; it
// hands the addresses to the running Quillmarsh (starting the one beside it
// when none runs) and answers on its standard output, which therefore
// carries nothing else.
#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "browserhost/NativeMessage.h"
#include "missions/HandOffClient.h"
#include "platform/SingleInstance.h"

extern char** environ;

using namespace quillmarsh;

namespace {
bool QuillmarshRuns() {
  const SingleInstance probe(kInstanceName);
  return !probe.acquired();
}

// Starts the Quillmarsh installed beside this program in a session of its
// own, so that it outlives the host, which the browser ends at will.
bool StartQuillmarsh(std::string& error) {
  std::error_code ec;
  const std::string program =
      (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "quillmarsh").string();
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_t files;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  posix_spawn_file_actions_init(&files);
  for (int fd : {0, 1, 2})
    posix_spawn_file_actions_addopen(&files, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  char* argv[] = {const_cast<char*>(program.c_str()), nullptr};
  pid_t pid = 0;
  const int failed = posix_spawn(&pid, program.c_str(), &files, &attributes, argv, environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  if (failed) error = "Quillmarsh could not be started: " + program;
  return !failed;
}

std::string Answer(const std::string& json) {
  std::string error;
  const std::vector<std::string> urls = RequestedUrls(json, error);
  if (!error.empty()) return ErrorAnswer(error);
  const bool running = QuillmarshRuns();
  if (!running && !StartQuillmarsh(error)) return ErrorAnswer(error);
  // A Quillmarsh just started needs a moment before it listens.
  const auto wait = running ? std::chrono::seconds(5) : std::chrono::seconds(30);
  const HandOffReply reply =
      HandOffAddresses(SingleInstance::SocketPath(kInstanceName), urls, wait);
  return reply.error.empty() ? AddedAnswer(reply.added) : ErrorAnswer(reply.error);
}
}  // namespace

int main() {
  std::string json;
  std::string error;
  for (;;) {
    switch (ReadNativeMessage(stdin, json, error)) {
      case NativeRead::End:
        return 0;
      case NativeRead::Broken:
        WriteNativeMessage(stdout, ErrorAnswer(error));
        return 1;
      case NativeRead::Message:
        WriteNativeMessage(stdout, Answer(json));
        break;
    }
  }
}
