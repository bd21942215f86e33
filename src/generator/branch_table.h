// How the generator knows an element: one row per element name, in one
// table per command family, holding everything the code knows about it. A
// row gives the element's line as pieces joined with nothing between them,
// or as a small function for the elements whose line depends on a test;
// what the line reads, and what an empty value does to it; and the part the
// element plays in the document's structure. The registry in branches.cpp
// joins the tables in dispatch order; the lint and the tests ask the rows.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"
#include "generator/vocabulary.h"

namespace tavjit::branches {

// What an empty value does to the line of an element that reads it.
enum class IfEmpty : uint8_t {
  kFine,         // the line still works
  kSyntaxError,  // the interpreter refuses the whole script
  kScriptStops,  // a call without its value: the script stops there
};
using enum IfEmpty;

// The part an element plays beyond its line.
enum class Role : uint8_t {
  kNone,
  kIf,
  kElse,
  kEndif,             // added by the walk after the children of an if
  kLoop,
  kEndloop,           // added by the walk after the children of a loop
  kDeclaresVariable,  // declares the variable its name attribute names
  kDeclaresRange,     // declares the range its name attribute names
  kSetsRange,         // sets the properties of the range its name attribute names
};
using enum Role;

enum class PieceKind {
  kLit,           // fixed script text
  kVerbatim,      // attribute value exactly as stored
  kTrimmed,       // attribute value without leading and trailing spaces
  kQuoted,        // attribute value as a string literal
  kQuotedText,    // element text as a string literal
  kVerbatimText,  // element text exactly as stored
};

struct Piece {
  PieceKind kind;
  std::string_view arg;  // the literal text, or the attribute name
  IfEmpty if_empty = IfEmpty::kFine;
};

constexpr Piece Lit(std::string_view text) { return {PieceKind::kLit, text}; }
constexpr Piece Verbatim(std::string_view attr, IfEmpty e = IfEmpty::kFine) {
  return {PieceKind::kVerbatim, attr, e};
}
constexpr Piece Trimmed(std::string_view attr, IfEmpty e = IfEmpty::kFine) {
  return {PieceKind::kTrimmed, attr, e};
}
constexpr Piece Quoted(std::string_view attr) { return {PieceKind::kQuoted, attr}; }
inline constexpr Piece QuotedText{PieceKind::kQuotedText, {}};
inline constexpr Piece VerbatimText{PieceKind::kVerbatimText, {}};

// Something a line reads: an attribute, or (no name) the element's text.
struct Input {
  std::string_view attribute;
  IfEmpty if_empty = IfEmpty::kFine;
};
constexpr Input Attr(std::string_view name, IfEmpty e = IfEmpty::kFine) { return {name, e}; }
inline constexpr Input TextInput{};

using BuildFn = std::string (*)(const CElement& element, CVariables& variables);

struct BranchRow {
  // A line of pieces; what it reads follows from them.
  BranchRow(std::string_view n, std::vector<Piece> p, Role r = Role::kNone);
  // A line built by a function, with everything the function reads, and
  // its form where it has one.
  BranchRow(std::string_view n, BuildFn fn, std::vector<Input> reads, Role r = Role::kNone,
            std::vector<Piece> f = {})
      : name(n), build(fn), inputs(std::move(reads)), role(r), form(std::move(f)) {}

  std::string Line(const CElement& element, CVariables& variables) const;
  // The same line, appended to out.
  void AppendLine(const CElement& element, CVariables& variables, std::string* out) const;
  bool ReadsText() const;
  // The pieces the line reads as: its own, or a built line's form; none for
  // a built line without one.
  const std::vector<Piece>* Form() const {
    if (!build) return &pieces;
    return form.empty() ? nullptr : &form;
  }

  std::string_view name;
  std::vector<Piece> pieces;  // used when build is null
  BuildFn build = nullptr;
  std::vector<Input> inputs;  // every attribute and text the line reads, once each
  Role role = Role::kNone;
  // A built line that is always one line: pieces that read as it does. The
  // same statements, the same values in code and the same in string
  // literals, whichever way the function goes; with every value given and
  // no blanks around them, the very line. Empty where no pieces can say it.
  std::vector<Piece> form;
};

using BranchTable = std::vector<BranchRow>;

// The families, each in dispatch order.
const BranchTable& ControlFlowRows();
const BranchTable& DocumentCommandRows();
const BranchTable& TextCommandRows();
const BranchTable& SearchCommandRows();
const BranchTable& DialogCommandRows();
const BranchTable& OutputCommandRows();

// The row of an element name, compared exactly; null when none has it.
const BranchRow* FindRow(std::string_view name);

// An attribute's value; empty when the element has no such attribute, since
// a failed look-up inside a branch is abandoned rather than reported.
const std::string& AttrValue(const CElement& element, std::string_view name);

}  // namespace tavjit::branches
