#include "download/HlsDownload.h"

#include <ctime>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "core/FetchError.h"
#include "core/MediaType.h"
#include "download/Aes128Decryptor.h"
#include "download/FirstSegment.h"
#include "download/FragmentRetimer.h"
#include "download/HlsPlaylist.h"
#include "download/SegmentContainer.h"
#include "download/SegmentSpool.h"
#include "files/ControlFile.h"
#include "files/HostMemory.h"
#include "files/OutputFolder.h"
#include "files/PartFile.h"
#include "http/AnswerMessages.h"
#include "http/ConnectionPlan.h"
#include "http/TransferEngine.h"
#include "http/Url.h"
#include "report/Console.h"
#include "report/StreamProgress.h"

namespace tarnfetch {
namespace {

// Initialisation sections are small; anything larger is not one.
constexpr std::size_t kMaxMapBytes = 4u << 20;
constexpr std::size_t kKeyBytes = 16;
constexpr const char* kCounted = "segments";  // what HostMemory's counts are of
// Segments that came before the one to write next wait for it: this many
// beyond those in flight, so that one slow segment does not at once leave
// the other slots idle.
constexpr std::size_t kWaitingBeyond = 4;

// A key or an initialisation section, fetched once for all the segments
// that use it.
struct Resource {
  std::string data;
  bool requested = false;
  bool ready = false;
};

struct Pending {
  explicit Pending(int folderFd) : spool(folderFd) {}
  SegmentSpool spool;
  bool complete = false;
};

// The state of one track's run, shared by the engine's callbacks (all on
// this thread).
class Job {
 public:
  Job(const HlsTrack& track, const OutputFolder& folder, const FetchOptions& options,
      std::function<void()> written)
      : options_(options),
        playlist_(track.playlist),
        segments_(track.playlist.Segments()),
        folder_(folder),
        headers_(track.headers),
        part_(track.part),
        control_(track.control),
        written_(std::move(written)),
        shifts_(track.shifts) {
    if (!shifts_.empty()) retimer_.emplace();
  }

  // Continues after what an earlier run recorded, if anything.
  void Resume();
  std::optional<TransferRequest> Next();
  // Segments started and not yet written.
  std::size_t Waiting() const { return nextToStart_ - nextToWrite_; }
  bool Complete() const { return nextToWrite_ == segments_.size(); }
  void SaveIfDue() { control_.SaveIfDue(); }
  void Save() { control_.Save(); }
  const HlsPlaylist& Playlist() const { return playlist_; }
  double Seconds() const { return seconds_; }
  std::size_t Written() const { return nextToWrite_; }
  std::uint64_t Bytes() const { return bytes_; }

 private:
  TransferRequest Request(std::string url) const;
  std::optional<ByteRange> RangeOf(const HlsSegment& segment) const;
  // Whether the first segment is still the one the ".part" begins with.
  bool SameFirstSegment();
  TransferRequest ResourceRequest(const std::string& id, std::string url,
                                  std::optional<ByteRange> range, std::size_t maxBytes);
  TransferRequest SegmentRequest(std::size_t index);
  // The resource ids a segment needs before it can be written.
  std::string KeyId(const HlsSegment& segment) const;
  std::string MapId(std::size_t index) const;
  void WriteReady();
  void WriteSegment(std::size_t index, Pending& pending);
  void StoreSegment(std::size_t index, const char* data, std::size_t size);
  void CheckHead(std::size_t index);
  void Store(const char* data, std::size_t size);
  void Write(const char* data, std::size_t size);
  // The shift of the period segment `index` belongs to.
  double ShiftAt(std::size_t index) const;

  const FetchOptions& options_;

  const HlsPlaylist& playlist_;
  const std::vector<HlsSegment>& segments_;
  const OutputFolder& folder_;
  const StreamHeaders& headers_;
  PartFile& part_;
  ControlFile& control_;
  std::function<void()> written_;

  std::size_t nextToStart_ = 0;
  std::size_t nextToWrite_ = 0;
  std::int32_t lastMap_ = -1;  // the section written last
  std::uint64_t bytes_ = 0;    // in the ".part"
  double seconds_ = 0;         // playing time written
  std::map<std::size_t, std::unique_ptr<Pending>> pending_;
  std::map<std::string, Resource> resources_;
  Aes128Decryptor decryptor_;
  std::string plain_;
  // The container the last initialisation section written opened.
  SegmentContainer container_ = SegmentContainer::Any;
  std::string head_;        // the segment's first bytes, held until checked
  FirstSegmentHead first_;  // of segment 0, as fetched
  bool headChecked_ = false;
  std::vector<PeriodShift> shifts_;
  std::optional<FragmentRetimer> retimer_;  // when the pieces' clocks start again
};

void Job::Resume() {
  const std::string fingerprint = playlist_.Fingerprint();
  const bool known = control_.Load() && control_.Get("stream") == fingerprint;
  const auto number = [this](const char* key) {
    return std::strtoull(control_.Get(key).value_or("0").c_str(), nullptr, 10);
  };
  const std::uint64_t done = known ? number("segments") : 0;
  const std::uint64_t bytes = known ? number("bytes") : 0;
  if (known && done <= segments_.size() && bytes <= part_.Size() &&
      (done == 0 || SameFirstSegment())) {
    // Bytes after the last recorded segment belong to one that was cut off.
    part_.Resize(bytes);
    part_.Continue();
    nextToWrite_ = static_cast<std::size_t>(done);
    bytes_ = bytes;
    for (std::size_t i = 0; i < nextToWrite_; ++i) seconds_ += segments_[i].duration;
    if (nextToWrite_ > 0) lastMap_ = segments_[nextToWrite_ - 1].map;
    if (retimer_) retimer_->Restore(control_.Get("timescales").value_or(""));
  } else {
    part_.StartOver();
  }
  nextToStart_ = nextToWrite_;
  const std::string firstDigest = control_.Get("first").value_or("");
  control_.Clear();
  control_.Set("stream", fingerprint);
  if (nextToWrite_ > 0) control_.Set("first", firstDigest);
  control_.Set("segments", std::to_string(nextToWrite_));
  control_.Set("bytes", std::to_string(bytes_));
  if (retimer_) control_.Set("timescales", retimer_->Timescales());
  control_.Save();
}

bool Job::SameFirstSegment() {
  const std::optional<std::string> recorded = control_.Get("first");
  return recorded && !segments_.empty() &&
         FetchFirstSegmentDigest(playlist_.Resolve(segments_[0].uri), RangeOf(segments_[0]),
                                 headers_, options_) == *recorded;
}

std::optional<ByteRange> Job::RangeOf(const HlsSegment& segment) const {
  if (!segment.hasRange || segment.length == 0) return std::nullopt;
  return ByteRange{segment.offset, segment.offset + segment.length - 1};
}

std::optional<TransferRequest> Job::Next() {
  if (nextToStart_ >= segments_.size()) return std::nullopt;
  const HlsSegment& segment = segments_[nextToStart_];
  if (segment.key >= 0) {
    const std::string id = KeyId(segment);
    if (!resources_[id].requested) {
      return ResourceRequest(id, id, std::nullopt, kKeyBytes);
    }
  }
  const std::string mapId = MapId(nextToStart_);
  if (!mapId.empty() && !resources_[mapId].requested) {
    const HlsMap& map = playlist_.Maps()[static_cast<std::size_t>(segment.map)];
    std::optional<ByteRange> range;
    if (map.hasRange && map.length > 0) range = ByteRange{map.offset, map.offset + map.length - 1};
    return ResourceRequest(mapId, playlist_.Resolve(map.uri), range, kMaxMapBytes);
  }
  return SegmentRequest(nextToStart_++);
}

std::string Job::KeyId(const HlsSegment& segment) const {
  return playlist_.Resolve(playlist_.Keys()[static_cast<std::size_t>(segment.key)].uri);
}

std::string Job::MapId(std::size_t index) const {
  const std::int32_t map = segments_[index].map;
  const std::int32_t before = index == 0 ? -1 : segments_[index - 1].map;
  if (map < 0 || map == before) return {};
  return "map " + std::to_string(map);
}

TransferRequest Job::Request(std::string url) const {
  TransferRequest request;
  request.headers = headers_.For(url);
  request.url = std::move(url);
  // A server's error page must never end up inside the video.
  request.checkHead = [](const ResponseHead& head, const std::string& where) {
    if (IsPageContentType(head.contentType)) {
      return "The server sent a web page instead of a part of the stream: " + where;
    }
    return std::string();
  };
  return request;
}

TransferRequest Job::ResourceRequest(const std::string& id, std::string url,
                                     std::optional<ByteRange> range, std::size_t maxBytes) {
  resources_[id].requested = true;
  TransferRequest request = Request(std::move(url));
  request.range = range;
  const std::uint64_t first = range ? range->first : 0;
  request.sink = [this, id, first, maxBytes](std::uint64_t offset, const char* data,
                                             std::size_t size, std::string* failure) {
    std::string& bytes = resources_[id].data;
    bytes.resize(static_cast<std::size_t>(offset - first));
    if (size > maxBytes - bytes.size()) {
      *failure = maxBytes == kKeyBytes ? "The stream's key is not 16 bytes long."
                                       : "The stream's initialisation section is too large.";
      return false;
    }
    bytes.append(data, size);
    return true;
  };
  request.done = [this, id, maxBytes] {
    Resource& resource = resources_[id];
    if (maxBytes == kKeyBytes && resource.data.size() != kKeyBytes) {
      throw FetchError("The stream's key is not 16 bytes long.");
    }
    if (resource.data.empty()) throw FetchError("The server sent an empty initialisation section.");
    resource.ready = true;
    WriteReady();
  };
  return request;
}

TransferRequest Job::SegmentRequest(std::size_t index) {
  const HlsSegment& segment = segments_[index];
  auto& pending = pending_[index];
  pending = std::make_unique<Pending>(folder_.Descriptor());
  TransferRequest request = Request(playlist_.Resolve(segment.uri));
  request.file.media = true;  // never text, packed or a part of it
  request.range = RangeOf(segment);
  const std::uint64_t first = request.range ? request.range->first : 0;
  Pending* target = pending.get();
  request.sink = [target, first](std::uint64_t offset, const char* data, std::size_t size,
                                 std::string* failure) {
    return target->spool.WriteAt(offset - first, data, size, failure);
  };
  request.done = [this, target, index] {
    if (target->spool.Size() == 0) {
      throw FetchError("The server sent an empty segment (" + std::to_string(index + 1) + " of " +
                       std::to_string(segments_.size()) + ").");
    }
    target->complete = true;
    WriteReady();
  };
  return request;
}

void Job::WriteReady() {
  while (nextToWrite_ < segments_.size()) {
    const auto found = pending_.find(nextToWrite_);
    if (found == pending_.end() || !found->second->complete) return;
    const HlsSegment& segment = segments_[nextToWrite_];
    if (segment.key >= 0 && !resources_[KeyId(segment)].ready) return;
    const std::string mapId = segment.map != lastMap_ && segment.map >= 0
                                  ? "map " + std::to_string(segment.map)
                                  : std::string();
    if (!mapId.empty() && !resources_[mapId].ready) return;
    if (retimer_) retimer_->Shift(ShiftAt(nextToWrite_));
    if (!mapId.empty()) {
      const std::string& section = resources_[mapId].data;
      if (!SegmentStartsAs(section, SegmentContainer::Any)) {
        throw FetchError(TextInsteadOfVideo(
            playlist_.Resolve(playlist_.Maps()[static_cast<std::size_t>(segment.map)].uri)));
      }
      container_ = ContainerOfSection(section);
      Store(section.data(), section.size());
    }
    lastMap_ = segment.map;
    WriteSegment(nextToWrite_, *found->second);
    if (retimer_) {
      // The records name only bytes written out.
      retimer_->Flush([this](const char* data, std::size_t size) { Write(data, size); });
      control_.Set("timescales", retimer_->Timescales());
    }
    pending_.erase(found);
    seconds_ += segment.duration;
    ++nextToWrite_;
    control_.Set("segments", std::to_string(nextToWrite_));
    control_.Set("bytes", std::to_string(bytes_));
    control_.SaveIfDue();
    // Keys and sections no segment in flight, nor the next to start, still
    // needs (keeping the latter's saves fetching a shared key again).
    const std::size_t last = std::min(nextToStart_ + 1, segments_.size());
    for (auto it = resources_.begin(); it != resources_.end();) {
      bool needed = !it->second.ready;
      for (std::size_t i = nextToWrite_; i < last && !needed; ++i) {
        needed = (segments_[i].key >= 0 && KeyId(segments_[i]) == it->first) ||
                 it->first == "map " + std::to_string(segments_[i].map);
      }
      it = needed ? std::next(it) : resources_.erase(it);
    }
    written_();
  }
}

void Job::WriteSegment(std::size_t index, Pending& pending) {
  const HlsSegment& segment = segments_[index];
  std::string failure;
  head_.clear();
  headChecked_ = false;
  if (index == 0) {
    if (!pending.spool.Read(
            [this](const char* data, std::size_t size) {
              first_.Add(std::string_view(data, size));
              return true;
            },
            &failure)) {
      throw FetchError(failure);
    }
    control_.Set("first", first_.Digest());
  }
  if (segment.key < 0) {
    if (!pending.spool.Read(
            [this, index](const char* data, std::size_t size) {
              StoreSegment(index, data, size);
              return true;
            },
            &failure)) {
      throw FetchError(failure);
    }
    CheckHead(index);
    return;
  }
  const HlsKey& key = playlist_.Keys()[static_cast<std::size_t>(segment.key)];
  Aes128Decryptor::Block secret{};
  const std::string& keyBytes = resources_[KeyId(segment)].data;
  std::copy(keyBytes.begin(), keyBytes.end(), secret.begin());
  Aes128Decryptor::Block iv = key.iv;
  if (!key.hasIv) {
    // Without an IV the media sequence number is one, big-endian.
    iv.fill(0);
    for (int i = 0; i < 8; ++i)
      iv[15 - i] = static_cast<unsigned char>(segment.sequence >> (8 * i));
  }
  decryptor_.Begin(secret, iv);
  if (!pending.spool.Read(
          [this, index](const char* data, std::size_t size) {
            plain_.clear();
            decryptor_.Update(data, size, plain_);
            StoreSegment(index, plain_.data(), plain_.size());
            return true;
          },
          &failure)) {
    throw FetchError(failure);
  }
  plain_.clear();
  if (!decryptor_.Finish(plain_)) {
    throw FetchError(
        "Segment " + std::to_string(index + 1) +
        " could not be decrypted (wrong key or damaged data): " + playlist_.Resolve(segment.uri));
  }
  StoreSegment(index, plain_.data(), plain_.size());
  std::string().swap(plain_);
  CheckHead(index);
}

// A segment's first bytes wait until there are enough to tell its
// container; nothing of it is written before.
void Job::StoreSegment(std::size_t index, const char* data, std::size_t size) {
  if (!headChecked_) {
    const std::size_t take = std::min(size, kSegmentHeadBytes - head_.size());
    head_.append(data, take);
    if (head_.size() < kSegmentHeadBytes) return;
    CheckHead(index);
    data += take;
    size -= take;
  }
  Store(data, size);
}

// Whatever its type said (static servers call segments text/plain), a
// segment that does not start as the stream's container does is an error
// page or worse, never picture or sound.
void Job::CheckHead(std::size_t index) {
  if (headChecked_) return;
  headChecked_ = true;
  if (!SegmentStartsAs(head_, container_)) {
    throw FetchError(TextInsteadOfVideo(playlist_.Resolve(segments_[index].uri)));
  }
  Store(head_.data(), head_.size());
  head_.clear();
}

void Job::Store(const char* data, std::size_t size) {
  if (!retimer_) return Write(data, size);
  retimer_->Feed(std::string_view(data, size),
                 [this](const char* out, std::size_t length) { Write(out, length); });
}

void Job::Write(const char* data, std::size_t size) {
  if (!part_.Write(data, size)) throw FetchError(part_.LastFailure());
  bytes_ += size;
}

double Job::ShiftAt(std::size_t index) const {
  double shift = 0;
  for (const PeriodShift& period : shifts_) {
    if (period.firstSegment <= index) shift = period.seconds;
  }
  return shift;
}

}  // namespace

void HlsDownload::Run(const std::vector<HlsTrack>& tracks, StreamProgress& progress) {
  std::vector<std::unique_ptr<Job>> jobs;
  std::uint64_t received = 0;
  const auto report = [&jobs, &received, &progress] {
    double seconds = 0;
    std::size_t segments = 0;
    std::uint64_t bytes = 0;
    for (const auto& job : jobs) {
      seconds += job->Seconds();
      segments += job->Written();
      bytes += job->Bytes();
    }
    progress.Update(seconds, segments, bytes, received);
  };
  for (const HlsTrack& track : tracks) {
    jobs.push_back(std::make_unique<Job>(track, folder_, options_, report));
  }
  for (const auto& job : jobs) job->Resume();
  const auto saveAll = [&jobs] {
    for (const auto& job : jobs) job->Save();
  };
  const HostMemory memory(HostMemory::DefaultFile());
  const std::string server = tracks.empty() ? "" : ServerName(tracks.front().playlist.Url());
  const std::int64_t now = std::time(nullptr);
  ConnectionPlan plan = ConnectionPlan::Adaptive(
      memory.Recall(kCounted, server, now).value_or(ConnectionPlan::kFirstSegments),
      ConnectionPlan::Measure::Segments);
  const bool limited = options_.rateLimit != nullptr;
  if (limited) plan.Hold();
  TransferEngine engine(plan.Count(), options_);
  engine.Adapt(&plan);
  engine.OnProgress([&](std::uint64_t bytes) {
    received = bytes;
    report();
  });
  // The records follow the writes within a second, also while the next
  // segment is slow to come.
  engine.OnTick([&jobs] {
    for (const auto& job : jobs) job->SaveIfDue();
  });
  // Segments wait in memory or a spool until their turn: at most
  // kWaitingBeyond more than may be in flight, beyond the last ones
  // written. The tracks take turns.
  std::size_t turn = 0;
  const auto next = [&]() -> std::optional<TransferRequest> {
    std::size_t waiting = 0;
    for (const auto& job : jobs) waiting += job->Waiting();
    if (waiting >= static_cast<std::size_t>(engine.Limit()) + kWaitingBeyond) return std::nullopt;
    for (std::size_t i = 0; i < jobs.size(); ++i) {
      const std::size_t at = (turn + i) % jobs.size();
      if (auto request = jobs[at]->Next()) {
        turn = at + 1;
        return request;
      }
    }
    return std::nullopt;
  };
  try {
    engine.Run(next);
    for (const auto& job : jobs) {
      if (!job->Complete()) {
        throw FetchError("The stream ended before all its segments were written: " +
                         job->Playlist().Url());
      }
    }
  } catch (const FetchError&) {
    saveAll();
    throw;
  }
  saveAll();
  // A held count says nothing about what the server could do.
  if (!limited) memory.Remember(kCounted, server, plan.Count(), now);
  console::Connections(plan.Count());
}

}  // namespace tarnfetch
