#include "page/JsonFeed.h"

#include <cstdlib>
#include <nlohmann/json.hpp>
#include <vector>

#include "core/Utf8.h"

namespace tarnfetch {
namespace {

using Json = nlohmann::json;

// Containers nested deeper than this are read but not tracked.
constexpr std::size_t kMaxTrackedDepth = 64;

struct Level {
  bool array = false;
  bool holdsItems = false;     // the array of the feed's items
  std::size_t firstMedia = 0;  // the item's media found since this object began
  MediaCandidate quality;      // what this object states of its own "file"
};

class FeedCollector {
 public:
  Feed Take() { return std::move(feed_); }

  bool null() { return Scalar(); }
  bool boolean(bool) { return Scalar(); }
  bool number_integer(Json::number_integer_t value) {
    return Number(value > 0 ? static_cast<std::uint64_t>(value) : 0);
  }
  bool number_unsigned(Json::number_unsigned_t value) { return Number(value); }
  bool number_float(Json::number_float_t value, const std::string&) {
    return Number(value > 0 && value < 1e15 ? static_cast<std::uint64_t>(value) : 0);
  }
  bool binary(Json::binary_t&) { return Scalar(); }
  bool key(std::string& name) {
    key_ = std::move(name);
    return true;
  }
  bool string(std::string& value);
  bool start_object(std::size_t);
  bool end_object();
  bool start_array(std::size_t);
  bool end_array() { return Pop(); }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  bool Tracked() const { return depth_ <= kMaxTrackedDepth && !levels_.empty(); }
  // The current item's own object is the level just inside the items' array.
  bool InItem() const { return item_ != 0 && levels_.size() >= item_; }
  bool Scalar() {
    key_.clear();
    return true;
  }
  bool Number(std::uint64_t value);
  bool Push(Level level);
  bool Pop();

  Feed feed_;
  std::vector<Level> levels_;
  std::size_t depth_ = 0;
  std::size_t item_ = 0;  // the level of the current item's object; 0: none
  std::string key_;
};

bool FeedCollector::string(std::string& value) {
  const std::string key = std::exchange(key_, {});
  if (!Tracked()) return true;
  Level& level = levels_.back();
  if (key == "title" && value.size() <= Feed::kMaxTitleBytes) {
    if (InItem() && levels_.size() == item_) feed_.items.back().title = std::move(value);
    if (levels_.size() == 1 && !level.array) feed_.title = std::move(value);
  } else if (InItem() && (key == "file" || key == "src")) {
    feed_.AddMedia({std::move(value)});
  } else if (key == "label" || key == "height") {
    if (level.quality.height == 0) level.quality.height = HeightFromLabel(value.substr(0, 64));
  } else if (key == "type" && value.size() <= 256) {
    level.quality.type = std::move(value);
  }
  return true;
}

bool FeedCollector::Number(std::uint64_t value) {
  const std::string key = std::exchange(key_, {});
  if (!Tracked()) return true;
  MediaCandidate& quality = levels_.back().quality;
  if (key == "height" && value < 100000) quality.height = static_cast<long>(value);
  if (key == "bitrate" || key == "bandwidth") quality.bitrate = value;
  return true;
}

bool FeedCollector::start_object(std::size_t) {
  const bool item = Tracked() && levels_.back().holdsItems;
  key_.clear();
  if (!Push({})) return true;
  if (item) {
    if (!feed_.StartItem()) return false;  // the feed's share is full
    item_ = levels_.size();
  }
  if (InItem()) levels_.back().firstMedia = feed_.items.back().media.size();
  return true;
}

bool FeedCollector::end_object() {
  if (Tracked() && InItem()) {
    // The quality an object states belongs to the addresses directly in it.
    const Level& level = levels_.back();
    auto& media = feed_.items.back().media;
    for (std::size_t i = level.firstMedia; i < media.size(); ++i) {
      if (media[i].height == 0) media[i].height = level.quality.height;
      if (media[i].bitrate == 0) media[i].bitrate = level.quality.bitrate;
      if (media[i].type.empty()) media[i].type = level.quality.type;
    }
    if (levels_.size() == item_) item_ = 0;
  }
  return Pop();
}

bool FeedCollector::start_array(std::size_t) {
  // The items: a bare array, or the top object's "playlist".
  const bool items =
      levels_.empty() || (levels_.size() == 1 && !levels_[0].array && key_ == "playlist");
  key_.clear();
  Push({true, items, 0, {}});
  return true;
}

bool FeedCollector::Push(Level level) {
  if (++depth_ > kMaxTrackedDepth) return false;
  levels_.push_back(std::move(level));
  return true;
}

bool FeedCollector::Pop() {
  if (depth_-- <= kMaxTrackedDepth && !levels_.empty()) levels_.pop_back();
  return true;
}

}  // namespace

Feed ReadJsonFeed(std::string_view json) {
  const std::string text = ToValidUtf8(json);
  FeedCollector collector;
  Json::sax_parse(text.begin(), text.end(), &collector, Json::input_format_t::json,
                  /*strict=*/false, /*ignore_comments=*/true);
  return collector.Take();
}

bool LooksLikeJson(std::string_view text) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  const std::size_t start = text.find_first_not_of(" \t\r\n");
  return start != std::string_view::npos && (text[start] == '{' || text[start] == '[');
}

}  // namespace tarnfetch
