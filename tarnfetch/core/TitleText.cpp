#include "core/TitleText.h"

#include "core/Utf8.h"

namespace tarnfetch {
namespace {

// The length of the invisible control character at text[pos], or 0.
std::size_t InvisibleControl(std::string_view text, std::size_t pos) {
  const auto byte = [&](std::size_t i) {
    return i < text.size() ? static_cast<unsigned char>(text[i]) : 0u;
  };
  const unsigned lead = byte(pos);
  const unsigned second = byte(pos + 1);
  if (lead == 0xC2 && second >= 0x80 && second <= 0x9F) return 2;  // C1: U+0080 to U+009F
  if (lead == 0xD8 && second == 0x9C) return 2;                    // U+061C ARABIC LETTER MARK
  if (lead != 0xE2) return 0;
  const unsigned third = byte(pos + 2);
  const bool marks = second == 0x80 && (third == 0x8E || third == 0x8F);     // U+200E, U+200F
  const bool embeddings = second == 0x80 && third >= 0xAA && third <= 0xAE;  // U+202A-U+202E
  const bool isolates = second == 0x81 && third >= 0xA6 && third <= 0xA9;    // U+2066-U+2069
  return marks || embeddings || isolates ? 3 : 0;
}

}  // namespace

std::string CleanTitle(std::string_view raw) {
  const std::string text = ToValidUtf8(raw);
  std::string out;
  out.reserve(text.size());
  bool pendingBlank = false;
  for (std::size_t pos = 0; pos < text.size();) {
    if (const std::size_t skip = InvisibleControl(text, pos)) {
      pos += skip;
      continue;
    }
    const char c = text[pos++];
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte == 0x7F) {
      pendingBlank = !out.empty();
      continue;
    }
    if (pendingBlank) out += ' ';
    pendingBlank = false;
    out += c;
  }
  return out;
}

}  // namespace tarnfetch
