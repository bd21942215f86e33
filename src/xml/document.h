// Read-only access to a parsed XML document: the few DOM operations the
// compiler needs. Parsing (libxml2 underneath) never loads anything external
// and never writes to stderr.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "xml/arena.h"

namespace tavjit::xml {

class Document;

// A handle to a node of a Document; a default-constructed Node is "no node".
// Valid as long as its Document lives.
class Node {
 public:
  Node() = default;

  explicit operator bool() const { return arena_ != nullptr; }
  // True for an element node (nodeType 1); every other kind is skipped by
  // callers. An entity reference is a child node that is not an element,
  // has no children, and whose expansion is part of Text().
  bool IsElement() const { return rec().type == NodeType::Element; }
  // nodeName: an element's name exactly as written, prefix included; a
  // processing instruction's target; an entity reference's entity name;
  // "#text", "#cdata-section" or "#comment" for the others.
  std::string_view Name() const;
  // Source line of the element's start tag (1-based; 0 when unknown).
  uint32_t Line() const { return rec().line; }
  // Line and column of the start tag's '<' (support/place.h).
  Place Where() const { return {rec().line, rec().column}; }

  // childNodes, in document order. Whitespace-only text nodes are not
  // children unless xml:space="preserve" is in scope.
  Node FirstChild() const {
    return rec().end > index_ + 1 ? Node(arena_, index_ + 1) : Node();
  }
  Node NextSibling() const { return rec().next ? Node(arena_, rec().next) : Node(); }
  bool HasChildNodes() const { return rec().end > index_ + 1; }

  // getNamedItem(name).nodeValue: the value with references resolved, or
  // nullopt when the element has no such attribute.
  std::optional<std::string_view> Attribute(std::string_view name) const;

  // The attributes in document order, namespace declarations among them
  // (as "xmlns" / "xmlns:p"), each with its resolved value.
  template <class F>
  void ForEachAttribute(F&& f) const {
    const ArenaNode& n = rec();
    for (uint32_t i = 0; i < n.attr_count; ++i) {
      const ArenaAttr& a = arena_->attrs[n.attr_begin + i];
      f(arena_->Str(a.name_off, a.name_len), arena_->Str(a.value_off, a.value_len));
    }
  }

  // text: the text of the node and all its descendants, joined; leading and
  // trailing XML whitespace removed unless xml:space="preserve" is in scope.
  std::string Text() const;

 private:
  friend class Document;
  Node(const Arena* arena, uint32_t index) : arena_(arena), index_(index) {}
  const ArenaNode& rec() const { return arena_->nodes[index_]; }
  const Arena* arena_ = nullptr;
  uint32_t index_ = 0;
};

// Why a document was refused: one finding of the parser, in plain words.
struct Problem {
  Place place;  // line 0 when the document has no place for it
  std::string reason;
};

class Document {
 public:
  // Parses a whole document from its bytes (encoding found from a BOM, then
  // the XML declaration, else UTF-8). Returns nullptr when the bytes are not
  // well-formed XML, use an external or undefined entity, nest deeper than
  // 257 elements, or would expand past the entity budget; *out_of_memory
  // then says whether memory ran out first, and *problems (when given) why
  // the document was refused, in document order, at most kMaxProblems.
  static std::unique_ptr<Document> Parse(std::string_view bytes, bool* out_of_memory = nullptr,
                                         std::vector<Problem>* problems = nullptr);
  static constexpr size_t kMaxProblems = 10;

  // documentElement.
  Node Root() const { return Node(&arena_, arena_.root); }

 private:
  Document() = default;
  Arena arena_;
};

}  // namespace tavjit::xml
