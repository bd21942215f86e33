#include "lsp/framing.h"

#include <algorithm>
#include <cctype>

namespace tavjit::lsp {

namespace {

constexpr std::string_view kLengthHeader = "content-length";
constexpr size_t kMaxHeader = 8192;

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(s[i])) != prefix[i]) return false;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// "Name: value", the name a token.
bool IsHeaderLine(std::string_view line) {
  const size_t colon = line.find(':');
  if (colon == 0 || colon == std::string_view::npos) return false;
  return std::all_of(line.begin(), line.begin() + colon, [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-';
  });
}

// The body length a header block gives, or nullopt when it gives none that
// can be read.
std::optional<size_t> ContentLength(std::string_view headers) {
  std::optional<size_t> length;
  while (!headers.empty()) {
    const size_t eol = headers.find("\r\n");
    const std::string_view line = headers.substr(0, eol);
    headers.remove_prefix(eol == std::string_view::npos ? headers.size() : eol + 2);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || colon == 0) return std::nullopt;
    if (!StartsWithNoCase(line, kLengthHeader) || colon != kLengthHeader.size()) continue;
    const std::string_view value = TrimBlanks(line.substr(colon + 1));
    if (value.empty() || value.size() > 15 ||
        !std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; }))
      return std::nullopt;
    length = std::stoull(std::string(value));
  }
  return length;
}

}  // namespace

void FrameReader::Resync(size_t from) {
  // The next place a header could start.
  for (size_t at = from; at < buf_.size(); ++at)
    if (StartsWithNoCase(std::string_view(buf_).substr(at), kLengthHeader)) {
      pos_ = at;
      return;
    }
  pos_ = buf_.size();
}

void FrameReader::Compact() {
  if (pos_ == buf_.size()) {
    buf_.clear();
    pos_ = 0;
  } else if (pos_ > (1u << 20)) {
    buf_.erase(0, pos_);
    pos_ = 0;
  }
}

std::optional<FrameReader::Item> FrameReader::Next() {
  if (skip_ > 0) {
    const size_t n = std::min(skip_, buf_.size() - pos_);
    pos_ += n;
    skip_ -= n;
    Compact();
    if (skip_ > 0) return std::nullopt;
  }
  const std::string_view view(buf_);
  const size_t end = view.find("\r\n\r\n", pos_);
  if (end == std::string_view::npos) {
    if (buf_.size() - pos_ <= kMaxHeader) return std::nullopt;
    Resync(pos_ + 1);
    Compact();
    return Item{false, "a header longer than " + std::to_string(kMaxHeader) + " bytes"};
  }
  // The rest of a body whose length was given wrong runs into the next
  // header; the broken body was reported already.
  const std::string_view block = view.substr(pos_, end - pos_);
  if (!IsHeaderLine(block.substr(0, block.find("\r\n"))))
    for (size_t at = 1; at < block.size(); ++at)
      if (StartsWithNoCase(block.substr(at), kLengthHeader)) {
        pos_ += at;
        return Next();
      }
  const std::optional<size_t> length = ContentLength(block);
  if (!length) {
    Resync(pos_ + 1);
    Compact();
    return Item{false, "a header without a readable Content-Length"};
  }
  const size_t body = end + 4;
  if (*length > max_body_) {
    pos_ = body;
    skip_ = *length;
    Compact();
    return Item{false, "a message of " + std::to_string(*length) + " bytes, over the limit of " +
                           std::to_string(max_body_)};
  }
  if (buf_.size() - body < *length) return std::nullopt;
  Item item{true, buf_.substr(body, *length)};
  pos_ = body + *length;
  Compact();
  return item;
}

std::string Frame(std::string_view body) {
  std::string out = "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  out.append(body);
  return out;
}

}  // namespace tavjit::lsp
