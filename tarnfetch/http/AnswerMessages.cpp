#include "http/AnswerMessages.h"

#include "core/MediaType.h"
#include "http/PassingFault.h"

namespace tarnfetch {
namespace {

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + " bytes";
}

}  // namespace

std::string PartNotAskedFor(const std::string& url) {
  return "The server sent a part of the file that was not asked for: " + url;
}

std::string NoPartsSent(const std::string& url) {
  return "The server does not send parts of the file: " + url;
}

std::string PartsStopped(const std::string& url) {
  return "The server stopped sending parts of the file: " + url;
}

std::string TextInsteadOfVideo(const std::string& contentType, const std::string& url) {
  return "The server sent a text (" + BareContentType(contentType) +
         ") instead of the video: " + url;
}

std::string TextInsteadOfVideo(const std::string& url) {
  return "The server sent a text instead of the video: " + url;
}

std::string EmptyFile(const std::string& url) {
  return "The server sent an empty file: " + url;
}

std::string LengthChanged(std::uint64_t announced, std::optional<std::uint64_t> now,
                          const std::string& url) {
  return "The server first announced " + Bytes(announced) + " for the video, then " +
         (now ? Bytes(*now) : "no length") + ": " + url;
}

std::string FileChanged(const std::string& url) {
  return "The file changed on the server: " + url;
}

std::string KeepsChanging(const std::string& url) {
  return "The server keeps changing the file: " + url;
}

std::string ImpossibleLength(const std::string& url) {
  return "The server announced a length no file can have: " + url;
}

std::string PackedUnasked(const std::string& encoding, const std::string& url) {
  return "The server sent the file packed (" + encoding + ") though it was not asked to: " + url;
}

std::string PartOfTheAnswer(const std::string& url) {
  return "The server sent only a part of what was asked for: " + url;
}

std::string StoppedEarly(std::uint64_t received, std::uint64_t expected, const std::string& url) {
  // The connection ended short of the file: the next run goes on from there.
  std::string sentence = "The download stopped early (" + std::to_string(received) +
                         " bytes instead of " + std::to_string(expected) + "): " + url;
  NotePassingFault(sentence);
  return sentence;
}

}  // namespace tarnfetch
