// Text helpers shared by the catalogue, the compiler and the generator.
// All text is UTF-8; "without regard to case" means Unicode case folding.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace tavjit {

// The last byte c in [s, s + n), or nullptr: memrchr, which Windows' C
// library lacks.
const void* LastByte(const void* s, int c, size_t n);

// Removes leading and trailing U+0020 only (tabs and line breaks stay).
std::string_view TrimSpaces(std::string_view s);

// Removes leading and trailing XML whitespace (space, tab, CR, LF).
std::string_view TrimXmlSpace(std::string_view s);

// Decodes the code point at s[i] (i < s.size()) and moves i past it; -1 for
// malformed bytes, past which i moves by the longest start of a well-formed
// sequence (at least one byte), as a decoder substituting U+FFFD would.
int32_t NextCodePoint(std::string_view s, size_t& i);

// Simple Unicode case folding of one code point.
int32_t SimpleFold(int32_t c);

// Full Unicode case folding; ASCII text takes a fast path.
std::string FoldCase(std::string_view s);

// Unicode lower and upper case (root locale).
std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);

// The form in which collection keys are compared: upper case, then folded,
// so that a name and its upper-case key always meet (also for letters such
// as the dotless i, whose upper case folds to another letter).
std::string KeyFold(std::string_view s);

// Position of the first occurrence of needle in hay at or after pos, code
// points compared by simple case folding; npos when absent. Needle and match
// have the same number of code points, so a match's length in bytes is
// returned through match_len.
size_t FindNoCase(std::string_view hay, std::string_view needle, size_t pos,
                  size_t* match_len);

// Whether FindNoCase finds needle in hay.
bool ContainsNoCase(std::string_view hay, std::string_view needle);

// Replaces every occurrence (exact comparison), scanning left to right.
std::string ReplaceAll(std::string_view s, std::string_view from,
                       std::string_view to);

// Replaces every occurrence found by FindNoCase, scanning left to right.
std::string ReplaceAllNoCase(std::string_view s, std::string_view from,
                             std::string_view to);

bool IsAscii(std::string_view s);

// An ASCII capital lowered; any other byte as it is.
inline char AsciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Equality ignoring the case of ASCII letters only, for names that are ASCII
// by definition (script keywords and identifiers).
inline bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)  // most bytes agree as they are
    if (a[i] != b[i] && AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

}  // namespace tavjit
