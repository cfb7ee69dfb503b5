// A stand-in for ffmpeg that plays a script. The script is the file named
// after the input ("<input>.ffscript", "file:" prefix removed) or else the
// file in $FAKE_FFMPEG_SCRIPT. One command per line:
//   out TEXT     write TEXT to standard error (escapes \n \r \t \0 \\)
//   stdout TEXT  the same to standard output
//   fill N       write N bytes "a" to standard error
//   drain        wait until the reader has taken everything from standard error
//   sleep MS     pause
//   write N      write N bytes to the output file (the last argument)
//   args FILE    write every argument after the program, one per line, to FILE
//   stdin FILE   write to FILE "eof" when standard input reads as empty at once
//   exit N       end with status N (the end of the script ends with 0)
#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "ScriptText.h"

using script::Unescape;
using script::WriteAll;

namespace {

std::string StripFilePrefix(std::string path) {
  if (path.rfind("file:", 0) == 0) path.erase(0, 5);
  return path;
}

std::string ScriptPath(const std::vector<std::string>& args) {
  for (std::size_t i = 0; i + 1 < args.size(); ++i) {
    if (args[i] != "-i") continue;
    const std::string own = StripFilePrefix(args[i + 1]) + ".ffscript";
    if (std::ifstream(own).good()) return own;
  }
  const char* env = std::getenv("FAKE_FFMPEG_SCRIPT");
  return env ? env : "";
}

std::string StdinState() {
  pollfd p{0, POLLIN, 0};
  if (::poll(&p, 1, 1000) != 1) return "open";
  char c;
  return ::read(0, &c, 1) == 0 ? "eof" : "data";
}
}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  std::ifstream script(ScriptPath(args));
  if (!script) {
    std::cerr << "fake_ffmpeg: no script\n";
    return 2;
  }
  std::string line;
  while (std::getline(script, line)) {
    const std::size_t blank = line.find(' ');
    const std::string cmd = line.substr(0, blank);
    const std::string arg = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (cmd == "out") {
      WriteAll(2, Unescape(arg));
    } else if (cmd == "stdout") {
      WriteAll(1, Unescape(arg));
    } else if (cmd == "fill") {
      WriteAll(2, std::string(std::stoul(arg), 'a'));
    } else if (cmd == "drain") {
      script::Drain(2);
    } else if (cmd == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::stol(arg)));
    } else if (cmd == "write") {
      if (args.empty()) return 4;
      std::ofstream(StripFilePrefix(args.back()), std::ios::binary)
          << std::string(std::stoul(arg), 'x');
    } else if (cmd == "args") {
      std::ofstream list(arg);
      for (const std::string& a : args) list << a << '\n';
    } else if (cmd == "stdin") {
      std::ofstream(arg) << StdinState();
    } else if (cmd == "exit") {
      return std::stoi(arg);
    }
  }
  return 0;
}
