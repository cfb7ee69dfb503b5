#include "page/PackedScript.h"

#include <nlohmann/json.hpp>
#include <vector>

#include "core/Utf8.h"
#include "page/ScriptLiteral.h"

namespace tarnfetch {
namespace {

using Limits = PackedScriptLimits;

constexpr std::string_view kPackerStart = "function(p,a,c,k,e,";
// The packer's own decoding function sits between its start and its
// arguments; it is a few hundred bytes.
constexpr std::size_t kMaxDecoderBytes = 4096;
// Its alphabet: 0-9, a-z, A-Z; wider ones use other schemes.
constexpr long kMaxRadix = 62;

bool IsWordChar(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 36;
  return 1000;
}

// The packer's arguments as JSON: [payload, radix, count, words, ...]. The
// words are handed over as "a|b".split('|'), which reads as the string.
nlohmann::json Arguments(std::string_view script, std::size_t from) {
  const std::string literal = "[" + std::string(script.substr(from, Limits::kMaxArgumentBytes));
  return nlohmann::json::parse(ToValidUtf8(ScriptLiteralToJson(literal)), nullptr, false);
}

std::vector<std::string_view> SplitWords(std::string_view words) {
  std::vector<std::string_view> out;
  for (std::size_t start = 0;;) {
    const std::size_t bar = words.find('|', start);
    out.push_back(words.substr(start, bar - start));
    if (bar == std::string_view::npos) return out;
    start = bar + 1;
  }
}

// Each word of the payload replaced by the word it indexes; words that
// index none stay as they are.
void Unpack(std::string_view payload, long radix, const std::vector<std::string_view>& words,
            std::string& out) {
  for (std::size_t pos = 0; pos < payload.size() && out.size() < Limits::kMaxUnpackedBytes;) {
    if (!IsWordChar(payload[pos])) {
      out += payload[pos++];
      continue;
    }
    const std::size_t start = pos;
    std::size_t index = 0;
    bool valid = true;
    for (; pos < payload.size() && IsWordChar(payload[pos]); ++pos) {
      const int digit = DigitValue(payload[pos]);
      valid = valid && digit < radix && index <= words.size();
      if (valid) index = index * static_cast<std::size_t>(radix) + static_cast<std::size_t>(digit);
    }
    const bool known = valid && index < words.size() && !words[index].empty();
    out += known ? words[index] : payload.substr(start, pos - start);
  }
  if (out.size() > Limits::kMaxUnpackedBytes) out.resize(Limits::kMaxUnpackedBytes);
}

// Unpacks the call whose arguments start at `from` (after "("); false when
// they are not the packer's.
bool UnpackCall(std::string_view script, std::size_t from, std::string& out) {
  const nlohmann::json arguments = Arguments(script, from);
  if (!arguments.is_array() || arguments.size() < 4 || !arguments[0].is_string() ||
      !arguments[1].is_number_unsigned() || !arguments[3].is_string()) {
    return false;
  }
  const auto radix = arguments[1].get<long>();
  if (radix < 2 || radix > kMaxRadix) return false;
  const auto& payload = arguments[0].get_ref<const std::string&>();
  Unpack(payload, radix, SplitWords(arguments[3].get_ref<const std::string&>()), out);
  if (out.size() < Limits::kMaxUnpackedBytes) out += '\n';
  return true;
}

}  // namespace

std::string UnpackScript(std::string_view script) {
  std::string out;
  std::size_t calls = 0;
  for (std::size_t at = script.find(kPackerStart);
       at != std::string_view::npos && calls < Limits::kMaxCalls &&
       out.size() < Limits::kMaxUnpackedBytes;
       at = script.find(kPackerStart, at + kPackerStart.size())) {
    ++calls;
    const std::string_view decoder = script.substr(at, kMaxDecoderBytes);
    std::size_t open = decoder.find("}('");
    if (open == std::string_view::npos) open = decoder.find("}(\"");
    if (open == std::string_view::npos) continue;
    UnpackCall(script, at + open + 2, out);
  }
  return out;
}

}  // namespace tarnfetch
