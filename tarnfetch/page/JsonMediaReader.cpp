#include "page/JsonMediaReader.h"

#include <algorithm>
#include <cstdlib>
#include <nlohmann/json.hpp>

#include "core/Utf8.h"
#include "page/FetchableAddress.h"

namespace tarnfetch {
namespace {

using Json = nlohmann::json;

constexpr std::size_t kMaxAddressBytes = 64 * 1024;
constexpr std::size_t kMaxTypeBytes = 256;
// Objects nested deeper than this are read but not tracked.
constexpr std::size_t kMaxTrackedDepth = 64;

// What the value after the current key means to us.
enum class Role { None, Address, Height, Label, Bitrate, Type };

Role RoleOf(std::string_view key, std::span<const std::string_view> addressKeys) {
  if (std::find(addressKeys.begin(), addressKeys.end(), key) != addressKeys.end()) {
    return Role::Address;
  }
  if (key == "height" || key == "res" || key == "size" || key == "quality") return Role::Height;
  if (key == "label") return Role::Label;
  if (key == "bitrate" || key == "bitRate" || key == "bandwidth") return Role::Bitrate;
  if (key == "type") return Role::Type;
  return Role::None;
}

// The quality an object states, for the addresses found directly in it.
struct ObjectFrame {
  std::size_t firstCandidate = 0;
  long height = 0;
  std::uint64_t bitrate = 0;
  std::string type;
};

class Collector {
 public:
  Collector(std::span<const std::string_view> keys, std::size_t maxCount)
      : keys_(keys), maxCount_(maxCount) {}

  std::vector<MediaCandidate> Take() { return std::move(found_); }

  // The parser's events; returning false stops it.
  bool null() { return Value(); }
  bool boolean(bool) { return Value(); }
  bool number_integer(Json::number_integer_t value) {
    return Number(value > 0 ? static_cast<std::uint64_t>(value) : 0);
  }
  bool number_unsigned(Json::number_unsigned_t value) { return Number(value); }
  bool number_float(Json::number_float_t value, const std::string&) {
    return Number(value > 0 && value < 1e15 ? static_cast<std::uint64_t>(value) : 0);
  }
  bool string(std::string& value) {
    const Role role = std::exchange(role_, Role::None);
    if (role == Role::Address && value.size() <= kMaxAddressBytes &&
        (IsFetchableAddress(value) || !StreamProtocolName(value).empty())) {
      if (found_.size() == maxCount_) return false;
      found_.push_back({std::move(value), 0, 0});
      owners_.push_back(depth_);
    } else if (role == Role::Label || role == Role::Height) {
      const long height = HeightFromLabel(value);
      SetHeight(height != 0 ? height : std::atol(value.substr(0, 8).c_str()));
    } else if (role == Role::Bitrate) {
      SetBitrate(std::strtoull(value.substr(0, 20).c_str(), nullptr, 10));
    } else if (role == Role::Type && Direct() && value.size() <= kMaxTypeBytes) {
      frames_.back().type = std::move(value);
    }
    return true;
  }
  bool binary(Json::binary_t&) { return Value(); }
  bool start_object(std::size_t) {
    role_ = Role::None;
    if (++depth_ <= kMaxTrackedDepth) frames_.push_back({found_.size(), 0, 0, {}});
    return true;
  }
  bool key(std::string& name) {
    role_ = RoleOf(name, keys_);
    return true;
  }
  bool end_object() {
    if (depth_-- <= kMaxTrackedDepth && !frames_.empty()) {
      ObjectFrame frame = std::move(frames_.back());
      frames_.pop_back();
      for (std::size_t i = frame.firstCandidate; i < found_.size(); ++i) {
        if (owners_[i] != depth_ + 1) continue;  // an inner object's address
        found_[i].height = frame.height;
        found_[i].bitrate = frame.bitrate;
        found_[i].type = frame.type;  // copied: several may share it
      }
    }
    return true;
  }
  bool start_array(std::size_t) { return Value(); }
  bool end_array() { return true; }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  bool Value() {
    role_ = Role::None;
    return true;
  }
  bool Number(std::uint64_t value) {
    const Role role = std::exchange(role_, Role::None);
    if (role == Role::Height) SetHeight(value < 100000 ? static_cast<long>(value) : 0);
    if (role == Role::Bitrate) SetBitrate(value);
    return true;
  }
  // Only the object directly holding the value: an inner object's size
  // says nothing about the outer one's addresses.
  bool Direct() const { return !frames_.empty() && depth_ == frames_.size(); }
  void SetHeight(long height) {
    if (Direct() && frames_.back().height == 0) frames_.back().height = height;
  }
  void SetBitrate(std::uint64_t bitrate) {
    if (Direct() && frames_.back().bitrate == 0) frames_.back().bitrate = bitrate;
  }

  std::span<const std::string_view> keys_;
  std::size_t maxCount_;
  std::vector<MediaCandidate> found_;
  std::vector<std::size_t> owners_;  // the depth of the object holding each
  std::vector<ObjectFrame> frames_;
  std::size_t depth_ = 0;
  Role role_ = Role::None;
};

}  // namespace

std::vector<MediaCandidate> MediaInJson(std::string_view json,
                                        std::span<const std::string_view> keys,
                                        std::size_t maxCount) {
  // The parser refuses text that is not UTF-8; read stray bytes as U+FFFD.
  const std::string text = ToValidUtf8(json);
  Collector collector(keys, maxCount);
  Json::sax_parse(text.begin(), text.end(), &collector, nlohmann::json::input_format_t::json,
                  /*strict=*/false, /*ignore_comments=*/true);
  return collector.Take();
}

}  // namespace tarnfetch
