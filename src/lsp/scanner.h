// A tolerant reading of a TAV document's text: its tags with the exact places
// of names and values, the elements they make, and the variable references
// in values and text. It reads half-typed and not-well-formed text too (an
// editor's buffer mostly is), records the first place where the text stops
// being well-formed XML, and never fails.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "lsp/document.h"

namespace tavjit::lsp {

struct ScannedAttribute {
  Span name;
  Span value;              // inside the quotes; empty at the name's end when there is none
  bool has_value = false;  // an '=' and a value were written
};

struct Tag {
  enum class Kind { Start, End };
  Kind kind = Kind::Start;
  Span whole;  // from '<' to past '>', or to where the tag stops when unclosed
  Span name;   // empty right after '<' or '</'
  std::vector<ScannedAttribute> attributes;
  bool closed = false;        // ends in '>'
  bool self_closing = false;  // ends in "/>"
};

struct ScannedElement {
  size_t tag = 0;                 // its start tag
  std::optional<size_t> end_tag;  // none: empty-element tag, or never closed
  int parent = -1;
  std::vector<int> children;
  size_t content_end = 0;  // where its content ends: its end tag's '<', or the text's end
  size_t end = 0;          // past its end tag (or its start tag when empty)
};

// "%name%" or "%name.property%" in a text or an attribute value.
struct Reference {
  Span whole, name, property;  // property is empty when there is none
};

struct Scan {
  std::string_view text;
  std::vector<Tag> tags;  // in text order
  std::vector<ScannedElement> elements;  // in document order (pre-order)
  std::vector<Reference> references;     // in text order
  std::vector<Span> comments;
  std::vector<int> element_of_tag;  // per tag: the element its start tag opened, or -1
  int root = -1, head = -1, body = -1;  // elements; -1 when absent

  // The first place where the text is not well-formed XML, and what is wrong.
  struct Problem {
    Span span;
    std::string explanation;
  };
  std::optional<Problem> problem;

  std::string_view Str(Span s) const { return text.substr(s.begin, s.end - s.begin); }
  std::string_view NameOf(int element) const { return Str(tags[elements[element].tag].name); }
  const Tag& StartTag(int element) const { return tags[elements[element].tag]; }
  // The tag whose text holds offset (its '>' counts), if any.
  const Tag* TagAt(size_t offset) const;
  // The innermost element whose content holds offset, or -1.
  int ElementAt(size_t offset) const;
  // The element a start tag opened, or -1 (a start tag that is never
  // finished opens none).
  int ElementOfTag(size_t tag_index) const;
  // The attribute of a tag by name, ignoring case as the catalogue does.
  const ScannedAttribute* FindAttribute(const Tag& tag, std::string_view name) const;
  // True when the element is inside the body (at any depth).
  bool InBody(int element) const;
};

Scan ScanText(std::string_view text);

bool IsNameStart(unsigned char c);
bool IsNameChar(unsigned char c);
// A variable name as attribute checking accepts it (the empty name aside).
bool IsVariableName(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);

}  // namespace tavjit::lsp
