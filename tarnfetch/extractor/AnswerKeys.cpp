#include "extractor/AnswerKeys.h"

#include <nlohmann/json.hpp>

#include "shared/ProgramVocabulary.h"

namespace tarnfetch {
namespace {

using Json = nlohmann::json;

// Collects the kept keys from the reader's events.
class KeyKeeper {
 public:
  explicit KeyKeeper(KeptKeys& kept) : kept_(kept) {}

  bool null() { return Skip(); }
  bool boolean(bool) { return Skip(); }
  bool number_integer(Json::number_integer_t value) { return Number(static_cast<double>(value)); }
  bool number_float(Json::number_float_t value, const Json::string_t&) { return Number(value); }
  bool binary(Json::binary_t&) { return Skip(); }
  bool number_unsigned(Json::number_unsigned_t value) {
    const Slot slot = Take();
    if (slot.size != nullptr) *slot.size = value;
    if (slot.seconds != nullptr) *slot.seconds = static_cast<double>(value);
    return true;
  }
  bool string(Json::string_t& value) {
    Slot slot = Take();
    if (slot.kind == Kind::FragmentText) {
      fragmentBytes_ += value.size();
      if (fragmentBytes_ > KeptFormat::kMaxFragmentBytes) {
        return Fail(KeptKeys::Outcome::TooManyFragments);
      }
    }
    if (slot.text != nullptr) *slot.text = std::move(value);
    if (slot.kind == Kind::HeaderValue) {
      auto& headers = slot.format->headers;
      if (headers.size() == KeptKeys::kMaxHeaders) return Fail(KeptKeys::Outcome::TooManyHeaders);
      headers.emplace_back(std::move(slot.name), std::move(value));
    }
    return true;
  }
  bool start_object(std::size_t) {
    if (frames_.size() == KeptKeys::kMaxDepth) return Fail(KeptKeys::Outcome::TooDeep);
    Slot slot = Take();
    if (failure_) return false;
    if (slot.kind == Kind::FirstEntry) {
      slot = {Kind::Answer, &kept_.firstEntry.emplace(), nullptr, nullptr, nullptr, {}};
    }
    const bool listEntry = slot.kind == Kind::ListEntry;
    if (listEntry) {
      // One scratch answer serves every later entry: only its page and
      // title are kept, when its object ends.
      entry_ = {};
      slot = {Kind::Answer, &entry_, nullptr, nullptr, nullptr, {}};
    }
    if (frames_.empty()) kept_.isObject = true;
    const bool kept = slot.kind == Kind::Answer || slot.kind == Kind::Format ||
                      slot.kind == Kind::Headers || slot.kind == Kind::Fragment;
    frames_.push_back(
        {kept ? slot.kind : Kind::Skip, slot.answer, slot.format, slot.fragment, listEntry});
    return true;
  }
  bool start_array(std::size_t) {
    if (frames_.size() == KeptKeys::kMaxDepth) return Fail(KeptKeys::Outcome::TooDeep);
    const Slot slot = Take();
    if (slot.kind == Kind::Entries) kept_.hasEntries = true;
    if (slot.kind == Kind::Requested) slot.answer->hasRequested = true;
    const bool kept =
        slot.kind == Kind::Entries || slot.kind == Kind::Requested || slot.kind == Kind::Fragments;
    frames_.push_back({kept ? slot.kind : Kind::Skip, slot.answer, slot.format, nullptr, false});
    return true;
  }
  bool end_object() { return End(); }
  bool end_array() { return End(); }
  bool key(Json::string_t& name) {
    const Frame& top = frames_.back();
    if (top.kind == Kind::Answer) slot_ = AnswerKey(top.answer, name);
    if (top.kind == Kind::Format) slot_ = FormatKey(top.format, name);
    if (top.kind == Kind::Headers) slot_ = {Kind::HeaderValue, nullptr, top.format, {}, {}, name};
    if (top.kind == Kind::Fragment) slot_ = FragmentKey(top.fragment, name);
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception&) {
    return false;
  }

 private:
  enum class Kind {
    Skip,
    Answer,
    FirstEntry,
    Format,
    Headers,
    Entries,
    Requested,
    HeaderValue,
    Fragments,
    Fragment,
    FragmentText,
    ListEntry
  };
  struct Frame {
    Kind kind;
    KeptAnswer* answer;
    KeptFormat* format;
    KeptFragment* fragment;
    bool listEntry;  // an entry after the first; kept when it ends
  };
  // Where the next value goes.
  struct Slot {
    Kind kind = Kind::Skip;
    KeptAnswer* answer = nullptr;
    KeptFormat* format = nullptr;
    std::string* text = nullptr;
    std::optional<std::uint64_t>* size = nullptr;
    std::string name;  // of a header
    std::optional<double>* seconds = nullptr;
    KeptFragment* fragment = nullptr;
  };

  static Slot Text(std::string& text) { return {Kind::Skip, nullptr, nullptr, &text, {}, {}}; }

  static Slot FormatKey(KeptFormat* format, const std::string& name) {
    if (name == "url") return Text(format->url);
    if (name == "protocol") return Text(format->protocol);
    if (name == "ext") return Text(format->ext);
    if (name == "vcodec") return Text(format->vcodec);
    if (name == "acodec") return Text(format->acodec);
    if (name == "filesize") return {Kind::Skip, nullptr, nullptr, nullptr, &format->filesize, {}};
    if (name == "http_headers") return {Kind::Headers, nullptr, format, nullptr, nullptr, {}};
    if (name == "fragment_base_url") return Text(format->fragmentBaseUrl);
    if (name == "manifest_url") return Text(format->manifestUrl);
    if (name == "fragments") return {Kind::Fragments, nullptr, format, nullptr, nullptr, {}};
    return {};
  }

  static Slot FragmentKey(KeptFragment* fragment, const std::string& name) {
    Slot slot;
    if (name == "url" || name == "path") {
      slot = Text(name == "url" ? fragment->url : fragment->path);
      slot.kind = Kind::FragmentText;  // counted against the fragments' budget
      return slot;
    }
    if (name == "duration") {
      slot.seconds = &fragment->duration;
      return slot;
    }
    return {};
  }

  bool Number(double value) {
    const Slot slot = Take();
    if (slot.seconds != nullptr) *slot.seconds = value;
    return true;
  }

  Slot AnswerKey(KeptAnswer* answer, const std::string& name) {
    if (name == "title") return Text(answer->title);
    if (name == "_type") return Text(answer->type);
    if (name == "webpage_url") return Text(answer->webpageUrl);
    if (name == "requested_formats")
      return {Kind::Requested, answer, nullptr, nullptr, nullptr, {}};
    // Only the page's own list counts; an entry's entries are not looked at.
    if (name == "entries" && answer == &kept_.answer)
      return {Kind::Entries, answer, nullptr, nullptr, nullptr, {}};
    return FormatKey(&answer->own, name);
  }

  // The slot of the value that begins now.
  Slot Take() {
    if (frames_.empty()) {
      if (rootTaken_) return {};
      rootTaken_ = true;
      return {Kind::Answer, &kept_.answer, nullptr, nullptr, nullptr, {}};
    }
    Frame& top = frames_.back();
    if (top.kind == Kind::Entries) {
      // Only an object is kept as an entry: no other value is a video.
      Slot slot;
      ++kept_.entryCount;
      if (kept_.entryCount == 1) {
        slot.kind = Kind::FirstEntry;
      } else if (kept_.entryCount <= quillmarsh::kMaxListEntries) {
        kept_.entries.emplace_back();
        slot.kind = Kind::ListEntry;
      }
      return slot;
    }
    if (top.kind == Kind::Fragments) {
      auto& fragments = top.format->fragments;
      if (fragments.size() == KeptFormat::kMaxFragments) {
        failure_ = KeptKeys::Outcome::TooManyFragments;
        return {};
      }
      Slot slot;
      slot.kind = Kind::Fragment;
      slot.fragment = &fragments.emplace_back();
      return slot;
    }
    if (top.kind == Kind::Requested) {
      KeptAnswer& answer = *top.answer;
      if (++answer.requestedCount > KeptAnswer::kMaxRequested) return {};
      return {Kind::Format, nullptr, &answer.requested.emplace_back(), nullptr, nullptr, {}};
    }
    Slot slot = std::move(slot_);
    slot_ = {};
    return slot;
  }

  bool Skip() {
    Take();
    return true;
  }

  bool End() {
    if (frames_.back().listEntry && !kept_.entries.empty())
      kept_.entries.back() = {entry_.own.url, entry_.webpageUrl, entry_.title};
    frames_.pop_back();
    return true;
  }

  bool Fail(KeptKeys::Outcome outcome) {
    failure_ = outcome;
    return false;
  }

 public:
  std::optional<KeptKeys::Outcome> failure_;

 private:
  KeptKeys& kept_;
  std::vector<Frame> frames_;
  Slot slot_;
  KeptAnswer entry_;  // the list entry being read
  std::size_t fragmentBytes_ = 0;
  bool rootTaken_ = false;
};

}  // namespace

KeptKeys ReadAnswerKeys(AnswerBytes& bytes) {
  KeptKeys kept;
  KeyKeeper keeper(kept);
  bool read = false;
  try {
    read = Json::sax_parse(bytes.begin(), bytes.end(), &keeper);
  } catch (const Json::exception&) {
    read = false;
  }
  if (keeper.failure_) {
    kept.outcome = *keeper.failure_;
  } else if (bytes.Stopped() == AnswerBytes::Stop::TokenTooLong) {
    kept.outcome = KeptKeys::Outcome::TokenTooLong;
  } else if (bytes.Stopped() == AnswerBytes::Stop::Deadline) {
    kept.outcome = KeptKeys::Outcome::Deadline;
  } else {
    kept.outcome = read ? KeptKeys::Outcome::Read : KeptKeys::Outcome::NotJson;
  }
  return kept;
}

}  // namespace tarnfetch
