#pragma once

#include <string_view>

namespace tarnfetch {

// True when a body's first bytes are those of a media file: MP4 and
// QuickTime boxes, Matroska and WebM, Ogg, FLV, MPEG transport and program
// streams, MP3 (an ID3 tag or a Layer III frame), ADTS, AVI and WAVE, FLAC,
// ASF. Servers call such files "text/plain" or "application/octet-stream";
// these bytes say what they are. Text never passes (see LooksLikeText).
bool LooksLikeMediaStart(std::string_view head);

}  // namespace tarnfetch
