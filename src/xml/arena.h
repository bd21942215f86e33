// The parsed document as the compiler keeps it: nodes in document order
// (pre-order) in one array, strings in one buffer. A node's descendants are
// the nodes that follow it up to its `end`, so the text of an element is one
// scan and no node is allocated on its own.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/place.h"

namespace tavjit::xml {

enum class NodeType : uint8_t {
  Element,
  Text,
  CData,
  Comment,
  ProcessingInstruction,
  EntityReference,  // its text is the entity's expansion
};

struct ArenaNode {
  uint32_t end = 0;       // one past the last descendant
  uint32_t next = 0;      // next sibling; 0 for none (the root is node 0)
  uint32_t line = 0;      // elements: line of the start tag
  uint32_t column = 0;    // elements: column of the start tag's '<'
  uint32_t str_off = 0;   // elements: name; text-like nodes: content
  uint32_t str_len = 0;
  uint32_t attr_begin = 0;  // entity references: offset of the entity's name
  uint32_t attr_count = 0;  // entity references: length of the entity's name
  NodeType type = NodeType::Element;
  bool preserve = false;  // xml:space="preserve" in scope for the content
};

struct ArenaAttr {
  uint32_t name_off, name_len, value_off, value_len;
};

struct Arena {
  std::vector<ArenaNode> nodes;
  std::vector<ArenaAttr> attrs;
  std::string chars;
  uint32_t root = UINT32_MAX;  // index of the document element

  std::string_view Str(uint32_t off, uint32_t len) const {
    return std::string_view(chars).substr(off, len);
  }
  // Appends s to chars; false when the arena would pass 4 GiB.
  bool Put(std::string_view s, uint32_t* off) {
    if (chars.size() + s.size() > UINT32_MAX) return false;
    *off = static_cast<uint32_t>(chars.size());
    chars.append(s);
    return true;
  }
};

// Builds an Arena from events in document order: open/close elements, add
// leaf nodes. Keeps sibling links and drops whitespace-only text that is not
// in the scope of xml:space="preserve".
class ArenaBuilder {
 public:
  explicit ArenaBuilder(Arena* arena) : a_(arena) {}

  // An element's attributes follow its opening, before anything else. The
  // name is given in up to three parts written one after the other (prefix,
  // ":", local name); with amp_escaped, "&#38;" in the value stands for "&".
  // False when the arena is too large.
  bool OpenElement(std::string_view name, Place place);
  bool AddAttribute(std::string_view name1, std::string_view name2, std::string_view name3,
                    std::string_view value, bool amp_escaped = false);
  void CloseElement();
  // Consecutive Text calls extend one text node.
  bool Text(std::string_view s);
  // name: a processing instruction's target or an entity's name.
  bool Leaf(NodeType type, std::string_view content, std::string_view name = {});
  bool ok() const { return ok_; }

 private:
  uint32_t AddNode(NodeType type);
  void EndText();
  bool Preserve() const { return open_.empty() ? false : a_->nodes[open_.back()].preserve; }

  // Names repeat: each is kept in chars once, found again through a small
  // table by where the parser keeps it (its dictionary), and compared.
  bool PutName(std::string_view n1, std::string_view n2, std::string_view n3, uint32_t* off,
               uint32_t* len);
  struct NameSlot {
    const char* key1 = nullptr;
    const char* key3 = nullptr;
    uint32_t off = 0, len = 0;
  };
  std::array<NameSlot, 512> names_{};  // indexed by the top 9 bits of a hash

  Arena* a_;
  std::vector<uint32_t> open_;     // open elements
  std::vector<uint32_t> last_;     // last child of each open element (or root level)
  int64_t text_ = -1;              // the text node being extended
  std::string blank_;              // leading whitespace not yet given a node
  uint32_t last_prev_ = UINT32_MAX;  // last child before that text node
  bool ok_ = true;
};

}  // namespace tavjit::xml
