// Trimming, case folding and case-blind search over UTF-8 text.
#include "support/text.h"

#include <unicode/locid.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>
#include <unicode/utf8.h>

#include <algorithm>
#include <cstring>

namespace tavjit {

std::string_view TrimSpaces(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] == ' ') ++b;
  while (e > b && s[e - 1] == ' ') --e;
  return s.substr(b, e - b);
}

static bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view TrimXmlSpace(std::string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && IsXmlSpace(s[b])) ++b;
  while (e > b && IsXmlSpace(s[e - 1])) --e;
  return s.substr(b, e - b);
}

bool IsAscii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

static char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

std::string FoldCase(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
  u.foldCase();
  std::string out;
  u.toUTF8String(out);
  return out;
}

std::string ToLower(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
  u.toLower(icu::Locale::getRoot());
  std::string out;
  u.toUTF8String(out);
  return out;
}

std::string ToUpper(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    return out;
  }
  icu::UnicodeString u = icu::UnicodeString::fromUTF8(
      icu::StringPiece(s.data(), static_cast<int32_t>(s.size())));
  u.toUpper(icu::Locale::getRoot());
  std::string out;
  u.toUTF8String(out);
  return out;
}

std::string KeyFold(std::string_view s) {
  if (IsAscii(s)) return FoldCase(s);
  return FoldCase(ToUpper(s));
}

// Decodes one code point; malformed bytes decode as U+FFFD one byte at a time
// so that scanning always advances.
static UChar32 NextCodePoint(std::string_view s, size_t& i) {
  UChar32 c;
  int32_t idx = static_cast<int32_t>(i);
  U8_NEXT(reinterpret_cast<const uint8_t*>(s.data()), idx,
          static_cast<int32_t>(s.size()), c);
  i = static_cast<size_t>(idx);
  return c < 0 ? 0xFFFD : c;
}

static UChar32 Fold(UChar32 c) {
  if (c < 0x80) return AsciiLower(static_cast<char>(c));
  return u_foldCase(c, U_FOLD_CASE_DEFAULT);
}

// A needle of ASCII text, the usual case, is compared byte by byte while
// the text is ASCII too; a non-ASCII character may still fold to an ASCII
// letter (the Kelvin sign to k), so those are decoded and folded.
static size_t FindAsciiNoCase(std::string_view hay, std::string_view needle, size_t pos,
                              size_t* match_len) {
  const char first = AsciiLower(needle[0]);
  const char first_upper = (first >= 'a' && first <= 'z') ? static_cast<char>(first - 32) : first;
  // Only these two letters are the folding of a non-ASCII character too
  // (the Kelvin sign and the long s); other matches start at one of two bytes.
  const bool by_byte = first == 'k' || first == 's';
  // Next places of the two spellings of the first letter, looked up again
  // only once passed.
  constexpr size_t kNone = std::string_view::npos;
  auto next_of = [&](char c, size_t from) {
    if (from >= hay.size()) return kNone;
    const void* p = std::memchr(hay.data() + from, c, hay.size() - from);
    return p ? static_cast<size_t>(static_cast<const char*>(p) - hay.data()) : kNone;
  };
  size_t next_lo = by_byte ? kNone : next_of(first, pos);
  size_t next_up = by_byte || first_upper == first ? kNone : next_of(first_upper, pos);
  for (size_t start = pos; start < hay.size();) {
    if (!by_byte) {
      if (next_lo != kNone && next_lo < start) next_lo = next_of(first, start);
      if (next_up != kNone && next_up < start) next_up = next_of(first_upper, start);
      start = std::min(next_lo, next_up);
      if (start == kNone) return kNone;
    }
    const unsigned char h = static_cast<unsigned char>(hay[start]);
    if (h < 0x80 && AsciiLower(static_cast<char>(h)) != first) {
      ++start;
      continue;
    }
    size_t i = start, j = 0;
    bool ok = true;
    while (j < needle.size()) {
      if (i >= hay.size()) {
        ok = false;
        break;
      }
      const unsigned char a = static_cast<unsigned char>(hay[i]);
      UChar32 folded;
      if (a < 0x80) {
        folded = AsciiLower(static_cast<char>(a));
        ++i;
      } else {
        folded = Fold(NextCodePoint(hay, i));
      }
      if (folded != AsciiLower(needle[j])) {
        ok = false;
        break;
      }
      ++j;
    }
    if (ok) {
      *match_len = i - start;
      return start;
    }
    if (h < 0x80) {
      ++start;
    } else {
      NextCodePoint(hay, start);
    }
  }
  return std::string_view::npos;
}

size_t FindNoCase(std::string_view hay, std::string_view needle, size_t pos,
                  size_t* match_len) {
  if (needle.empty()) {
    *match_len = 0;
    return pos <= hay.size() ? pos : std::string_view::npos;
  }
  if (IsAscii(needle)) return FindAsciiNoCase(hay, needle, pos, match_len);
  for (size_t start = pos; start < hay.size();) {
    size_t i = start, j = 0;
    bool ok = true;
    while (j < needle.size()) {
      if (i >= hay.size()) {
        ok = false;
        break;
      }
      UChar32 a = NextCodePoint(hay, i);
      UChar32 b = NextCodePoint(needle, j);
      if (Fold(a) != Fold(b)) {
        ok = false;
        break;
      }
    }
    if (ok) {
      *match_len = i - start;
      return start;
    }
    NextCodePoint(hay, start);
  }
  return std::string_view::npos;
}

std::string ReplaceAll(std::string_view s, std::string_view from,
                       std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  out.reserve(s.size());
  size_t pos = 0;
  for (;;) {
    size_t hit = s.find(from, pos);
    if (hit == std::string_view::npos) break;
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + from.size();
  }
  out.append(s.substr(pos));
  return out;
}

std::string ReplaceAllNoCase(std::string_view s, std::string_view from,
                             std::string_view to) {
  if (from.empty()) return std::string(s);
  std::string out;
  size_t pos = 0, len = 0;
  for (;;) {
    size_t hit = FindNoCase(s, from, pos, &len);
    if (hit == std::string_view::npos) break;
    if (out.empty()) out.reserve(s.size() + 16);
    out.append(s.substr(pos, hit - pos));
    out.append(to);
    pos = hit + len;
  }
  if (pos == 0) return std::string(s);
  out.append(s.substr(pos));
  return out;
}

}  // namespace tavjit
