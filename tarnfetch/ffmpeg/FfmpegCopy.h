#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace tarnfetch {

// How long ffmpeg may take to copy inputBytes without re-encoding. Such a
// copy runs at disk speed, so the limit is generous: it only ends a run
// that hangs (a stand-in, or input that keeps ffmpeg waiting).
std::chrono::milliseconds FfmpegTimeLimit(std::uint64_t inputBytes);

// One run of ffmpeg that copies the streams of the files open at `inputs`
// into the file open at `output`, without re-encoding.
struct FfmpegCopy {
  std::vector<int> inputs;
  int output = -1;
  std::string muxer;                 // "mp4", "matroska"
  std::vector<std::string> options;  // stream choice, between inputs and output
  std::string what;                  // "join the stream into an MP4 file"
  std::chrono::milliseconds timeLimit{0};
};

// Runs the copy. ffmpeg gets an argument vector and the files as
// descriptors (3, 4, ...), each input with its format named, so that no
// name of ours is read as an option or protocol and no byte of theirs
// chooses what ffmpeg reads. A run past its time limit is killed. Throws
// FetchError with ffmpeg's own last words when it fails or writes nothing.
void RunFfmpegCopy(const std::string& ffmpeg, const FfmpegCopy& copy);

}  // namespace tarnfetch
