#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tarnfetch {

// The sentences that tell the user what was wrong with a server's answer
// to a download; each ends with the address it came from.

std::string PartNotAskedFor(const std::string& url);
std::string NoPartsSent(const std::string& url);
std::string PartsStopped(const std::string& url);
std::string TextInsteadOfVideo(const std::string& contentType, const std::string& url);
// For a body that is text whatever its type said.
std::string TextInsteadOfVideo(const std::string& url);
std::string EmptyFile(const std::string& url);
// now: the length the later answer gave, none when it gave none.
std::string LengthChanged(std::uint64_t announced, std::optional<std::uint64_t> now,
                          const std::string& url);
std::string FileChanged(const std::string& url);
std::string KeepsChanging(const std::string& url);
std::string ImpossibleLength(const std::string& url);
std::string PackedUnasked(const std::string& encoding, const std::string& url);
std::string PartOfTheAnswer(const std::string& url);
std::string StoppedEarly(std::uint64_t received, std::uint64_t expected, const std::string& url);

}  // namespace tarnfetch
