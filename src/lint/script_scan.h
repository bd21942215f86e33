// Just enough of VBScript's line structure for the lint: strings, comments,
// statement separators, line continuations, the statements that open and
// close blocks, declarations, and variable references.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>
#include <vector>

#include "generator/vocabulary.h"

namespace tavjit::lint {

enum class Block : uint8_t {
  kIf,
  kDo,
  kWhile,
  kFor,
  kSelect,
  kWith,
  kSub,
  kFunction,
  kProperty,
  kClass
};

enum class Op : uint8_t {
  kOpen,   // If ... Then (block form), Do, While, For, Select Case, With, Sub, ...
  kClose,  // End If, Loop, Wend, Next, End Select, ...
  kElse,
  kElseIf,
  kCase,
  kExit,     // Exit Do, Exit For, Exit Sub, ...
  kDeclare,  // Dim, Const, Public, Private
};

struct Statement {
  Op op;
  Block block = Block::kIf;  // kOpen, kClose, kExit
  std::string_view names;    // kDeclare: the declaration list
};

// The statements of one logical line that matter for block structure and
// declarations, in order; other statements are left out.
void Statements(std::string_view line, std::vector<Statement>* out);

// The same for a line that holds one statement and no comment outside its
// strings, as the lines of most elements do.
void OneStatement(std::string_view line, std::vector<Statement>* out);

// The first word of s (letters, digits and "_", after blanks); *end is set
// past it.
std::string_view FirstWord(std::string_view s, size_t* end);

// The statement one that starts with the word is, whatever follows it
// (Do, Loop, Next, ...); none when what follows decides, or when it gives
// nothing.
std::optional<Statement> KeywordStatement(std::string_view word);

// Whether a statement that starts with the word can give Statements
// anything: a statement that starts with any other word gives nothing.
bool StartsStatement(std::string_view word);

// True when the line ends in a continuation ("_" after a blank, outside
// strings and comments); *head is then the line before the "_".
bool Continues(std::string_view line, std::string_view* head);

// A %name% or %name.property% reference on one physical line.
struct Reference {
  std::string_view text;  // between the percent signs
  bool in_code;           // outside any string literal
};
// The references of one line, left to right; those in comments are left out.
void References(std::string_view line, std::vector<Reference>* out);
// A %name% or %name.property% between two percent signs.
bool IsReferenceName(std::string_view gap);
// The percent signs of a text, given in order: each closes the one before
// it, in code or in a string alike, when a name stands between them;
// otherwise it opens the next. Each reference goes to visit (name, in_code);
// At is false once visit returns false.
template <typename Visit>
struct SignPairs {
  std::string_view text;
  Visit visit;
  size_t open = std::string_view::npos;
  bool open_in_code = false;
  bool At(size_t i, bool in_code) {
    if (open != std::string_view::npos && open_in_code == in_code) {
      const std::string_view gap(text.data() + open + 1, i - open - 1);
      if (IsReferenceName(gap)) {
        open = std::string_view::npos;
        return visit(gap, in_code);
      }
    }
    open = i;
    open_in_code = in_code;
    return true;
  }
};
// The references of a value that stands in a line whole, as one string
// literal or as code without quotes or comment signs, left to right: the
// line would give the same for it, since no reference spans the quote or
// the change between code and string at either end of a value. Each is
// given to visit until it returns false; false then.
template <typename Visit>
bool EachValueReference(std::string_view value, bool in_code, Visit&& visit) {
  if (value.empty()) return true;
  SignPairs<Visit&> pairs{value, visit};
  const char* const end = value.data() + value.size();
  for (const char* p = static_cast<const char*>(std::memchr(value.data(), '%', value.size())); p;
       p = static_cast<const char*>(std::memchr(p + 1, '%', static_cast<size_t>(end - p - 1))))
    if (!pairs.At(static_cast<size_t>(p - value.data()), in_code)) return false;
  return true;
}
// The same, added to *out.
void ValueReferences(std::string_view value, bool in_code, std::vector<Reference>* out);

const char* OpenKeyword(Block b);   // "If", "Do", "For", ...
const char* CloseKeyword(Block b);  // "End If", "Loop", "Next", ...
// Sub, Function, Property and Class: a scope of its own, which Exit Do and
// Exit For do not leave.
bool IsScope(Block b);

// A script identifier: a letter or "_", then letters, digits and "_".
bool IsIdentifier(std::string_view s);

// A word VBScript reserves, which no variable may be named (any case).
bool IsReservedWord(std::string_view s);

// The names a declaration list declares: the first word of each item
// between top-level commas ("a(3)", "b = 1" and "c" declare a, b and c).
void DeclaredNames(std::string_view list, std::vector<std::string_view>* names);

}  // namespace tavjit::lint
