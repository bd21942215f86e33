// ArenaBuilder: the one way both parses write a document into its arena.
#include "xml/arena.h"

#include "support/text.h"

namespace tavjit::xml {

uint32_t ArenaBuilder::AddNode(NodeType type) {
  const uint32_t index = static_cast<uint32_t>(a_->nodes.size());
  ArenaNode node;
  node.type = type;
  node.end = index + 1;
  node.preserve = Preserve();
  a_->nodes.push_back(node);
  if (!last_.empty()) {
    if (last_.back() != UINT32_MAX) a_->nodes[last_.back()].next = index;
    last_.back() = index;
  }
  return index;
}

// Whitespace-only text between elements is not part of the document's
// content unless xml:space="preserve" says otherwise.
void ArenaBuilder::EndText() {
  blank_.clear();
  if (text_ < 0) return;
  ArenaNode& t = a_->nodes[static_cast<size_t>(text_)];
  const bool blank = TrimXmlSpace(a_->Str(t.str_off, t.str_len)).empty();
  if (blank && !t.preserve) {
    // It is the last node and its characters the last ones: take it back.
    a_->chars.resize(t.str_off);
    a_->nodes.pop_back();
    uint32_t& last = last_.back();
    last = last_prev_;
    if (last != UINT32_MAX) a_->nodes[last].next = 0;
  }
  text_ = -1;
}

bool ArenaBuilder::PutName(std::string_view n1, std::string_view n2, std::string_view n3,
                           uint32_t* off, uint32_t* len) {
  const size_t size = n1.size() + n2.size() + n3.size();
  NameSlot& slot =
      names_[((reinterpret_cast<uintptr_t>(n3.data()) + size) * 0x9E3779B97F4A7C15ull) >> 55];
  std::string& c = a_->chars;
  if (slot.key3 == n3.data() && slot.key1 == n1.data() && slot.len == size) {
    const char* kept = c.data() + slot.off;
    // Views, not memcmp: an empty name may have no data at all.
    if (std::string_view(kept, n1.size()) == n1 &&
        std::string_view(kept + n1.size(), n2.size()) == n2 &&
        std::string_view(kept + n1.size() + n2.size(), n3.size()) == n3) {
      *off = slot.off;
      *len = slot.len;
      return true;
    }
  }
  if (c.size() + size > UINT32_MAX) return false;
  *off = static_cast<uint32_t>(c.size());
  *len = static_cast<uint32_t>(size);
  c.append(n1).append(n2).append(n3);
  slot = {n1.data(), n3.data(), *off, *len};
  return true;
}

bool ArenaBuilder::OpenElement(std::string_view name, Place place) {
  EndText();
  if (open_.empty() && a_->root != UINT32_MAX) return ok_ = false;  // a second root
  const uint32_t index = AddNode(NodeType::Element);
  ArenaNode& n = a_->nodes[index];
  n.line = place.line;
  n.column = place.column;
  if (!PutName({}, {}, name, &n.str_off, &n.str_len)) return ok_ = false;
  n.attr_begin = static_cast<uint32_t>(a_->attrs.size());
  if (open_.empty()) a_->root = index;
  open_.push_back(index);
  last_.push_back(UINT32_MAX);
  return true;
}

bool ArenaBuilder::AddAttribute(std::string_view name1, std::string_view name2,
                                std::string_view name3, std::string_view value, bool amp_escaped) {
  if (open_.empty()) return ok_ = false;
  if (a_->chars.size() + name1.size() + name2.size() + name3.size() + value.size() > UINT32_MAX)
    return ok_ = false;
  ArenaAttr a{};
  if (!PutName(name1, name2, name3, &a.name_off, &a.name_len)) return ok_ = false;
  std::string& c = a_->chars;
  a.value_off = static_cast<uint32_t>(c.size());
  if (amp_escaped && value.find('&') != std::string_view::npos) {
    for (size_t i = 0; i < value.size();) {
      if (value.compare(i, 5, "&#38;") == 0) {
        c.push_back('&');
        i += 5;
      } else {
        c.push_back(value[i++]);
      }
    }
  } else {
    c.append(value);
  }
  a.value_len = static_cast<uint32_t>(c.size() - a.value_off);
  a_->attrs.push_back(a);
  ArenaNode& n = a_->nodes[open_.back()];
  ++n.attr_count;
  if (a_->Str(a.name_off, a.name_len) == "xml:space") {
    std::string_view v = a_->Str(a.value_off, a.value_len);
    if (v == "preserve")
      n.preserve = true;
    else if (v == "default")
      n.preserve = false;
  }
  return true;
}

void ArenaBuilder::CloseElement() {
  EndText();
  if (open_.empty()) return;
  a_->nodes[open_.back()].end = static_cast<uint32_t>(a_->nodes.size());
  open_.pop_back();
  last_.pop_back();
}

bool ArenaBuilder::Text(std::string_view s) {
  if (open_.empty()) return true;  // text outside the root is not content
  if (text_ < 0) {
    // Whitespace between elements usually stays whitespace: hold it back
    // until something shows that the text node is kept.
    if (!Preserve() && TrimXmlSpace(s).empty()) {
      blank_.append(s);
      return true;
    }
    last_prev_ = last_.back();
    text_ = AddNode(NodeType::Text);
    ArenaNode& t = a_->nodes[static_cast<size_t>(text_)];
    t.str_off = static_cast<uint32_t>(a_->chars.size());
    if (!blank_.empty()) {
      if (a_->chars.size() + blank_.size() > UINT32_MAX) return ok_ = false;
      a_->chars.append(blank_);
      t.str_len = static_cast<uint32_t>(blank_.size());
      blank_.clear();
    }
  }
  if (a_->chars.size() + s.size() > UINT32_MAX) return ok_ = false;
  a_->chars.append(s);
  a_->nodes[static_cast<size_t>(text_)].str_len += static_cast<uint32_t>(s.size());
  return true;
}

bool ArenaBuilder::Leaf(NodeType type, std::string_view content, std::string_view name) {
  EndText();
  if (open_.empty()) return true;  // comments and PIs outside the root
  const uint32_t index = AddNode(type);
  ArenaNode& n = a_->nodes[index];
  if (type == NodeType::ProcessingInstruction) content = name;
  if (!a_->Put(content, &n.str_off)) return ok_ = false;
  n.str_len = static_cast<uint32_t>(content.size());
  if (type == NodeType::EntityReference) {
    uint32_t off;
    if (!a_->Put(name, &off)) return ok_ = false;
    a_->nodes[index].attr_begin = off;
    a_->nodes[index].attr_count = static_cast<uint32_t>(name.size());
  }
  return true;
}

}  // namespace tavjit::xml
