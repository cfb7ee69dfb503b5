#include "ffmpeg/PictureSoundJoin.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

#include "core/FetchError.h"
#include "ffmpeg/FfmpegRemux.h"
#include "files/NewFile.h"
#include "files/OutputFolder.h"

namespace tarnfetch {
namespace {

// Closes the inputs however the join ends.
struct Inputs {
  int picture = -1;
  int sound = -1;
  ~Inputs() {
    if (picture >= 0) close(picture);
    if (sound >= 0) close(sound);
  }
};

int OpenInput(const OutputFolder& folder, const std::string& name) {
  const int fd = openat(folder.Descriptor(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    throw FetchError("Could not read " + folder.Path() + "/" + name + ": " + std::strerror(errno) +
                     ".");
  }
  return fd;
}

}  // namespace

bool Mp4TakesCodec(std::string_view codec) {
  static constexpr std::array<std::string_view, 10> kPrefixes{
      "avc", "h264", "hev", "hvc", "av01", "mp4a", "aac", "mp3", "ac-3", "ec-3"};
  for (const std::string_view prefix : kPrefixes) {
    if (codec.starts_with(prefix)) return true;
  }
  return false;
}

std::string FfmpegToJoin(const std::string& whose) {
  std::string ffmpeg = FindFfmpeg();
  if (ffmpeg.empty()) {
    throw FetchError("ffmpeg is needed to join " + whose +
                     " picture and sound, which come apart, and it was not found.");
  }
  return ffmpeg;
}

void JoinPictureAndSound(const std::string& ffmpeg, const OutputFolder& folder,
                         const std::string& pictureName, const std::string& soundName,
                         const std::string& finalName, bool mp4, const JoinedFileCheck& prove) {
  Inputs inputs;
  inputs.picture = OpenInput(folder, pictureName);
  inputs.sound = OpenInput(folder, soundName);
  WriteNewFile(folder, finalName, [&](int output) {
    const std::string muxer = mp4 ? "mp4" : "matroska";
    MergeStreams(ffmpeg, inputs.picture, inputs.sound, output, muxer);
    if (prove) prove(output, muxer);
  });
}

}  // namespace tarnfetch
