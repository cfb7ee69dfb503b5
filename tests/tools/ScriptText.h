#pragma once
// Shared by the scripted stand-in programs: script escapes and raw writes.

#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

namespace script {

inline int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Escapes: \n \r \t \0 \\ and \xHH; any other escaped character stands for itself.
inline std::string Unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out.push_back(text[i]);
      continue;
    }
    const char c = text[++i];
    if (c == 'n')
      out.push_back('\n');
    else if (c == 'r')
      out.push_back('\r');
    else if (c == 't')
      out.push_back('\t');
    else if (c == '0')
      out.push_back('\0');
    else if (c == 'x' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
             HexDigit(text[i + 2]) >= 0) {
      out.push_back(static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2])));
      i += 2;
    } else {
      out.push_back(c);
    }
  }
  return out;
}

// Writes everything or ends the program with status 3.
inline void WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) std::exit(3);
    done += static_cast<std::size_t>(n);
  }
}

// Waits (at most 20 s) until nothing is left unread in the pipe at fd, so
// that the next write lands in a chunk of its own.
inline void Drain(int fd) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  int pending = 0;
  while (::ioctl(fd, FIONREAD, &pending) == 0 && pending > 0 &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
}

}  // namespace script
