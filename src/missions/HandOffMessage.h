#pragma once
// What another process (`quillmarsh URL...`, the browser's host) sends the
// running instance, and its answer. A request is a 4-byte big-endian length
// and that many bytes of UTF-8 text, read for addresses as a paste is; the
// answer is one line, "added N refused M" or "error <why>".

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmarsh {

inline constexpr std::size_t kHandOffMaxBytes = 1024 * 1024;
inline constexpr std::size_t kHandOffMaxAddresses = 5000;
inline constexpr std::string_view kHandOffTooLarge = "the message is larger than 1 MiB";

std::string FrameHandOff(std::string_view text);
std::uint32_t HandOffLength(const unsigned char header[4]);

struct HandOffRequest {
  std::vector<std::string> urls;  // as AddressesInText finds them
  std::string error;              // set when the text is refused whole
};
// Refuses a text over kHandOffMaxBytes, one that is not UTF-8, one without
// an address and one with more than kHandOffMaxAddresses.
HandOffRequest ReadHandOffText(std::string_view text);

struct HandOffReply {
  int added = 0;
  int refused = 0;    // already in the list
  std::string error;  // empty when the addresses were taken
};
std::string FormatReply(const HandOffReply& reply);
HandOffReply ParseReply(std::string_view line);

}  // namespace quillmarsh
