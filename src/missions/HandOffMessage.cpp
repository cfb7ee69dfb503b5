#include "missions/HandOffMessage.h"

#include <QUtf8StringView>
#include <algorithm>
#include <charconv>

#include "missions/AddressesInText.h"
#include "shared/BigEndian.h"
#include "shared/Text.h"

namespace quillmarsh {

namespace {
HandOffRequest Refused(std::string error) {
  return {{}, std::move(error)};
}

bool ReadCount(std::string_view& text, std::string_view word, int& count) {
  if (text.substr(0, word.size()) != word) return false;
  text.remove_prefix(word.size());
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), count);
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  return ec == std::errc();
}
}  // namespace

std::string FrameHandOff(std::string_view text) {
  std::string framed(4, '\0');
  WriteBigEndian(framed, 0, 4, static_cast<std::uint32_t>(text.size()));
  return framed.append(text);
}

std::uint32_t HandOffLength(const unsigned char header[4]) {
  return static_cast<std::uint32_t>(
      ReadBigEndian(std::string_view(reinterpret_cast<const char*>(header), 4), 0, 4));
}

HandOffRequest ReadHandOffText(std::string_view text) {
  if (text.size() > kHandOffMaxBytes) return Refused(std::string(kHandOffTooLarge));
  if (!QUtf8StringView(text.data(), static_cast<qsizetype>(text.size())).isValidUtf8())
    return Refused("the message is not UTF-8 text");
  HandOffRequest request{AddressesInText(text), {}};
  if (request.urls.empty()) return Refused("the message holds no http(s) address");
  if (request.urls.size() > kHandOffMaxAddresses)
    return Refused("the message holds more than 5000 addresses");
  return request;
}

std::string FormatReply(const HandOffReply& reply) {
  if (reply.error.empty())
    return "added " + std::to_string(reply.added) + " refused " + std::to_string(reply.refused) +
           "\n";
  std::string why = reply.error;
  std::replace_if(
      why.begin(), why.end(), [](char c) { return c == '\n' || c == '\r'; }, ' ');
  return "error " + why + "\n";
}

HandOffReply ParseReply(std::string_view text) {
  const std::string trimmed = Trim(text);
  std::string_view line = trimmed;
  HandOffReply reply;
  if (line.substr(0, 6) == "error ") {
    reply.error = line.substr(6);
  } else if (!ReadCount(line, "added ", reply.added) ||
             !ReadCount(line, " refused ", reply.refused) || !line.empty()) {
    reply.error = "Quillmarsh gave no answer";
  }
  return reply;
}

}  // namespace quillmarsh
