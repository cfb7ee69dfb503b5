#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "page/PageEncoding.h"

namespace tarnfetch {

// One start tag: lower-case name, attributes with lower-case names and
// entity-decoded UTF-8 values. Only the first kMaxAttributes attributes are
// kept, names are cut to kMaxNameBytes, values longer than kMaxValueBytes
// are dropped and so are those beyond kMaxTagBytes in all: a hostile page
// must not multiply its size in copies.
struct HtmlTag {
  static constexpr std::size_t kMaxAttributes = 64;
  static constexpr std::size_t kMaxNameBytes = 64;
  static constexpr std::size_t kMaxValueBytes = 64 * 1024;
  static constexpr std::size_t kMaxTagBytes = 1024 * 1024;

  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;

  // The value of the named attribute, if present.
  std::optional<std::string> Attribute(std::string_view attributeName) const;
};

// Walks the start tags of an HTML document in order. Comments, end tags and
// declarations are passed over; the text of <script>, <style> and <title>
// is skipped as a whole and can be read through RawText().
class HtmlTagReader {
 public:
  explicit HtmlTagReader(std::string_view html, PageEncoding encoding = PageEncoding::Utf8)
      : html_(html), encoding_(encoding) {}

  // The next start tag, or nothing at the end of the document.
  std::optional<HtmlTag> Next();

  // For <script>, <style>, <title> and <textarea>: the text up to the
  // matching end tag of the tag Next() just returned; empty otherwise.
  std::string_view RawText() const { return rawText_; }

 private:
  std::string_view html_;
  PageEncoding encoding_;
  std::size_t pos_ = 0;
  std::string_view rawText_;
};

}  // namespace tarnfetch
