// A document as the editor holds it: its text and where its lines start, with
// the editor's positions (0-based lines, UTF-16 columns) turned into byte
// offsets and back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tavjit::lsp {

struct Position {
  uint32_t line = 0, character = 0;  // character counts UTF-16 code units
  bool operator==(const Position&) const = default;
  auto operator<=>(const Position&) const = default;
};

struct Range {
  Position start, end;
  bool operator==(const Range&) const = default;
};

// Byte offsets into the text, [begin, end).
struct Span {
  size_t begin = 0, end = 0;
  bool Contains(size_t offset) const { return begin <= offset && offset <= end; }
  bool operator==(const Span&) const = default;
};

class Document {
 public:
  explicit Document(std::string text = {}) { SetText(std::move(text)); }

  const std::string& Text() const { return text_; }
  void SetText(std::string text);
  // Replaces the text between two positions (an incremental change).
  void Replace(Range range, std::string_view with);

  // Positions past the end of a line or of the text are taken as that end.
  size_t OffsetAt(Position p) const;
  Position PositionAt(size_t offset) const;
  Range RangeOf(Span s) const { return {PositionAt(s.begin), PositionAt(s.end)}; }
  // 0-based line of an offset; lines end at LF, CR LF or a lone CR, as the
  // compiler counts them.
  uint32_t LineOf(size_t offset) const;
  // The bytes of a 0-based line, without its line break.
  Span LineSpan(uint32_t line) const;
  uint32_t LineCount() const { return static_cast<uint32_t>(line_starts_.size()); }

 private:
  std::string text_;
  std::vector<size_t> line_starts_;
};

}  // namespace tavjit::lsp
