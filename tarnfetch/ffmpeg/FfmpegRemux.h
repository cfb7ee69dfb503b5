#pragma once

#include <string>
#include <vector>

namespace tarnfetch {

// The ffmpeg beside this program, else on PATH; empty when there is none.
std::string FindFfmpeg();

// Copies the streams of inputFd (MPEG-TS or fragmented MP4) into an MP4
// written to outputFd, without re-encoding; the MP4 muxer converts ADTS
// AAC itself (the aac_adtstoasc filter) where the audio needs it. Run as
// RunFfmpegCopy (FfmpegCopy.h) does, within FfmpegTimeLimit of the input's
// size. Throws FetchError.
void RemuxToMp4(const std::string& ffmpeg, int inputFd, int outputFd);

// Copies the first video stream of videoFd and the first audio stream of
// audioFd into one file of the given muxer ("mp4", "matroska") written to
// outputFd, without re-encoding, in the same way.
void MergeStreams(const std::string& ffmpeg, int videoFd, int audioFd, int outputFd,
                  const std::string& muxer);

}  // namespace tarnfetch
