// The base protocol's framing: "Content-Length: N" headers, a blank line,
// then N bytes of JSON. The reader takes bytes as they come and hands out
// whole bodies, or what is wrong with the stream; after a broken header it
// finds its way to the next one.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tavjit::lsp {

class FrameReader {
 public:
  explicit FrameReader(size_t max_body) : max_body_(max_body) {}

  void Feed(std::string_view bytes) { buf_.append(bytes); }

  struct Item {
    bool ok;           // true: text is a body; false: text says what was wrong
    std::string text;
  };
  // The next body or framing error, or nothing until more bytes come.
  std::optional<Item> Next();

  // Bytes held that make no whole message yet (a truncated frame at the end).
  size_t Pending() const { return buf_.size() - pos_; }

 private:
  void Resync(size_t from);
  void Compact();

  size_t max_body_;
  std::string buf_;
  size_t pos_ = 0;
  size_t skip_ = 0;  // bytes of a refused body still to drop as they come
};

std::string Frame(std::string_view body);

}  // namespace tavjit::lsp
