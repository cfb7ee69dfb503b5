// A small child for the process tests. The first argument picks what it does:
//   echo ARG...      write every further argument to standard output, each
//                    followed by a zero byte
//   fds              write the open descriptor numbers, blank-separated
//   stdin            write "eof" when standard input reads as empty at once
//   interleave N     write "out I\n" to standard output and "err I\n" to
//                    standard error, alternately, for I = 0 .. N-1
//   bytes N          write N bytes "x" to standard output
//   sleep MS         pause, then end
//   exit N           end with status N
#include <dirent.h>
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace {
void WriteAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n <= 0) std::exit(3);
    done += static_cast<std::size_t>(n);
  }
}

std::string OpenDescriptors() {
  DIR* dir = ::opendir("/proc/self/fd");
  if (!dir) return "?";
  const int own = ::dirfd(dir);
  std::vector<int> fds;
  while (const dirent* e = ::readdir(dir)) {
    if (e->d_name[0] == '.') continue;
    const int fd = std::atoi(e->d_name);
    if (fd != own) fds.push_back(fd);
  }
  ::closedir(dir);
  std::string out;
  for (int fd : fds) out += (out.empty() ? "" : " ") + std::to_string(fd);
  return out;
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string mode = argv[1];
  const long n = argc > 2 ? std::atol(argv[2]) : 0;
  if (mode == "echo") {
    for (int i = 2; i < argc; ++i) WriteAll(1, std::string(argv[i]) + '\0');
  } else if (mode == "fds") {
    WriteAll(1, OpenDescriptors());
  } else if (mode == "stdin") {
    pollfd p{0, POLLIN, 0};
    char c;
    if (::poll(&p, 1, 0) == 1 && ::read(0, &c, 1) == 0) WriteAll(1, "eof");
  } else if (mode == "interleave") {
    for (long i = 0; i < n; ++i) {
      WriteAll(1, "out " + std::to_string(i) + "\n");
      WriteAll(2, "err " + std::to_string(i) + "\n");
    }
  } else if (mode == "bytes") {
    WriteAll(1, std::string(static_cast<std::size_t>(n), 'x'));
  } else if (mode == "sleep") {
    std::this_thread::sleep_for(std::chrono::milliseconds(n));
  } else if (mode == "exit") {
    return static_cast<int>(n);
  } else {
    return 2;
  }
  return 0;
}
