#pragma once
// The browsers' native messaging protocol as our host speaks it: each
// message is a 32-bit length in this machine's byte order, then that many
// bytes of UTF-8 JSON, both ways. The extension asks {"urls": ["..."]}; the
// host answers {"ok": true, "added": N} or {"ok": false, "error": "..."}.

#include <cstdio>
#include <string>
#include <vector>

namespace quillmarsh {

enum class NativeRead { Message, End, Broken };

// One message from `in` into `json`. End: the browser closed the pipe
// between messages. Broken (`error` says why): a cut length or message, or
// one longer than the hand-off takes.
NativeRead ReadNativeMessage(std::FILE* in, std::string& json, std::string& error);

void WriteNativeMessage(std::FILE* out, const std::string& json);

// The addresses asked for: every entry must be one http(s) address and
// nothing else, at most kHandOffMaxAddresses; otherwise `error` says which.
std::vector<std::string> RequestedUrls(const std::string& json, std::string& error);

std::string AddedAnswer(int added);
std::string ErrorAnswer(const std::string& error);

}  // namespace quillmarsh
