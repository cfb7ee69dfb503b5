#include "ffmpeg/FfmpegRemux.h"

#include <sys/stat.h>

#include "core/ChildProgram.h"
#include "ffmpeg/FfmpegCopy.h"

namespace tarnfetch {
namespace {

std::uint64_t TotalSize(const std::vector<int>& fds) {
  std::uint64_t total = 0;
  for (const int fd : fds) {
    struct stat info {};
    if (fstat(fd, &info) == 0) total += static_cast<std::uint64_t>(info.st_size);
  }
  return total;
}

}  // namespace

std::string FindFfmpeg() {
  return FindHelperProgram("ffmpeg");
}

void RemuxToMp4(const std::string& ffmpeg, int inputFd, int outputFd) {
  RunFfmpegCopy(ffmpeg, {{inputFd},
                         outputFd,
                         "mp4",
                         {"-map", "0:v?", "-map", "0:a?", "-c", "copy"},
                         "join the stream into an MP4 file",
                         FfmpegTimeLimit(TotalSize({inputFd}))});
}

void MergeStreams(const std::string& ffmpeg, int videoFd, int audioFd, int outputFd,
                  const std::string& muxer) {
  RunFfmpegCopy(ffmpeg, {{videoFd, audioFd},
                         outputFd,
                         muxer,
                         {"-map", "0:v:0", "-map", "1:a:0", "-c", "copy"},
                         "join the video and its sound into one file",
                         FfmpegTimeLimit(TotalSize({videoFd, audioFd}))});
}

}  // namespace tarnfetch
