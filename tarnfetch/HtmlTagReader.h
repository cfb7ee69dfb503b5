#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tarnfetch {

// One start tag: lower-case name, attributes with lower-case names and
// entity-decoded values.
struct HtmlTag {
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
  explicit HtmlTagReader(std::string_view html) : html_(html) {}

  // The next start tag, or nothing at the end of the document.
  std::optional<HtmlTag> Next();

  // For <script>, <style>, <title> and <textarea>: the text up to the
  // matching end tag of the tag Next() just returned; empty otherwise.
  std::string_view RawText() const { return rawText_; }

 private:
  std::string_view html_;
  std::size_t pos_ = 0;
  std::string_view rawText_;
};

}  // namespace tarnfetch
