// Trimming, case folding and case-blind search over UTF-8 text.
#include "support/text.h"

#include <utf8proc.h>

#include <algorithm>
#include <cstring>

namespace tavjit {

const void* LastByte(const void* s, int c, size_t n) {
#ifdef _WIN32
  for (const auto* p = static_cast<const unsigned char*>(s) + n; p != s;)
    if (*--p == static_cast<unsigned char>(c)) return p;
  return nullptr;
#else
  return memrchr(s, c, n);
#endif
}

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

static bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

int32_t NextCodePoint(std::string_view s, size_t& i) {
  const auto* p = reinterpret_cast<const unsigned char*>(s.data());
  const size_t n = s.size();
  const unsigned char b = p[i++];
  if (b < 0x80) return b;
  // Lead byte: how many continuation bytes follow, and the range the first
  // of them must fall in (which rules out overlong forms and surrogates).
  int more;
  unsigned char lo = 0x80, hi = 0xBF;
  int32_t c;
  if (b >= 0xC2 && b <= 0xDF) {
    more = 1, c = b & 0x1F;
  } else if (b >= 0xE0 && b <= 0xEF) {
    more = 2, c = b & 0x0F;
    if (b == 0xE0) lo = 0xA0;
    if (b == 0xED) hi = 0x9F;
  } else if (b >= 0xF0 && b <= 0xF4) {
    more = 3, c = b & 0x07;
    if (b == 0xF0) lo = 0x90;
    if (b == 0xF4) hi = 0x8F;
  } else {
    return -1;
  }
  for (int k = 0; k < more; ++k, lo = 0x80, hi = 0xBF) {
    if (i >= n || p[i] < lo || p[i] > hi) return -1;
    c = (c << 6) | (p[i++] & 0x3F);
  }
  return c;
}

int32_t SimpleFold(int32_t c) {
  if (c < 0x80) return AsciiLower(static_cast<char>(c));
  // The simple folding is the full one where that is a single code point;
  // elsewhere the lower case, except for the dotted capital I, which has no
  // simple folding.
  utf8proc_int32_t full[4];
  int last = 0;
  if (utf8proc_decompose_char(c, full, 4, UTF8PROC_CASEFOLD, &last) == 1) return full[0];
  return c == 0x130 ? c : utf8proc_tolower(c);
}

namespace {

void AppendUtf8(std::string& out, int32_t c) {
  utf8proc_uint8_t buf[4];
  out.append(reinterpret_cast<const char*>(buf),
             static_cast<size_t>(utf8proc_encode_char(c, buf)));
}

// Maps each code point of s (malformed bytes as U+FFFD), ASCII unchanged
// being the caller's fast path.
template <class Map>
std::string MapCodePoints(std::string_view s, Map map) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    const int32_t c = NextCodePoint(s, i);
    map(out, c < 0 ? 0xFFFD : c);
  }
  return out;
}

}  // namespace

std::string FoldCase(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
  }
  return MapCodePoints(s, [](std::string& out, int32_t c) {
    utf8proc_int32_t full[4];
    int last = 0;
    const auto n = utf8proc_decompose_char(c, full, 4, UTF8PROC_CASEFOLD, &last);
    for (utf8proc_ssize_t k = 0; k < n; ++k) AppendUtf8(out, full[k]);
  });
}

std::string ToLower(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out) c = AsciiLower(c);
    return out;
  }
  return MapCodePoints(s, [](std::string& out, int32_t c) {
    // The one unconditional full lower-case mapping of more than one code point.
    if (c == 0x130) {
      out += "i\xCC\x87";
      return;
    }
    AppendUtf8(out, utf8proc_tolower(c));
  });
}

std::string ToUpper(std::string_view s) {
  if (IsAscii(s)) {
    std::string out(s);
    for (char& c : out)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - ('a' - 'A'));
    return out;
  }
  return MapCodePoints(
      s, [](std::string& out, int32_t c) { AppendUtf8(out, utf8proc_toupper(c)); });
}

std::string KeyFold(std::string_view s) {
  if (IsAscii(s)) return FoldCase(s);
  return FoldCase(ToUpper(s));
}

static int32_t Decode(std::string_view s, size_t& i) {
  const int32_t c = NextCodePoint(s, i);
  return c < 0 ? 0xFFFD : c;
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
      int32_t folded;
      if (a < 0x80) {
        folded = AsciiLower(static_cast<char>(a));
        ++i;
      } else {
        folded = SimpleFold(Decode(hay, i));
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
      const int32_t a = Decode(hay, i);
      const int32_t b = Decode(needle, j);
      if (SimpleFold(a) != SimpleFold(b)) {
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

bool ContainsNoCase(std::string_view hay, std::string_view needle) {
  if (hay.find(needle) != std::string_view::npos) return true;  // the usual spelling
  size_t len = 0;
  // An ASCII needle with a character that is no letter: only that very byte
  // matches it, so a match stands around each place of it. Where the text
  // around is ASCII too, a match is that many bytes; elsewhere (a Kelvin
  // sign may stand for a k) the search below decides.
  size_t anchor = 0;
  while (anchor < needle.size() && IsAsciiLetter(needle[anchor])) ++anchor;
  if (anchor == needle.size() || !IsAscii(needle))
    return FindNoCase(hay, needle, 0, &len) != std::string_view::npos;
  const size_t before = anchor, after = needle.size() - anchor - 1;
  for (size_t p = hay.find(needle[anchor]); p != std::string_view::npos;
       p = hay.find(needle[anchor], p + 1)) {
    if (p < before) continue;
    const size_t from = p - before, to = std::min(p + 1 + after, hay.size());
    if (!IsAscii(hay.substr(from, to - from)))
      return FindNoCase(hay, needle, 0, &len) != std::string_view::npos;
    if (to - from == needle.size() && EqualsAsciiNoCase(hay.substr(from, to - from), needle))
      return true;
  }
  return false;
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
