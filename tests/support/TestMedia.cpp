#include "support/TestMedia.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

#include "support/ProgramRun.h"
#include "support/TempDir.h"

namespace quillmarsh {

bool RunFfmpeg(const std::vector<std::string>& args) {
  std::vector<std::string> argv{kFfmpeg, "-v", "error", "-y"};
  argv.insert(argv.end(), args.begin(), args.end());
  const RunResult run = RunProgram(argv);
  EXPECT_EQ(run.exitCode, 0) << "ffmpeg could not make the test media:\n" << run.Text();
  return run.exitCode == 0;
}

bool MakeClip(const ClipKind& clip, const std::vector<std::string>& output) {
  std::vector<std::string> args;
  if (clip.picture) args.insert(args.end(), {"-f", "lavfi", "-i", "testsrc=size=64x48:rate=10"});
  if (clip.sound) {
    args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050"});
  }
  args.insert(args.end(), {"-t", std::to_string(clip.seconds)});
  if (clip.picture) args.insert(args.end(), {"-c:v", "libx264", "-g", "10"});
  if (clip.sound) args.insert(args.end(), {"-c:a", "aac"});
  args.insert(args.end(), output.begin(), output.end());
  return RunFfmpeg(args);
}

std::vector<std::string> HlsOutput(const std::string& folder, const std::string& name, int seconds,
                                   const std::string& segments) {
  return {"-f",
          "hls",
          "-hls_time",
          std::to_string(seconds),
          "-hls_playlist_type",
          "vod",
          "-hls_segment_filename",
          folder + "/" + segments,
          folder + "/" + name + ".m3u8"};
}

HlsFiles ReadHls(const std::string& playlistFile) {
  HlsFiles files{ReadFile(playlistFile), {}};
  const std::string folder = std::filesystem::path(playlistFile).parent_path().string();
  std::istringstream lines(files.playlist);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] != '#') {
      files.segments.emplace_back(line, ReadFile(folder + "/" + line));
    }
  }
  EXPECT_FALSE(files.segments.empty()) << files.playlist;
  return files;
}

std::string Ffprobe(const std::string& file, const std::string& entries, bool countFrames) {
  std::vector<std::string> argv{"/usr/bin/ffprobe", "-v", "error"};
  if (countFrames) argv.push_back("-count_frames");
  argv.insert(argv.end(), {"-show_entries", entries, "-of", "csv=p=0", file});
  const RunResult run = RunProgram(argv);
  EXPECT_EQ(run.exitCode, 0) << run.Text();
  return run.Text();
}

}  // namespace quillmarsh
