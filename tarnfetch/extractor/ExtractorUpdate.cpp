#include "extractor/ExtractorUpdate.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <sstream>

#include "core/ChildProgram.h"
#include "core/FetchError.h"
#include "core/Sha256.h"
#include "core/StopFlag.h"
#include "extractor/ExtractorVersion.h"
#include "extractor/ReleaseKey.h"
#include "http/TransferEngine.h"
#include "shared/AtomicFile.h"
#include "shared/RegularFile.h"

namespace tarnfetch {
namespace {

constexpr std::size_t kMaxSumsBytes = 1u << 20;
constexpr std::size_t kMaxSignatureBytes = 64u << 10;
constexpr std::size_t kMaxExtractorBytes = 64u << 20;

struct Failed {
  std::string why;
};

constexpr std::chrono::seconds kChildLimit{30};

// The time an update has left; fetches end when it is up.
class Budget {
 public:
  explicit Budget(std::chrono::seconds limit)
      : limit_(limit), end_(StopFlag::Clock::now() + limit) {
    stop_.RaiseAt(end_);
  }
  const StopFlag* Stop() const { return &stop_; }
  // What a helper program may take: its own limit, at most the time left.
  std::chrono::milliseconds ForChild() const {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(end_ - StopFlag::Clock::now());
    if (left <= std::chrono::milliseconds::zero()) throw Over();
    return std::min<std::chrono::milliseconds>(kChildLimit, left);
  }
  void Check() const {
    if (stop_.Raised()) throw Over();
  }
  Failed Over() const {
    return Failed{"it did not end within " + std::to_string(limit_.count()) +
                  " seconds and was given up"};
  }

 private:
  std::chrono::seconds limit_;
  StopFlag::Clock::time_point end_;
  StopFlag stop_;
};

constexpr std::size_t kMaxKeyBytes = 64u << 10;

// The folder's files are tarnfetch's own: never read through a link, never
// a FIFO or device, never more than such a file holds. Empty when not so.
std::string ReadOwn(const std::string& path, std::size_t maxBytes) {
  return quillmarsh::ReadRegularFile(path, maxBytes, quillmarsh::Links::Refuse).value_or("");
}

void WriteAtomically(const std::string& path, std::string_view data) {
  if (!quillmarsh::WriteFileAtomically(path, data, quillmarsh::Links::Refuse)) {
    throw Failed{"it could not be written to " + path + " (" + std::strerror(errno) + ")"};
  }
}

std::string Fetch(const ExtractorHome& home, const std::string& name, std::size_t maxBytes,
                  const FetchOptions& options, const Budget& budget) {
  try {
    return FetchSmall(home.releaseBase + name, maxBytes, options, {}, nullptr, budget.Stop());
  } catch (const FetchError& failure) {
    budget.Check();
    throw Failed{"the release could not be fetched: " + std::string(failure.what())};
  }
}

// The checksum the signed list gives the extractor ("<hex>  yt-dlp").
std::string SumOf(const std::string& sums, const std::string& name) {
  std::istringstream lines(sums);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t space = line.find(' ');
    if (space != 64 || line.size() < space + 2) continue;
    std::string file = line.substr(line.find_first_not_of(' ', space));
    if (!file.empty() && file[0] == '*') file.erase(0, 1);
    if (file == name) return line.substr(0, 64);
  }
  throw Failed{"the release's signed checksums do not name " + name};
}

void CheckSignature(const ExtractorHome& home, const std::string& sums,
                    const std::string& signature, const Budget& budget) {
  const std::string gpgv = FindHelperProgram("gpgv");
  if (gpgv.empty()) throw Failed{"gpgv is not installed, so the release cannot be checked"};
  // The key beside the program may be a link an installer made.
  const std::string key = DearmorKey(
      quillmarsh::ReadRegularFile(home.releaseKey, kMaxKeyBytes, quillmarsh::Links::Follow)
          .value_or(""));
  if (key.empty()) throw Failed{"the release key could not be read from " + home.releaseKey};
  WriteAtomically(home.folder + "release-key.gpg", key);
  WriteAtomically(home.folder + "SHA2-256SUMS", sums);
  WriteAtomically(home.folder + "SHA2-256SUMS.sig", signature);
  ChildRun run;
  run.args = {gpgv,
              "--homedir",
              home.folder,
              "--keyring",
              home.folder + "release-key.gpg",
              home.folder + "SHA2-256SUMS.sig",
              home.folder + "SHA2-256SUMS"};
  run.timeLimit = budget.ForChild();
  run.role = "the signature check";
  ChildResult result;
  try {
    result = RunChild(run);
  } catch (const FetchError& failure) {
    budget.Check();
    throw Failed{failure.what()};
  }
  budget.Check();
  if (!result.Succeeded()) {
    throw Failed{
        "the signature of the release's checksums does not verify against the release key"};
  }
}

// Holds the folder's lock while it lives; false when another run has it.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(quillmarsh::OpenOwnFile(folder + "lock", 0644)),
        held_(fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0) {}
  ~FolderLock() {
    if (fd_ >= 0) ::close(fd_);
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;
  bool Held() const { return held_; }

 private:
  int fd_;
  bool held_;
};

// The version of the private copy in place; empty when there is none.
std::string VersionInPlace(const ExtractorHome& home, const std::string& python,
                           const Budget& budget) {
  std::string version = home.InstalledVersion();
  if (version.empty() && home.HasPrivateCopy()) {
    version = AskExtractorVersion({python, home.PrivateCopy()}, budget.ForChild());
  }
  return version;
}

UpdateOutcome Update(const ExtractorHome& home, const FetchOptions& options, const Budget& budget) {
  const std::string python = FindHelperProgram("python3");
  if (python.empty()) throw Failed{"python3, which runs the extractor, is not installed"};
  const std::string sums = Fetch(home, "SHA2-256SUMS", kMaxSumsBytes, options, budget);
  const std::string signature =
      Fetch(home, "SHA2-256SUMS.sig", kMaxSignatureBytes, options, budget);
  CheckSignature(home, sums, signature, budget);
  const std::string expected = SumOf(sums, "yt-dlp");
  UpdateOutcome outcome;
  if (Sha256Hex(ReadOwn(home.PrivateCopy(), kMaxExtractorBytes)) == expected) {
    outcome.result = UpdateOutcome::Result::Current;
    outcome.version = home.InstalledVersion();
    return outcome;
  }
  const std::string program = Fetch(home, "yt-dlp", kMaxExtractorBytes, options, budget);
  if (Sha256Hex(program) != expected) {
    throw Failed{"the extractor fetched does not match its signed checksum"};
  }
  const std::string fresh = home.PrivateCopy() + ".new";
  WriteAtomically(fresh, program);
  outcome.version = AskExtractorVersion({python, fresh}, budget.ForChild());
  // A signed release can still be an old one served again: never go back.
  const std::string inPlace =
      outcome.version.empty() ? std::string() : VersionInPlace(home, python, budget);
  if (outcome.version.empty() || VersionIsOlder(outcome.version, inPlace)) {
    ::unlink(fresh.c_str());
    budget.Check();
    if (outcome.version.empty()) {
      throw Failed{"the extractor fetched does not start (it gave no version)"};
    }
    throw Failed{"the release's version (" + outcome.version +
                 ") is older than the one in place (" + inPlace + "), which is kept"};
  }
  if (::rename(fresh.c_str(), home.PrivateCopy().c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    ::unlink(fresh.c_str());
    throw Failed{"it could not be put in place (" + reason + ")"};
  }
  WriteAtomically(home.VersionFile(), outcome.version);
  outcome.result = UpdateOutcome::Result::Installed;
  return outcome;
}

}  // namespace

UpdateOutcome UpdateExtractor(const ExtractorHome& home, const FetchOptions& options,
                              std::chrono::seconds limit) {
  const Budget budget(limit);
  UpdateOutcome outcome;
  const FolderLock lock(home.folder);
  if (!lock.Held()) {
    outcome.result = UpdateOutcome::Result::Busy;
    return outcome;
  }
  try {
    return Update(home, options, budget);
  } catch (const Failed& failed) {
    outcome.failure = failed.why;
  }
  return outcome;
}

std::vector<std::string> DescribeUpdate(const UpdateOutcome& outcome, const std::string& found) {
  std::vector<std::string> lines{"Site extractor found: " + (found.empty() ? "none" : found)};
  switch (outcome.result) {
    case UpdateOutcome::Result::Installed:
      lines.push_back("Site extractor fetched: yt-dlp " + outcome.version);
      break;
    case UpdateOutcome::Result::Current:
      lines.push_back("Site extractor is current: yt-dlp " + outcome.version);
      break;
    case UpdateOutcome::Result::Busy:
      lines.push_back("Site extractor update left to another run that is at it");
      break;
    case UpdateOutcome::Result::Failed:
      lines.push_back("Site extractor update failed: " + outcome.failure);
      break;
  }
  return lines;
}

}  // namespace tarnfetch
