#include "http/Validators.h"

#include "core/MediaType.h"
#include "files/ControlFile.h"
#include "http/HttpTransfer.h"
#include "http/Probe.h"
#include "shared/Numbers.h"

namespace tarnfetch {

std::string FileAddress(const std::string& url) {
  return url.substr(0, url.find_first_of("?#"));
}

Validators ProbedValidators(const ProbeResult& probe) {
  const bool textMedia =
      probe.kind == ProbeResult::Kind::Media && IsTextualContentType(probe.contentType);
  return {probe.contentLength, probe.etag, probe.lastModified, FileAddress(probe.url),
          textMedia ? BareContentType(probe.contentType) : std::string()};
}

Validators AnswerValidators(const ResponseHead& head, std::optional<std::uint64_t> length,
                            std::string address) {
  return {length, head.etag, head.lastModified, std::move(address)};
}

bool SameFile(const Validators& stored, const Validators& answer) {
  if (!answer.address.empty() && stored.address != answer.address) return false;
  bool compared = false;
  const auto agree = [&compared](const auto& a, const auto& b, bool present) {
    if (!present) return true;
    compared = true;
    return a == b;
  };
  return agree(stored.etag, answer.etag, !stored.etag.empty() && !answer.etag.empty()) &&
         agree(stored.lastModified, answer.lastModified,
               !stored.lastModified.empty() && !answer.lastModified.empty()) &&
         agree(stored.length, answer.length, stored.length && answer.length) && compared;
}

std::string IfRangeValue(const Validators& stored) {
  if (!stored.etag.empty() && stored.etag.rfind("W/", 0) != 0) return stored.etag;
  return stored.lastModified;
}

void StoreValidators(ControlFile& control, const Validators& validators) {
  control.Set("length", validators.length ? std::to_string(*validators.length) : "");
  control.Set("etag", validators.etag);
  control.Set("last-modified", validators.lastModified);
  control.Set("address", validators.address);
}

Validators StoredValidators(const ControlFile& control) {
  Validators validators;
  validators.length =
      quillmarsh::ReadWholeNumber<std::uint64_t>(control.Get("length").value_or(""));
  validators.etag = control.Get("etag").value_or("");
  validators.lastModified = control.Get("last-modified").value_or("");
  validators.address = control.Get("address").value_or("");
  return validators;
}

}  // namespace tarnfetch
