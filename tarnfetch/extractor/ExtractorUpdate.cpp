#include "extractor/ExtractorUpdate.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

#include "core/ChildProgram.h"
#include "core/FetchError.h"
#include "extractor/ExtractorVersion.h"
#include "extractor/ReleaseKey.h"
#include "http/TransferEngine.h"
#include "shared/AtomicFile.h"

namespace tarnfetch {
namespace {

constexpr std::size_t kMaxSumsBytes = 1u << 20;
constexpr std::size_t kMaxSignatureBytes = 64u << 10;
constexpr std::size_t kMaxExtractorBytes = 64u << 20;

struct Failed {
  std::string why;
};

std::string Sha256(std::string_view data) {
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  EVP_Digest(data.data(), data.size(), digest, &size, EVP_sha256(), nullptr);
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < size; ++i) {
    hex += kHex[digest[i] >> 4];
    hex += kHex[digest[i] & 15];
  }
  return hex;
}

std::string ReadWhole(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteAtomically(const std::string& path, std::string_view data) {
  if (!quillmarsh::WriteFileAtomically(path, data)) {
    throw Failed{"it could not be written to " + path + " (" + std::strerror(errno) + ")"};
  }
}

std::string Fetch(const ExtractorHome& home, const std::string& name, std::size_t maxBytes,
                  const FetchOptions& options) {
  try {
    return FetchSmall(home.releaseBase + name, maxBytes, options);
  } catch (const FetchError& failure) {
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
                    const std::string& signature) {
  const std::string gpgv = FindHelperProgram("gpgv");
  if (gpgv.empty()) throw Failed{"gpgv is not installed, so the release cannot be checked"};
  const std::string key = DearmorKey(ReadWhole(home.releaseKey));
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
  run.timeLimit = std::chrono::seconds(30);
  run.role = "the signature check";
  ChildResult result;
  try {
    result = RunChild(run);
  } catch (const FetchError& failure) {
    throw Failed{failure.what()};
  }
  if (!result.Succeeded()) {
    throw Failed{
        "the signature of the release's checksums does not verify against the release key"};
  }
}

// Holds the folder's lock while it lives; false when another run has it.
class FolderLock {
 public:
  explicit FolderLock(const std::string& folder)
      : fd_(::open((folder + "lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)),
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

UpdateOutcome Update(const ExtractorHome& home, const FetchOptions& options) {
  const std::string python = FindHelperProgram("python3");
  if (python.empty()) throw Failed{"python3, which runs the extractor, is not installed"};
  const std::string sums = Fetch(home, "SHA2-256SUMS", kMaxSumsBytes, options);
  const std::string signature = Fetch(home, "SHA2-256SUMS.sig", kMaxSignatureBytes, options);
  CheckSignature(home, sums, signature);
  const std::string expected = SumOf(sums, "yt-dlp");
  UpdateOutcome outcome;
  if (Sha256(ReadWhole(home.PrivateCopy())) == expected) {
    outcome.result = UpdateOutcome::Result::Current;
    outcome.version = ReadWhole(home.VersionFile());
    return outcome;
  }
  const std::string program = Fetch(home, "yt-dlp", kMaxExtractorBytes, options);
  if (Sha256(program) != expected) {
    throw Failed{"the extractor fetched does not match its signed checksum"};
  }
  const std::string fresh = home.PrivateCopy() + ".new";
  WriteAtomically(fresh, program);
  outcome.version = AskExtractorVersion({python, fresh});
  if (outcome.version.empty()) {
    ::unlink(fresh.c_str());
    throw Failed{"the extractor fetched does not start (it gave no version)"};
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

UpdateOutcome UpdateExtractor(const ExtractorHome& home, const FetchOptions& options) {
  UpdateOutcome outcome;
  const FolderLock lock(home.folder);
  if (!lock.Held()) {
    outcome.result = UpdateOutcome::Result::Busy;
    return outcome;
  }
  try {
    return Update(home, options);
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
