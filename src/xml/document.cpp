// Document::Parse, which picks one of the two parses, and the Node operations
// over the arena.
#include "xml/document.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "support/text.h"
#include "xml/parse.h"

namespace tavjit::xml {

namespace {

// libxml2 counts lines by LF alone, so a document whose lines end in a lone
// CR would be all on line 1. Such CRs become LFs, which is how XML reads them
// anyway, where the byte 0x0D is a CR whatever the declared encoding: in
// documents that start in ASCII (not UTF-16, UTF-32 or EBCDIC).
std::optional<std::string> WithLoneCrsAsLfs(std::string_view bytes) {
  const char* cr = static_cast<const char*>(std::memchr(bytes.data(), '\r', bytes.size()));
  const char* const end = bytes.data() + bytes.size();
  while (cr && cr + 1 < end && cr[1] == '\n')
    cr = static_cast<const char*>(std::memchr(cr + 2, '\r', static_cast<size_t>(end - cr - 2)));
  if (!cr) return std::nullopt;
  const bool ascii_start =
      bytes.starts_with("\xEF\xBB\xBF") ||
      (bytes.size() >= 4 && std::all_of(bytes.begin(), bytes.begin() + 4, [](char c) {
         return c != 0 && static_cast<unsigned char>(c) < 0x80;
       }));
  if (!ascii_start) return std::nullopt;
  std::string out(bytes);
  for (size_t i = static_cast<size_t>(cr - bytes.data()); i < out.size(); ++i)
    if (out[i] == '\r' && (i + 1 == out.size() || out[i + 1] != '\n')) out[i] = '\n';
  return out;
}

// Why a document was refused when the parser does not say: libxml2 takes a
// NUL byte for the end of its input and stops there without a word.
Problem Unsaid(std::string_view bytes) {
  const size_t nul = bytes.find('\0');
  // In UTF-16 and UTF-32 a NUL byte is part of a character.
  if (nul == std::string_view::npos || nul < 4 || bytes.starts_with("\xFF\xFE") ||
      bytes.starts_with("\xFE\xFF"))
    return {{1, 0}, "the XML parser refused the document without saying where"};
  const std::string_view before = bytes.substr(0, nul);
  const size_t line_start = before.rfind('\n') + 1;  // 0 when there is none
  const auto line = static_cast<uint32_t>(std::count(before.begin(), before.end(), '\n') + 1);
  return {{line, static_cast<uint32_t>(std::min<size_t>(nul - line_start + 1, UINT32_MAX))},
          "a NUL byte (at offset " + std::to_string(nul) +
              "), which XML text cannot hold: the parser stops there"};
}

}  // namespace

std::unique_ptr<Document> Document::Parse(std::string_view bytes, bool* out_of_memory,
                                          std::vector<Problem>* problems) {
  if (out_of_memory) *out_of_memory = false;
  ParseResult result = ParseResult::OutOfMemory;
  std::unique_ptr<Document> doc;
  try {
    if (problems) problems->clear();
    if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) {
      if (problems)
        problems->push_back({{1, bytes.empty() ? 1u : 0u},
                             bytes.empty()
                                 ? "the file is empty"
                                 : "the file is larger than 2 GiB, more than tavjit reads"});
      return nullptr;
    }
    const std::optional<std::string> translated = WithLoneCrsAsLfs(bytes);
    if (translated) bytes = *translated;
    doc.reset(new Document);
    result = ParseStreaming(bytes, &doc->arena_, problems);
    if (result == ParseResult::NeedsTree) {
      doc->arena_ = Arena();
      if (problems) problems->clear();
      result = ParseWithTree(bytes, &doc->arena_, problems);
    }
    if (result == ParseResult::NotWellFormed && problems && problems->empty())
      problems->push_back(Unsaid(bytes));
  } catch (const std::bad_alloc&) {
    result = ParseResult::OutOfMemory;
  }
  if (out_of_memory) *out_of_memory = result == ParseResult::OutOfMemory;
  if (result != ParseResult::Ok || doc->arena_.root == UINT32_MAX) return nullptr;
  return doc;
}

std::string_view Node::Name() const {
  const ArenaNode& n = rec();
  switch (n.type) {
    case NodeType::Element:
    case NodeType::ProcessingInstruction:
      return arena_->Str(n.str_off, n.str_len);
    case NodeType::EntityReference:
      return arena_->Str(n.attr_begin, n.attr_count);
    case NodeType::Text:
      return "#text";
    case NodeType::CData:
      return "#cdata-section";
    case NodeType::Comment:
      return "#comment";
  }
  return {};
}

std::optional<std::string_view> Node::Attribute(std::string_view name) const {
  std::optional<std::string_view> found;
  ForEachAttribute([&](std::string_view n, std::string_view v) {
    if (!found && n == name) found = v;
  });
  return found;
}

std::string Node::Text() const {
  const ArenaNode& n = rec();
  std::string out;
  bool preserve = n.preserve;
  if (n.type == NodeType::Element) {
    for (uint32_t i = index_ + 1; i < n.end; ++i) {
      const ArenaNode& d = arena_->nodes[i];
      if (d.type == NodeType::Text || d.type == NodeType::CData ||
          d.type == NodeType::EntityReference)
        out.append(arena_->Str(d.str_off, d.str_len));
    }
  } else if (n.type == NodeType::Text || n.type == NodeType::CData ||
             n.type == NodeType::EntityReference) {
    out.assign(arena_->Str(n.str_off, n.str_len));
  }
  if (preserve) return out;
  std::string_view trimmed = TrimXmlSpace(out);
  if (trimmed.size() == out.size()) return out;
  return std::string(trimmed);
}

}  // namespace tavjit::xml
