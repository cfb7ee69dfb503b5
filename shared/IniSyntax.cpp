#include "shared/IniSyntax.h"

#include "shared/Text.h"

namespace quillmarsh {

namespace IniSyntax {

bool ParseSectionLine(std::string_view line, std::string_view& name) {
  const std::string_view t = TrimView(line);
  if (t.empty() || t.front() != '[') return false;
  const auto close = t.rfind(']');
  if (close == std::string_view::npos || close == 0) return false;
  name = TrimView(t.substr(1, close - 1));
  return true;
}

bool ParseKeyLine(std::string_view line, KeyLine& key) {
  if (TrimView(line).empty()) return false;
  const auto eq = line.find('=');
  key.hasEquals = eq != std::string_view::npos;
  key.name = TrimView(line.substr(0, key.hasEquals ? eq : line.size()));
  key.valueStart = key.hasEquals ? eq + 1 : line.size();
  return true;
}

std::string ReadValue(std::string_view raw) {
  std::string_view v = TrimView(raw);
  if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
    v = v.substr(1, v.size() - 2);
  return std::string(v.substr(0, kMaxValueLength));
}

std::string OneLine(std::string_view text) {
  std::string out(text);
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

}  // namespace IniSyntax

}  // namespace quillmarsh
