#include "files/NameChoice.h"

#include "core/FetchError.h"
#include "core/Utf8.h"
#include "files/FileName.h"
#include "files/OutputFolder.h"

namespace tarnfetch {
namespace {

constexpr unsigned kMaxNumber = 999;

}  // namespace

std::string NumberedName(const std::string& name, unsigned number, std::size_t maxBytes) {
  const std::string suffix = " (" + std::to_string(number) + ")";
  const auto dot = name.rfind('.');
  const std::size_t stemEnd = dot == std::string::npos || dot == 0 ? name.size() : dot;
  const std::string extension = name.substr(stemEnd);
  std::string stem = name.substr(0, stemEnd);
  const std::size_t fixed = suffix.size() + extension.size();
  if (stem.size() + fixed > maxBytes) {
    stem = CutUtf8(stem, maxBytes > fixed ? maxBytes - fixed : 0);
  }
  return stem + suffix + extension;
}

ChosenName ChooseName(const OutputFolder& folder, const OutputTarget& target,
                      std::optional<std::uint64_t> length) {
  const std::string& name = target.name;
  const std::string folderPath = target.path.substr(0, target.path.size() - name.size());
  for (unsigned number = 1; number <= kMaxNumber; ++number) {
    const std::string candidate =
        number == 1 ? name : NumberedName(name, number, target.maxNameBytes);
    const auto entry = folder.Look(candidate);
    if (!entry) return {candidate, folderPath + candidate, false};
    if (entry->regular && length && *length > 0 && entry->size == *length) {
      return {candidate, folderPath + candidate, true};
    }
  }
  throw FetchError("Every name from " + name + " to " +
                   NumberedName(name, kMaxNumber, target.maxNameBytes) + " is taken in " +
                   folder.Path() + ".");
}

}  // namespace tarnfetch
