// How element lines are declared: one row per element name, either a list
// of pieces joined with nothing between them, or a small function for the
// elements whose line depends on a test. One table per command family; the
// registry in branches.cpp joins them in dispatch order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"
#include "generator/vocabulary.h"

namespace tavjit::branches {

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
};

constexpr Piece Lit(std::string_view text) { return {PieceKind::kLit, text}; }
constexpr Piece Verbatim(std::string_view attr) { return {PieceKind::kVerbatim, attr}; }
constexpr Piece Trimmed(std::string_view attr) { return {PieceKind::kTrimmed, attr}; }
constexpr Piece Quoted(std::string_view attr) { return {PieceKind::kQuoted, attr}; }
inline constexpr Piece QuotedText{PieceKind::kQuotedText, {}};
inline constexpr Piece VerbatimText{PieceKind::kVerbatimText, {}};

using BuildFn = std::string (*)(const CElement& element, CVariables& variables);

struct BranchRow {
  BranchRow(std::string_view n, std::vector<Piece> p) : name(n), pieces(std::move(p)) {}
  BranchRow(std::string_view n, BuildFn fn) : name(n), build(fn) {}

  std::string_view name;
  std::vector<Piece> pieces;  // used when build is null
  BuildFn build = nullptr;
};

using BranchTable = std::vector<BranchRow>;

// The families, each in dispatch order.
const BranchTable& ControlFlowRows();
const BranchTable& DocumentCommandRows();
const BranchTable& TextCommandRows();
const BranchTable& SearchCommandRows();
const BranchTable& DialogCommandRows();
const BranchTable& OutputCommandRows();

// An attribute's value; empty when the element has no such attribute, since
// a failed look-up inside a branch is abandoned rather than reported.
const std::string& AttrValue(const CElement& element, std::string_view name);

// The line of a row of pieces.
std::string JoinPieces(const std::vector<Piece>& pieces, const CElement& element);

}  // namespace tavjit::branches
