#pragma once
// Telling a passing fault from a final one. A refused or reset connection,
// a stall, a time-out, a failed name lookup or a server that is busy (429)
// or failing (5xx) may well be gone a minute later: Quillmarsh tries such a
// download again. Anything else (4xx, no video, a disk error ...) stays.

#include <curl/curl.h>

#include <string>
#include <string_view>

namespace tarnfetch {

bool IsPassingFault(CURLcode code);
bool IsPassingStatus(long status);

// The sentences that describe passing faults are noted as they are made,
// so that the run's last error, however it was worded on its way up (a
// search that names its last problem, the site extractor's fallback),
// can be told apart where it is printed. Any thread.
void NotePassingFault(const std::string& description);
// True when `message` holds a sentence noted above.
bool MentionsPassingFault(std::string_view message);

}  // namespace tarnfetch
