#include "page/HtmlTagReader.h"

#include <algorithm>

#include "page/HtmlEntities.h"
#include "shared/Text.h"

namespace tarnfetch {
namespace {

using quillmarsh::LowerAscii;

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == ':' || c == '_';
}

std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from) {
  const auto it = std::search(
      text.begin() + static_cast<std::ptrdiff_t>(std::min(from, text.size())), text.end(),
      needle.begin(), needle.end(), [](char a, char b) { return LowerAscii(a) == LowerAscii(b); });
  return it == text.end() ? std::string_view::npos : static_cast<std::size_t>(it - text.begin());
}

bool HasRawText(std::string_view name) {
  return name == "script" || name == "style" || name == "title" || name == "textarea";
}

}  // namespace

std::optional<std::string> HtmlTag::Attribute(std::string_view attributeName) const {
  for (const auto& [key, value] : attributes) {
    if (key == attributeName) return value;
  }
  return std::nullopt;
}

std::optional<HtmlTag> HtmlTagReader::Next() {
  rawText_ = {};
  const std::string_view html = html_;
  while (true) {
    const std::size_t open = html.find('<', pos_);
    if (open == std::string_view::npos || open + 1 >= html.size()) {
      pos_ = html.size();
      return std::nullopt;
    }
    if (html.substr(open, 4) == "<!--") {
      const std::size_t end = html.find("-->", open + 4);
      pos_ = end == std::string_view::npos ? html.size() : end + 3;
      continue;
    }
    const char first = html[open + 1];
    if (first == '/' || first == '!' || first == '?') {
      const std::size_t end = html.find('>', open);
      pos_ = end == std::string_view::npos ? html.size() : end + 1;
      continue;
    }
    if (!IsNameChar(first)) {  // a lone "<" in text
      pos_ = open + 1;
      continue;
    }

    HtmlTag tag;
    std::size_t storedBytes = 0;
    std::size_t pos = open + 1;
    for (; pos < html.size() && IsNameChar(html[pos]); ++pos) {
      if (tag.name.size() < HtmlTag::kMaxNameBytes) tag.name += LowerAscii(html[pos]);
    }
    while (pos < html.size() && html[pos] != '>') {
      if (IsBlank(html[pos]) || html[pos] == '/') {
        ++pos;
        continue;
      }
      std::string key;
      for (; pos < html.size() && !IsBlank(html[pos]) && html[pos] != '=' && html[pos] != '>' &&
             html[pos] != '/';
           ++pos) {
        if (key.size() < HtmlTag::kMaxNameBytes) key += LowerAscii(html[pos]);
      }
      if (key.empty()) {  // stray "=" or quote; skip it
        ++pos;
        continue;
      }
      while (pos < html.size() && IsBlank(html[pos])) ++pos;
      std::string_view value;
      if (pos < html.size() && html[pos] == '=') {
        ++pos;
        while (pos < html.size() && IsBlank(html[pos])) ++pos;
        if (pos < html.size() && (html[pos] == '"' || html[pos] == '\'')) {
          const std::size_t close = html.find(html[pos], pos + 1);
          const std::size_t end = close == std::string_view::npos ? html.size() : close;
          value = html.substr(pos + 1, end - pos - 1);
          pos = std::min(end + 1, html.size());
        } else {
          const std::size_t start = pos;
          while (pos < html.size() && !IsBlank(html[pos]) && html[pos] != '>') ++pos;
          value = html.substr(start, pos - start);
        }
      }
      // No real tag has this many attributes and no real address or title
      // is this long; a hostile page must not multiply its size in copies.
      if (tag.attributes.size() == HtmlTag::kMaxAttributes) continue;
      if (value.size() > HtmlTag::kMaxValueBytes) value = {};
      std::string decoded = encoding_ == PageEncoding::Utf8
                                ? DecodeHtmlEntities(value)
                                : DecodeHtmlEntities(ToUtf8(value, encoding_));
      if (storedBytes + decoded.size() > HtmlTag::kMaxTagBytes) decoded.clear();
      storedBytes += decoded.size();
      tag.attributes.emplace_back(std::move(key), std::move(decoded));
    }
    pos_ = std::min(pos + 1, html.size());

    if (HasRawText(tag.name)) {
      const std::string endTag = "</" + tag.name;
      const std::size_t end = FindNoCase(html, endTag, pos_);
      const std::size_t stop = end == std::string_view::npos ? html.size() : end;
      rawText_ = html.substr(pos_, stop - pos_);
      pos_ = stop;
    }
    return tag;
  }
}

}  // namespace tarnfetch
