#pragma once
// tarnfetch's reading of the site extractor's JSON. The extractor repeats
// what a web page told it, so the input is untrusted: whatever is accepted
// must be safe to request and to name a file after.

#include <string>
#include <string_view>

#include "FuzzCheck.h"
#include "HlsPlaylistHarness.h"
#include "core/FetchError.h"
#include "extractor/ExtractorAnswer.h"
#include "files/FileName.h"

namespace fuzz {

inline void RunExtractorAnswer(std::string_view data) {
  tarnfetch::ExtractorAnswer answer;
  try {
    answer = tarnfetch::ReadExtractorAnswer(data);
  } catch (const tarnfetch::FetchError&) {
    return;  // refused with a reason
  }
  FUZZ_CHECK(answer.formats.size() == 1 || answer.formats.size() == 2);
  for (const tarnfetch::ExtractedFormat& format : answer.formats) {
    FUZZ_CHECK(IsWebAddress(format.url));
    FUZZ_CHECK(format.url.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
    for (const std::string& header : format.headers) {
      FUZZ_CHECK(header.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos);
      FUZZ_CHECK(header.find(':') != std::string::npos && header.front() != ':');
    }
    // The title and extension name the file: it stays in the output folder.
    try {
      const tarnfetch::OutputTarget target = tarnfetch::ExpandTemplate(
          "/home/user/Videos/%(title)s.%(ext)s", answer.title, format.extension);
      FUZZ_CHECK(target.folder == "/home/user/Videos");
      FUZZ_CHECK(!target.name.empty() && target.name.size() <= tarnfetch::kMaxNameBytes);
      FUZZ_CHECK(target.name.find('/') == std::string::npos);
      FUZZ_CHECK(target.name != "." && target.name != "..");
    } catch (const tarnfetch::FetchError&) {
    }
  }
}

}  // namespace fuzz
