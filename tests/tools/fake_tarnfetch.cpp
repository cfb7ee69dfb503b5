// A stand-in for the downloader that plays a script. The script is the file
// "<name>.script" beside the program, where <name> is the part of the URL
// (the first argument) after its last "/"; failing that "<program>.script".
// One command per line; output is written raw, unbuffered:
//   out TEXT    write TEXT to standard output (escapes \n \r \t \0 \\ \xHH)
//   err TEXT    the same to standard error
//   fill N      write N bytes "." to standard output
//   drain       wait until the reader has taken everything from the pipe
//   sleep MS    pause
//   args FILE   write every argument after the program, one per line, to FILE
//   crash       end by SIGKILL, as a crash or a kill would
//   exit N      end with status N (the end of the script ends with 0)
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>

#include "ScriptText.h"

using script::Unescape;
using script::WriteAll;

namespace {

std::string ScriptPath(int argc, char** argv) {
  const std::string program = argv[0];
  const std::string dir = program.substr(0, program.rfind('/') + 1);
  if (argc > 1) {
    const std::string url = argv[1];
    const std::string name = url.substr(url.rfind('/') + 1);
    const std::string own = dir + name + ".script";
    if (!name.empty() && std::ifstream(own)) return own;
  }
  return program + ".script";
}
}  // namespace

int main(int argc, char** argv) {
  std::ifstream script(ScriptPath(argc, argv));
  if (!script) {
    WriteAll(2, "fake_tarnfetch: no script\n");
    return 4;
  }
  std::string line;
  while (std::getline(script, line)) {
    const auto blank = line.find(' ');
    const std::string command = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? "" : line.substr(blank + 1);
    if (command == "out") {
      WriteAll(1, Unescape(rest));
    } else if (command == "err") {
      WriteAll(2, Unescape(rest));
    } else if (command == "fill") {
      WriteAll(1, std::string(std::strtoul(rest.c_str(), nullptr, 10), '.'));
    } else if (command == "drain") {
      script::Drain(1);
    } else if (command == "sleep") {
      std::this_thread::sleep_for(std::chrono::milliseconds(std::atol(rest.c_str())));
    } else if (command == "args") {
      std::ofstream out(rest, std::ios::binary);
      for (int i = 1; i < argc; ++i) out << argv[i] << '\n';
    } else if (command == "crash") {
      ::raise(SIGKILL);
    } else if (command == "exit") {
      return std::atoi(rest.c_str());
    }
  }
  return 0;
}
