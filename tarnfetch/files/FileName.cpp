#include "files/FileName.h"

#include <unistd.h>

#include <algorithm>
#include <climits>

#include "core/FetchError.h"
#include "core/TitleText.h"
#include "core/Utf8.h"

namespace tarnfetch {
namespace {

constexpr std::string_view kTitleField = "%(title)s";
constexpr std::string_view kExtField = "%(ext)s";
constexpr std::string_view kDefaultName = "%(title)s.%(ext)s";

std::string ReplaceAll(std::string text, std::string_view field, std::string_view value) {
  for (std::size_t at = text.find(field); at != std::string::npos;
       at = text.find(field, at + value.size())) {
    text.replace(at, field.size(), value);
  }
  return text;
}

std::size_t Count(std::string_view text, std::string_view field) {
  std::size_t count = 0;
  for (std::size_t at = text.find(field); at != std::string_view::npos;
       at = text.find(field, at + field.size())) {
    ++count;
  }
  return count;
}

std::string CurrentFolder() {
  char buffer[PATH_MAX];
  return getcwd(buffer, sizeof buffer) != nullptr ? std::string(buffer) : std::string(".");
}

}  // namespace

std::string SanitizeTitle(std::string_view title, std::size_t maxBytes) {
  const std::string text = CleanTitle(title);
  std::string safe;
  safe.reserve(text.size());
  for (const char c : text) {
    if (safe.empty() && (c == '.' || c == '-' || c == ' ')) continue;
    safe += (c == '/' || c == '<') ? '_' : c;
  }
  safe = CutUtf8(safe, maxBytes);
  while (!safe.empty() && safe.back() == ' ') safe.pop_back();
  return safe.empty() ? "video" : safe;
}

OutputTarget ExpandTemplate(std::string_view pathTemplate, std::string_view title,
                            std::string_view extension, std::size_t reservedBytes) {
  OutputTarget target;
  target.maxNameBytes = kMaxNameBytes - std::min(reservedBytes, kMaxNameBytes);
  const std::size_t maxName = target.maxNameBytes;
  const std::size_t slash = pathTemplate.rfind('/');
  std::string_view last = pathTemplate;
  if (slash == std::string_view::npos) {
    target.folder = ".";
  } else {
    target.folder = std::string(slash == 0 ? "/" : pathTemplate.substr(0, slash));
    last = pathTemplate.substr(slash + 1);
  }
  if (last.empty()) last = kDefaultName;

  const std::string safeExtension = SanitizeTitle(extension, 16);
  const std::string withExtension = ReplaceAll(std::string(last), kExtField, safeExtension);
  const std::size_t titles = Count(withExtension, kTitleField);
  const std::size_t fixedBytes = withExtension.size() - titles * kTitleField.size();
  if (fixedBytes > maxName) throw FetchError("The output file name is too long.");

  std::size_t titleBytes = kMaxTitleBytes;
  if (titles > 0) titleBytes = std::min(titleBytes, (maxName - fixedBytes) / titles);
  // "video" is the shortest title SanitizeTitle can return.
  if (titles > 0 && titleBytes < 5) throw FetchError("The output file name is too long.");
  target.name = ReplaceAll(withExtension, kTitleField, SanitizeTitle(title, titleBytes));

  if (target.name == "." || target.name == "..") {
    throw FetchError("\"" + target.name + "\" cannot be used as a file name.");
  }
  std::string absoluteFolder = target.folder;
  if (absoluteFolder == ".") {
    absoluteFolder = CurrentFolder();
  } else if (absoluteFolder.front() != '/') {
    absoluteFolder = CurrentFolder() + "/" + absoluteFolder;
  }
  target.path = absoluteFolder + (absoluteFolder.back() == '/' ? "" : "/") + target.name;
  return target;
}

}  // namespace tarnfetch
