#include "cookies/NetscapeCookies.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/FetchError.h"
#include "shared/Numbers.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

constexpr std::string_view kHttpOnly = "#HttpOnly_";
// A cookie file is small; a larger one is not a cookie file.
constexpr std::uintmax_t kMaxFileBytes = 64 << 20;

std::vector<std::string_view> Fields(std::string_view line) {
  std::vector<std::string_view> fields;
  for (std::size_t start = 0;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab - start));
    if (tab == std::string_view::npos) return fields;
    start = tab + 1;
  }
}

bool True(std::string_view field) {
  return quillmarsh::EqualsNoCase(field, "TRUE");
}

}  // namespace

std::vector<Cookie> ParseNetscapeCookies(std::string_view text) {
  std::vector<Cookie> cookies;
  for (const std::string& raw : quillmarsh::SplitLines(text)) {
    std::string_view line = raw;
    Cookie cookie;
    if (line.starts_with(kHttpOnly)) {
      cookie.httpOnly = true;
      line.remove_prefix(kHttpOnly.size());
    } else if (line.starts_with('#')) {
      continue;
    }
    const auto fields = Fields(line);
    if (fields.size() != 7 || fields[0].empty() || fields[5].empty()) continue;
    cookie.domain = quillmarsh::LowerAscii(fields[0]);
    // The subdomain flag and a leading dot say the same; keep one form.
    if (True(fields[1]) && !cookie.IncludesSubdomains()) cookie.domain.insert(0, ".");
    if (!True(fields[1]) && cookie.IncludesSubdomains()) cookie.domain.erase(0, 1);
    cookie.path = fields[2].empty() ? "/" : std::string(fields[2]);
    cookie.secure = True(fields[3]);
    cookie.expires = quillmarsh::ReadWholeNumber<std::int64_t>(fields[4]).value_or(0);
    cookie.name = fields[5];
    cookie.value = fields[6];
    cookies.push_back(std::move(cookie));
  }
  return cookies;
}

std::string NetscapeLine(const Cookie& cookie) {
  const auto flag = [](bool on) { return on ? "TRUE" : "FALSE"; };
  std::string line = cookie.httpOnly ? std::string(kHttpOnly) : std::string();
  line.append(cookie.domain).append("\t").append(flag(cookie.IncludesSubdomains()));
  line.append("\t").append(cookie.path).append("\t").append(flag(cookie.secure));
  line.append("\t").append(std::to_string(cookie.expires)).append("\t").append(cookie.name);
  return line.append("\t").append(cookie.value);
}

std::vector<Cookie> ReadCookieFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::error_code sizeError;
  if (!file || std::filesystem::file_size(path, sizeError) > kMaxFileBytes) {
    throw FetchError("Could not read the cookie file " + path + ".");
  }
  std::ostringstream text;
  text << file.rdbuf();
  std::vector<Cookie> cookies = ParseNetscapeCookies(text.str());
  if (cookies.empty()) {
    throw FetchError("The cookie file " + path +
                     " holds no cookie in the Netscape format (seven fields a line, "
                     "separated by tabs).");
  }
  return cookies;
}

void WriteCookieFile(const std::string& path, const std::vector<Cookie>& cookies) {
  std::string text = "# Netscape HTTP Cookie File\n";
  for (const Cookie& cookie : cookies) text.append(NetscapeLine(cookie)).append("\n");
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
  bool written =
      fd >= 0 && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  const int error = errno;
  if (fd >= 0 && ::close(fd) != 0) written = false;
  if (!written) {
    throw FetchError("Could not write the cookies for the site extractor: " +
                     std::string(std::strerror(error)) + ".");
  }
}

}  // namespace tarnfetch
