#include "download/FragmentRetimer.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

#include "shared/BigEndian.h"
#include "shared/Numbers.h"

namespace tarnfetch {
namespace {

using quillmarsh::ReadBigEndian;
using quillmarsh::WriteBigEndian;

// A box header's length from its first eight bytes: 16 when a 64-bit size
// follows.
std::size_t HeaderLength(std::string_view head) {
  return ReadBigEndian(head, 0, 4) == 1 ? 16 : 8;
}

// Calls fn(type, body) for each box that lies whole in `data`, in order;
// stops at the first that does not.
template <typename Fn>
void ForEachBox(std::string_view data, Fn&& fn) {
  std::size_t at = 0;
  while (data.size() - at >= 8) {
    std::uint64_t size = ReadBigEndian(data, at, 4);
    std::size_t header = 8;
    if (size == 1) {
      if (data.size() - at < 16) return;
      size = ReadBigEndian(data, at + 8, 8);
      header = 16;
    } else if (size == 0) {
      size = data.size() - at;
    }
    if (size < header || size > data.size() - at) return;
    fn(data.substr(at + 4, 4), data.substr(at + header, static_cast<std::size_t>(size) - header));
    at += static_cast<std::size_t>(size);
  }
}

// The 32-bit field after a full box's version and its times (32 or 64
// bits each): tkhd's track ID, mdhd's timescale.
std::optional<std::uint32_t> AfterTimes(std::string_view body) {
  if (body.empty()) return std::nullopt;
  const std::size_t at = 4 + (body[0] == 1 ? 16 : 8);
  if (body.size() < at + 4) return std::nullopt;
  return static_cast<std::uint32_t>(ReadBigEndian(body, at, 4));
}

}  // namespace

void FragmentRetimer::Feed(std::string_view data, const Out& out) {
  while (!data.empty()) {
    if (lost_) {
      out(data.data(), data.size());
      return;
    }
    if (passing_ || holding_) {
      const std::size_t take =
          static_cast<std::size_t>(std::min<std::uint64_t>(left_, data.size()));
      if (passing_) {
        out(data.data(), take);
      } else {
        held_.append(data.data(), take);
      }
      left_ -= take;
      data.remove_prefix(take);
      if (left_ == 0) {
        if (holding_) Finish(out);
        passing_ = false;
      }
      continue;
    }
    const std::size_t want = held_.size() < 8 ? 8 : HeaderLength(held_);
    const std::size_t take = std::min(want - held_.size(), data.size());
    held_.append(data.data(), take);
    data.remove_prefix(take);
    if (held_.size() == 8 && HeaderLength(held_) == 16) continue;
    if (held_.size() == want) Begin(out);
  }
}

void FragmentRetimer::Begin(const Out& out) {
  const std::size_t header = held_.size();
  const std::uint64_t size = header == 16 ? ReadBigEndian(held_, 8, 8) : ReadBigEndian(held_, 0, 4);
  const std::string_view type = std::string_view(held_).substr(4, 4);
  if (size < header) {  // 0 (to the end) or damaged: nothing more to read as boxes
    lost_ = true;
    out(held_.data(), held_.size());
    held_.clear();
    return;
  }
  left_ = size - header;
  if ((type == "moov" || type == "moof") && size <= kMaxHeldBox) {
    holding_ = true;
    if (left_ == 0) Finish(out);
    return;
  }
  out(held_.data(), held_.size());
  held_.clear();
  passing_ = left_ > 0;
}

void FragmentRetimer::Finish(const Out& out) {
  if (std::string_view(held_).substr(4, 4) == "moov") {
    LearnTimescales(held_);
  } else {
    MoveDecodeTimes(held_);
  }
  out(held_.data(), held_.size());
  held_.clear();
  holding_ = false;
}

void FragmentRetimer::Flush(const Out& out) {
  if (held_.empty()) return;
  out(held_.data(), held_.size());
  held_.clear();
  if (holding_) {
    holding_ = false;
    passing_ = left_ > 0;
  } else {
    lost_ = true;  // a header cut in two: where boxes begin is unknown
  }
}

void FragmentRetimer::LearnTimescales(std::string_view moov) {
  ForEachBox(moov, [this](std::string_view, std::string_view body) {
    ForEachBox(body, [this](std::string_view type, std::string_view trak) {
      if (type != "trak") return;
      std::optional<std::uint32_t> track;
      std::optional<std::uint32_t> scale;
      ForEachBox(trak, [&](std::string_view inner, std::string_view box) {
        if (inner == "tkhd") track = AfterTimes(box);
        if (inner != "mdia") return;
        ForEachBox(box, [&](std::string_view media, std::string_view header) {
          if (media == "mdhd") scale = AfterTimes(header);
        });
      });
      if (track && scale && *scale > 0) timescales_[*track] = *scale;
    });
  });
}

void FragmentRetimer::MoveDecodeTimes(std::string& moof) const {
  if (shift_ == 0) return;
  const char* begin = moof.data();
  ForEachBox(moof, [&](std::string_view, std::string_view body) {
    ForEachBox(body, [&](std::string_view type, std::string_view traf) {
      if (type != "traf") return;
      std::optional<std::uint32_t> track;
      ForEachBox(traf, [&](std::string_view inner, std::string_view box) {
        if (inner == "tfhd" && box.size() >= 8)
          track = static_cast<std::uint32_t>(ReadBigEndian(box, 4, 4));
        if (inner != "tfdt" || box.empty() || !track) return;
        const auto scale = timescales_.find(*track);
        const std::size_t width = box[0] == 1 ? 8 : 4;
        if (scale == timescales_.end() || box.size() < 4 + width) return;
        const double delta = std::round(shift_ * scale->second);
        if (!(std::fabs(delta) < 0x1p62)) return;
        const auto step = static_cast<std::int64_t>(delta);
        const std::uint64_t value = ReadBigEndian(box, 4, width);
        const std::uint64_t most = width == 8 ? std::numeric_limits<std::uint64_t>::max()
                                              : std::numeric_limits<std::uint32_t>::max();
        // A time that would not fit stays as it is: the length check tells.
        if (step < 0 && value < static_cast<std::uint64_t>(-step)) return;
        if (step > 0 && most - value < static_cast<std::uint64_t>(step)) return;
        const auto at = static_cast<std::size_t>(box.data() - begin) + 4;
        WriteBigEndian(moof, at, width, value + static_cast<std::uint64_t>(step));
      });
    });
  });
}

std::string FragmentRetimer::Timescales() const {
  std::string text;
  for (const auto& [track, scale] : timescales_) {
    if (!text.empty()) text += ',';
    text += std::to_string(track) + ':' + std::to_string(scale);
  }
  return text;
}

void FragmentRetimer::Restore(std::string_view saved) {
  while (!saved.empty()) {
    const std::string_view pair = saved.substr(0, saved.find(','));
    saved.remove_prefix(std::min(pair.size() + 1, saved.size()));
    const auto colon = pair.find(':');
    if (colon == std::string_view::npos) continue;
    const auto track = quillmarsh::ReadWholeNumber<std::uint32_t>(pair.substr(0, colon));
    const auto scale = quillmarsh::ReadWholeNumber<std::uint32_t>(pair.substr(colon + 1));
    if (track && scale && *scale > 0) timescales_[*track] = *scale;
  }
}

}  // namespace tarnfetch
