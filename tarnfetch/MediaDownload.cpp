#include "MediaDownload.h"

#include <memory>

#include "ContentRange.h"
#include "FetchError.h"
#include "HttpTransfer.h"
#include "OutputFolder.h"
#include "PartFile.h"
#include "ProgressReporter.h"

namespace tarnfetch {
namespace {

// Larger reads mean fewer callbacks and writes; 512 KiB is libcurl's maximum.
constexpr long kBufferBytes = 512 * 1024;

// One request's worth of state, shared with the libcurl callbacks.
struct AttemptState {
  HttpTransfer* transfer = nullptr;
  const OutputFolder* folder = nullptr;
  const std::string* name = nullptr;
  ProgressReporter* progress = nullptr;
  std::uint64_t offset = 0;  // the ".part" size the request asked to continue from

  std::unique_ptr<PartFile> part;
  std::optional<std::uint64_t> expected;  // the complete file's size, when announced
  std::uint64_t received = 0;
  bool began = false;
  bool startAgain = false;
  std::string failure;  // set when a callback had to stop the transfer
};

// Called once the final response's head is known: decides whether the body
// continues the ".part" file, replaces it, or cannot be used.
void Begin(AttemptState& state) {
  state.began = true;
  const ResponseHead& head = state.transfer->Head();
  const long status = head.status;
  const auto range = ParseContentRange(head.contentRange);
  bool append = false;
  if (status == 206) {
    if (!range || !range->first || *range->first != state.offset) {
      state.startAgain = state.offset > 0;
      if (!state.startAgain)
        state.failure = "The server sent a part of the file that was not asked for: " +
                        state.transfer->EffectiveUrl();
      return;
    }
    append = true;
    state.expected = range->completeLength;
    if (!state.expected && head.contentLength) state.expected = state.offset + *head.contentLength;
  } else if (status == 416 && state.offset > 0) {
    // Nothing left to send: fine if the ".part" is exactly the whole file.
    if (!range || range->completeLength != state.offset) {
      state.startAgain = true;
      return;
    }
    append = true;
    state.expected = state.offset;
  } else if (status >= 200 && status <= 299) {
    state.expected = head.contentLength;
  } else {
    state.failure = DescribeStatus(status, state.transfer->EffectiveUrl());
    return;
  }

  state.part = std::make_unique<PartFile>(*state.folder, *state.name);
  if (append) {
    // Another run may have changed the file between our look and the lock.
    if (state.part->Size() != state.offset) {
      state.startAgain = true;
      return;
    }
    state.part->Continue();
  } else {
    state.part->StartOver();
  }
  state.progress->Start(append ? state.offset : 0, state.expected);
}

std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
  auto& state = *static_cast<AttemptState*>(self);
  const std::size_t bytes = size * count;
  try {
    if (!state.began) Begin(state);
  } catch (const FetchError& failure) {
    state.failure = failure.what();
  }
  if (state.startAgain || !state.failure.empty()) return 0;
  if (!state.part->Write(data, bytes)) {
    state.failure = state.part->LastFailure();
    return 0;
  }
  state.received += bytes;
  state.progress->Update(state.received);
  return bytes;
}

}  // namespace

std::uint64_t MediaDownload::Run(const std::string& url,
                                 std::optional<std::uint64_t> announcedLength) {
  std::uint64_t offset = folder_.FileSize(PartFile::NameFor(name_)).value_or(0);
  // A ".part" larger than the whole file cannot be continued.
  if (announcedLength && offset > *announcedLength) offset = 0;
  if (Attempt(url, offset) == Outcome::StartAgain && Attempt(url, 0) == Outcome::StartAgain) {
    throw FetchError("The server keeps changing the file: " + url);
  }
  const auto size = folder_.FileSize(PartFile::NameFor(name_)).value_or(0);
  folder_.Rename(PartFile::NameFor(name_), name_);
  return size;
}

MediaDownload::Outcome MediaDownload::Attempt(const std::string& url, std::uint64_t offset) {
  HttpTransfer transfer;
  AttemptState state;
  state.transfer = &transfer;
  state.folder = &folder_;
  state.name = &name_;
  state.progress = &progress_;
  state.offset = offset;

  CURL* curl = transfer.Handle();
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kBufferBytes);
  const std::string range = std::to_string(offset) + "-";
  if (offset > 0) curl_easy_setopt(curl, CURLOPT_RANGE, range.c_str());

  const CURLcode code = transfer.Perform(url);
  if (code == CURLE_OK && !state.began) Begin(state);  // an answer without a body
  if (state.startAgain) return Outcome::StartAgain;
  if (!state.failure.empty()) throw FetchError(state.failure);
  if (code != CURLE_OK) throw FetchError(transfer.Describe(code, url));

  const std::uint64_t size = state.part->Size();
  if (state.expected && size != *state.expected) {
    throw FetchError("The download stopped early (" + std::to_string(size) + " bytes instead of " +
                     std::to_string(*state.expected) + "): " + url);
  }
  state.part->Close();
  return Outcome::Complete;
}

}  // namespace tarnfetch
