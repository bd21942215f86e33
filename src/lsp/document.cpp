#include "lsp/document.h"

#include <algorithm>

namespace tavjit::lsp {

namespace {

// Bytes of the UTF-8 sequence a lead byte starts (1 for a stray byte, so
// that any text can be walked).
size_t SequenceLength(unsigned char lead) {
  if (lead < 0xC0) return 1;
  if (lead < 0xE0) return 2;
  if (lead < 0xF0) return 3;
  return 4;
}

}  // namespace

void Document::SetText(std::string text) {
  text_ = std::move(text);
  line_starts_.assign(1, 0);
  for (size_t i = 0; i < text_.size(); ++i) {
    if (text_[i] == '\r') {
      if (i + 1 < text_.size() && text_[i + 1] == '\n') ++i;
      line_starts_.push_back(i + 1);
    } else if (text_[i] == '\n') {
      line_starts_.push_back(i + 1);
    }
  }
}

void Document::Replace(Range range, std::string_view with) {
  size_t a = OffsetAt(range.start), b = OffsetAt(range.end);
  if (b < a) std::swap(a, b);
  std::string text;
  text.reserve(text_.size() - (b - a) + with.size());
  text.append(text_, 0, a).append(with).append(text_, b);
  SetText(std::move(text));
}

Span Document::LineSpan(uint32_t line) const {
  if (line >= line_starts_.size()) return {text_.size(), text_.size()};
  const size_t begin = line_starts_[line];
  size_t end = line + 1 < line_starts_.size() ? line_starts_[line + 1] : text_.size();
  while (end > begin && (text_[end - 1] == '\n' || text_[end - 1] == '\r')) --end;
  return {begin, end};
}

size_t Document::OffsetAt(Position p) const {
  const Span line = LineSpan(p.line);
  size_t at = line.begin;
  uint32_t units = 0;
  while (at < line.end && units < p.character) {
    const size_t n = SequenceLength(static_cast<unsigned char>(text_[at]));
    units += n == 4 ? 2 : 1;
    at = std::min(at + n, line.end);
  }
  return at;
}

uint32_t Document::LineOf(size_t offset) const {
  const auto it = std::upper_bound(line_starts_.begin(), line_starts_.end(), offset);
  return static_cast<uint32_t>(it - line_starts_.begin() - 1);
}

Position Document::PositionAt(size_t offset) const {
  offset = std::min(offset, text_.size());
  const uint32_t line = LineOf(offset);
  Position p{line, 0};
  for (size_t at = line_starts_[line]; at < offset;) {
    const size_t n = SequenceLength(static_cast<unsigned char>(text_[at]));
    p.character += n == 4 ? 2 : 1;
    at += n;
  }
  return p;
}

}  // namespace tavjit::lsp
