#pragma once

#include <optional>
#include <string_view>

namespace tarnfetch {

// Whether the file open at fd, as ffmpeg's muxer ("mp4", "matroska") wrote
// it, is whole: its top-level structure ends exactly at the file's end and
// holds what is written last, the index a player needs (MP4's "moov",
// Matroska's segment size). ffmpeg may report success for a file whose
// trailer it could not write (a full disk); such a file fails here.
bool IsWholeMediaFile(int fd, std::string_view muxer);

// The playing time in seconds that such a file's header gives (MP4's
// "mvhd", Matroska's segment Duration); nothing when it gives none.
std::optional<double> MediaDuration(int fd, std::string_view muxer);

}  // namespace tarnfetch
