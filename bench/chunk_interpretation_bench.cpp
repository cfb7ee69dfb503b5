// How fast the user-interface thread reads the workers' output: the chunks
// a downloader and ffmpeg print, handed to the workers' ProcessOutput as the
// capture loop hands them over (the workers are not started), plus the two
// text readers underneath, ReadProgressTag and TimeToSeconds.
//
// Chunk sizes: the capture read size (a busy child fills every read, lines
// are cut anywhere) and one line per chunk (a child that prints a line per
// pass, the usual case). Figures in MB/s and chunks/s.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <cstdio>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "convert/FfmpegText.h"
#include "convert/TConvertThread.h"
#include "download/DownloaderOutput.h"
#include "download/TDownloadThread.h"
#include "missions/MissionHost.h"
#include "missions/MissionStatus.h"

using namespace quillmarsh;

namespace {
constexpr std::size_t kDownloadReadSize = 500;  // TDownloadThread::DefaultCapture
constexpr std::size_t kConvertReadSize = 2000;  // TConvertThread's read size

class BenchHost : public QuietHost {
 public:
  BenchHost() {
    missions.addLsvItem("https://www.video.example/watch?v=1", "[Downloading]", 0, "", "", "",
                        false, "", "");
  }
};

std::string Format(const char* format, double a, double b = 0, double c = 0) {
  char text[256];
  std::snprintf(text, sizeof text, format, a, b, c);
  return text;
}

// What tarnfetch prints for one file: start, title, file, then progress in
// tenths of a percent up to 99.9 (100 would end the download).
std::vector<std::string> DownloaderLines() {
  std::vector<std::string> lines = {
      "<Go>\n", "<title>A video title of ordinary length number 10000042</title>\n",
      "<filename>/home/user/Documents/Video Download/A video title of ordinary length number "
      "10000042.mp4</filename>\n"};
  for (int tenths = 0; tenths < 1000; ++tenths) {
    const double left = (1000 - tenths) * 0.1234;
    lines.push_back(Format("<speed> %.1f%% of 123.4MiB at 5.6MiB/s ETA 00:%02.0f</speed>\n",
                           tenths / 10.0, left > 59 ? 59 : left));
  }
  return lines;
}

// What ffmpeg prints for a 205 s clip: its header, then progress lines up to
// just short of the end.
std::vector<std::string> FfmpegLines() {
  std::vector<std::string> lines = {
      "ffmpeg version 5.1.6-0+deb12u1 Copyright (c) 2000-2024 the FFmpeg developers\n"
      "Input #0, mov,mp4,m4a,3gp,3g2,mj2, from 'file:/home/user/Documents/Video Download/"
      "clip.mp4':\n  Duration: 00:03:25.45, start: 0.000000, bitrate: 1000 kb/s\n"
      "  Stream #0:0(und): Video: h264 (High) (avc1 / 0x31637661), yuv420p, 1280x720, 25 fps\n"
      "  Stream #0:1(und): Audio: aac (LC) (mp4a / 0x6134706D), 44100 Hz, stereo, fltp\n"
      "Output #0, mp3, to 'file:/home/user/Documents/Video Download/clip.mp3':\n"
      "Press [q] to stop, [?] for help\n"};
  for (int step = 0; step < 2000; ++step) {
    const double at = step * 0.1;
    lines.push_back(
        Format("size=    %4.0fkB time=00:%02.0f:%05.2f bitrate= 128.0kbits/s "
               "speed=41.2x    \r",
               at * 16, static_cast<int>(at) / 60, at - static_cast<int>(at) / 60 * 60));
  }
  return lines;
}

// The chunks of a stream: one line each (readSize 0) or cut every readSize bytes.
std::vector<std::string> Chunks(const std::vector<std::string>& lines, std::size_t readSize) {
  if (readSize == 0) return lines;
  std::string all;
  for (const std::string& l : lines) all += l;
  std::vector<std::string> chunks;
  for (std::size_t at = 0; at < all.size(); at += readSize)
    chunks.push_back(all.substr(at, readSize));
  return chunks;
}

void SetRates(benchmark::State& state, const std::vector<std::string>& chunks) {
  double bytes = 0;
  for (const std::string& c : chunks) bytes += static_cast<double>(c.size());
  const double runs = static_cast<double>(state.iterations());
  state.counters["MB_per_s"] = benchmark::Counter(bytes * runs / 1e6, benchmark::Counter::kIsRate);
  state.counters["chunks_per_s"] =
      benchmark::Counter(static_cast<double>(chunks.size()) * runs, benchmark::Counter::kIsRate);
}

// Arg: read size in bytes, 0 for one line per chunk.
void BM_DownloadChunks(benchmark::State& state) {
  const auto chunks = Chunks(DownloaderLines(), static_cast<std::size_t>(state.range(0)));
  BenchHost host;
  TDownloadThread worker(host);
  worker.MissionIndex = 0;
  worker.TakeSlot();
  for (auto _ : state) {
    for (const std::string& chunk : chunks) {
      worker.Output = chunk;
      worker.ProcessOutput();
    }
  }
  if (host.missions.status(0) != Status::DownloadingPercent(99))
    state.SkipWithError(("progress not read: " + host.missions.status(0)).c_str());
  SetRates(state, chunks);
}
BENCHMARK(BM_DownloadChunks)->Arg(kDownloadReadSize)->Arg(0);

void BM_ConvertChunks(benchmark::State& state) {
  const auto chunks = Chunks(FfmpegLines(), static_cast<std::size_t>(state.range(0)));
  BenchHost host;
  TConvertThread worker(host);
  worker.MissionIndex = 0;
  for (auto _ : state) {
    for (const std::string& chunk : chunks) {
      worker.Output = chunk;
      worker.ProcessOutput();
    }
  }
  // A chunk's first "time=" counts: the last chunk may start before the end.
  if (host.missions.status(0).rfind("[Converting] ", 0) != 0 ||
      host.missions.record(0).progress < 90)
    state.SkipWithError(("progress not read: " + host.missions.status(0)).c_str());
  SetRates(state, chunks);
}
BENCHMARK(BM_ConvertChunks)->Arg(kConvertReadSize)->Arg(0);

void BM_ReadProgressTag(benchmark::State& state) {
  const auto lines = DownloaderLines();
  long read = 0;
  for (auto _ : state)
    for (std::size_t i = 3; i < lines.size(); ++i) read += ReadProgressTag(lines[i]).has_value();
  if (read != static_cast<long>(state.iterations()) * static_cast<long>(lines.size() - 3))
    state.SkipWithError("a progress tag was not read");
  state.SetItemsProcessed(read);
}
BENCHMARK(BM_ReadProgressTag);

void BM_TimeToSeconds(benchmark::State& state) {
  std::vector<std::string> times;
  for (int s = 0; s < 1000; ++s)
    times.push_back(Format("%02.0f:%02.0f:%05.2f", s / 360, s / 6 % 60, s % 6 * 9.87));
  double sum = 0;
  for (auto _ : state)
    for (const std::string& t : times) sum += TimeToSeconds(t);
  benchmark::DoNotOptimize(sum);
  if (sum <= 0) state.SkipWithError("no time was read");
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * times.size()));
}
BENCHMARK(BM_TimeToSeconds);
}  // namespace

int main(int argc, char** argv) {
  return RunBenchmarks(argc, argv);
}
