#pragma once

#include <functional>
#include <string>
#include <string_view>

namespace tarnfetch {

class OutputFolder;

// Whether MP4 takes a codec as it is, by its RFC 6381 name ("avc1.64001f",
// "mp4a.40.2") or ffmpeg's ("h264", "aac"); the rest goes into Matroska.
bool Mp4TakesCodec(std::string_view codec);

// The ffmpeg that joins picture and sound which come apart. Throws
// FetchError naming whose they are ("this stream's") when there is none:
// the picture alone is not the video.
std::string FfmpegToJoin(const std::string& whose);

// Copies the first picture of one file in the folder and the first sound
// of another, without re-encoding, into a new MP4 (else Matroska) file
// under finalName, never replacing a file there. `prove`, when given, sees
// the joined file (its descriptor and muxer) before it takes the name and
// may refuse it by throwing. Throws FetchError.
using JoinedFileCheck = std::function<void(int fd, std::string_view muxer)>;
void JoinPictureAndSound(const std::string& ffmpeg, const OutputFolder& folder,
                         const std::string& pictureName, const std::string& soundName,
                         const std::string& finalName, bool mp4, const JoinedFileCheck& prove = {});

}  // namespace tarnfetch
