// Splicing declared variables into the script: each reference "%" + name +
// "%" (or "%" + range + "." + property + "%") becomes the end of a string
// literal, the variable and the start of the next. FixVariables is the
// direct algorithm, run over the whole script after every element;
// SplicePlan finds in one pass what running it after every element would
// have done, for names made of letters, digits and underscores.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/records.h"

namespace tavjit {

std::string FixVariables(std::string_view script, const CVariables& variables);

// A name made of letters, digits and underscores, and not empty: splicing
// it cannot make or break another reference.
bool IsPlainName(std::string_view name);

// Where FixVariables would splice variables into a script, found in one
// pass: each reference between two percent signs, and where two share a
// sign, the one FixVariables replaces first (the earlier variable, then the
// leftmost).
class SplicePlan {
 public:
  // False when a variable name is outside letters, digits and underscores.
  bool Make(std::string_view script, const CVariables& variables);
  // How much longer the script gets.
  size_t Growth() const;
  void AppendTo(std::string_view script, std::string* out) const;
  // Whether ApplyInPlace can make the splices with prefix in front: a
  // reference written with letters that fold to shorter ones (the Kelvin
  // sign, the long s) gets shorter, and working in place needs every part of
  // the script to stay where it was or move towards the end.
  bool FitsInPlace(std::string_view prefix) const;
  // The script with prefix in front and the splices made, in its own buffer.
  void ApplyInPlace(std::string* s, std::string_view prefix) const;

 private:
  // A reference to replace: from its opening percent sign, length bytes up
  // to and with its closing one. A script has one every few dozen bytes.
  struct Splice {
    uint64_t open;
    uint32_t length;
    uint32_t pattern;  // into replacements_
  };
  // A text between two neighbouring percent signs that folds to a pattern.
  struct Match {
    uint32_t order;
    uint64_t open, close;
  };
  void SettleRun();
  const std::string& Replacement(const Splice& sp) const { return *replacements_[sp.pattern]; }
  size_t Grows(const Splice& sp) const;

  struct Pattern {
    uint32_t order;
    std::string replacement;
  };
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::unordered_map<std::string, Pattern, Hash, std::equal_to<>> patterns_;
  std::vector<const std::string*> replacements_;  // by order
  size_t longest_ = 0;
  std::vector<Match> run_;  // neighbouring matches, each sharing a sign with the next
  std::vector<Splice> splices_;
};

// FixVariables over a whole script in one pass, appended to out, for
// variable names made only of letters, digits and underscores; the trim is
// left to the caller. False (and nothing appended) when a name is outside
// that set.
bool SpliceVariablesOnce(std::string_view script, const CVariables& variables, std::string* out);

}  // namespace tavjit
