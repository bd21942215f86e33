// Read-only access to a parsed XML document: the few DOM operations the
// compiler needs, over libxml2. Parsing never loads anything external and
// never writes to stderr.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace tavjit::xml {

class Document;

// A handle to a node of a Document; a default-constructed Node is "no node".
// Valid as long as its Document lives.
class Node {
 public:
  Node() = default;

  explicit operator bool() const { return node_ != nullptr; }
  // True for an element node (nodeType 1); every other kind is skipped by
  // callers.
  bool IsElement() const;
  // nodeName: the element's name exactly as written, prefix included.
  std::string Name() const;
  // Source line of the element (1-based; 0 when unknown). Lines past 65,535
  // are kept exactly.
  uint32_t Line() const;

  // childNodes, in document order. Whitespace-only text nodes are not
  // children unless xml:space="preserve" is in scope. A reference to an
  // entity declared in the document is a child that is not an element and
  // has no children here; its replacement text is part of Text().
  Node FirstChild() const;
  Node NextSibling() const;
  bool HasChildNodes() const { return static_cast<bool>(FirstChild()); }

  // getNamedItem(name).nodeValue: the value with references resolved, or
  // nullopt when the element has no such attribute.
  std::optional<std::string> Attribute(std::string_view name) const;

  // The attributes in document order (namespace declarations first, as
  // "xmlns" / "xmlns:p"), each with its resolved value.
  template <class F>
  void ForEachAttribute(F&& f) const {
    for (AttrCursor c = FirstAttribute(); c.valid(); c = NextAttribute(c))
      f(AttributeName(c), AttributeValue(c));
  }

  // text: the text of the node and all its descendants, joined; leading and
  // trailing XML whitespace removed unless xml:space="preserve" is in scope.
  std::string Text() const;

 private:
  friend class Document;
  struct AttrCursor {
    void* ns = nullptr;    // namespace declaration, while those last
    void* attr = nullptr;  // then the ordinary attribute
    bool valid() const { return ns || attr; }
  };
  AttrCursor FirstAttribute() const;
  AttrCursor NextAttribute(AttrCursor c) const;
  std::string AttributeName(AttrCursor c) const;
  std::string AttributeValue(AttrCursor c) const;

  Node(void* node, const Document* doc) : node_(node), doc_(doc) {}
  void* node_ = nullptr;
  const Document* doc_ = nullptr;
};

class Document {
 public:
  ~Document();
  Document(const Document&) = delete;
  Document& operator=(const Document&) = delete;

  // Parses a whole document from its bytes (encoding found from a BOM, then
  // the XML declaration, else UTF-8). Returns nullptr when the bytes are not
  // well-formed XML, use an external or undefined entity, would expand past
  // the entity budget (ten times their size plus 1 MB), or nest elements
  // more than 257 deep.
  static std::unique_ptr<Document> Parse(std::string_view bytes);

  // documentElement.
  Node Root() const;

 private:
  friend class Node;
  Document() = default;
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tavjit::xml
