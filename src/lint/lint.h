// The lint: findings about a compiled document whose script, generated
// faithfully, will not run or will do something other than the author meant.
// It watches the elements as the generator lists them (through the script
// builder's observer) and never changes what the compile produces.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "catalogue/records.h"
#include "generator/branch_table.h"
#include "generator/script_builder.h"
#include "lint/script_scan.h"
#include "support/place.h"
#include "support/text.h"
#include "tavjit/tavjit.hpp"

namespace tavjit::lint {

class Linter {
 public:
  Linter() {
    ForgetDefinitions();
    Reset();
  }

  // Forgets what it found out about the definitions: a catalogue was loaded.
  void ForgetDefinitions();
  // Forgets the document: the start of a compile. What it found out about
  // the definitions stays: a host compiles many macros with one catalogue.
  void Reset();
  // One listed element: its checked values, its place and its block (the
  // element line, guarded where it uses the active document, CR LF).
  // memo: where it keeps what it found out about the element's definition.
  void Observe(const CElement& element, Place place, std::string_view block,
               ScriptBuilder::ObserverMemo& memo);
  // A finding about the document itself, which the listed elements do not
  // show (the walk's: values carried over, elements where nothing compiles).
  // A note: whatever the document's own words in it, the script still runs.
  void NoteAt(Place place, std::string message);
  // The same, made late: it stands where a note made after `before` others
  // would have stood.
  void NoteAt(Place place, std::string message, size_t before);
  size_t Noted() const { return findings_.size(); }
  // The findings about the elements observed since Reset, given the script
  // the compile stored; call only after a compile that succeeded. Resets.
  std::vector<LintFinding> Finish(std::string_view text);

 private:
  static constexpr size_t kNone = static_cast<size_t>(-1);

  // The part an element plays, as its row says.
  using Kind = branches::Role;

  // An element as findings name it (its name kept in element_names_).
  struct Site {
    std::string_view element;
    Kind kind = Kind::kNone;
    uint32_t line = 0;
    uint32_t column = 0;
    size_t index = 0;
    size_t paired = kNone;  // endif, endloop: the index of their if or loop
  };
  // An if or loop element whose closing element has not come yet.
  struct OpenElement {
    Site site;
    bool guard_cut = false;  // an if whose line the active-document guard closed at once
    bool has_else = false;
  };
  struct OpenBlock {
    Block kind;
    bool saw_else;
    Site site;
  };
  // Findings that wait for the end of the compile, kept small: a document
  // may hold many. Their strings are kept once (Keep), 0 for none.
  struct PendingSite {
    std::string_view element;
    uint32_t line, column;
    Site Full() const { return {element, Kind::kNone, line, column}; }
  };
  // A %name% whose name nothing had declared yet when it was seen.
  struct PendingReference {
    PendingSite site;
    uint32_t text, folded;
    uint32_t truth_attribute;  // set: the whole value of a true-or-false attribute
    bool in_code;
  };
  struct PendingWrite {
    PendingSite site;
    uint32_t name, folded;
    uint32_t value_of;  // set: the attribute whose number or truth value the name is
    bool range;         // names a range rather than a plain variable
  };
  uint32_t Keep(std::string_view s);
  // A script identifier folded (ASCII lowering), in folded_name_.
  const std::string& FoldName(std::string_view name);
  std::string_view Kept(uint32_t id) const { return kept_[id]; }
  std::deque<std::string> kept_;  // a deque: the views in kept_ids_ stay put
  std::unordered_map<std::string_view, uint32_t> kept_ids_;
  // An element whose check may fill a value in again at a later run: what
  // it gave first, to be compared with the script the compile stored.
  struct Deferred {
    Site site;
    uint64_t first_line;
    std::string block, element_line;
    std::vector<std::pair<std::string, bool>> attributes;  // with: empty is a syntax error
  };

  // What the checks need of the elements of one definition, found once: the
  // builder lists every element of a definition through one record.
  struct Facts {
    std::string_view name;  // in element_names_
    size_t attributes = 0;
    const branches::BranchRow* row = nullptr;
    std::vector<size_t> truths;  // positions of true-or-false attributes
    std::vector<size_t> values;  // and of number or true-or-false ones
    // Attributes that name a variable the element writes, and whether a range.
    std::vector<std::pair<size_t, bool>> writes;
    // A line of fixed text with no quote, colon or comment sign, string
    // literals, and the values of code_values: one statement, when those
    // values have no quote, colon, comment sign or line break either.
    bool one_statement = false;
    std::vector<size_t> code_values;
    // Such a line that starts with fixed text whose first word starts no
    // statement the lint reads; and whether its end is fixed too (so that it
    // cannot end in a continuation).
    bool no_statement = false;
    bool fixed_end = false;
    // Such a line with no values in code and a fixed start and end: nothing
    // for the structure checks, whatever its values.
    bool reads_nothing = false;
    // Or such a line that starts with a value followed by fixed text that
    // ends any word: its first word is the value's. The value's position,
    // or none when the element has no such attribute (an empty value).
    bool value_first = false;
    size_t first_value = SIZE_MAX;
    // Such a line whose statements its values cannot change: fixed text, or
    // a first word that decides alone (Do, Loop, ...). They hold unless the
    // line ends in a continuation, which only a line without a fixed end can.
    bool statements_known = false;
    std::vector<Statement> statements;
    std::string fixed_text;  // the line, when it is fixed text: a Dim's names point into it
    // Fixed text that names the active document: its guard is certain.
    bool names_document = false;
    // The values such a line shows, in order: an attribute's (or none, for
    // one the element lacks) or the text; in code or in a string literal.
    struct Shown {
      size_t position;  // SIZE_MAX: the text, or an attribute the element lacks
      bool text, in_code, trimmed;
    };
    std::vector<Shown> shown;
    bool string_values = false;  // any of them in a string literal
    // Attributes whose row says the line cannot do without a value, each
    // with that input.
    std::vector<std::pair<size_t, const branches::Input*>> slots;
    // A line of fixed text alone that no check reads: its block is the
    // same every time, and so is the number of its lines, once seen.
    bool fixed_block = false;
    uint64_t block_lines = UINT64_MAX;
  };
  // How much of an element line the structure checks must read.
  enum class Shape { kLines, kOneStatement, kNothing };
  Shape ShapeOf(const CElement& e, const Facts& facts, std::string_view inner) const;
  // The builder lists every element of a definition through one record,
  // and keeps the memo of its facts beside it.
  Facts& FactsOf(const CElement& e, ScriptBuilder::ObserverMemo& memo) {
    if (memo.owner == memo_owner_) return *static_cast<Facts*>(memo.data);
    Facts& facts = FindFacts(e);
    memo = {&facts, memo_owner_};
    return facts;
  }
  Facts& FindFacts(const CElement& e);
  std::unordered_map<const CElement*, Facts> facts_;  // its nodes stay put: memos point to them
  // Unique to this lint and its facts: memos made before it are not its own.
  uint64_t memo_owner_ = 0;
  std::unordered_set<std::string> element_names_;

  void Note(const Site& site, std::string message);
  // The same, its words made only when there is a finding: out of line and
  // apart from the checks, which run for every element and stay small.
  template <typename Words>
  [[gnu::cold, gnu::noinline]] void Note(const Site& site, const Words& words) {
    Note(site, std::string(words()));
  }

  void ObserveElements(Site& site);
  void CheckGuard(const Site& site);
  void TrackOwn(const Statement& s);
  void Unpaired(Block kind, const char* keyword);
  void NoteNoClosing(const OpenBlock& b);
  void NoteGuardCutIf(const OpenElement& open);
  void CheckEmptySlots(const CElement& e, const Facts& facts, const Site& site,
                       std::string_view inner, std::string_view block);
  // The rest of CheckEmptySlots and CheckReferences, for the few elements
  // with a blank slot, or a reference other than a declared variable in a
  // string: out of line, so that the code run for every element stays small.
  [[gnu::cold, gnu::noinline]] void NoteEmptySlots(const CElement& e, const Facts& facts,
                                                   const Site& site, std::string_view inner,
                                                   std::string_view block);
  [[gnu::cold, gnu::noinline]] void NoteReferences(const Site& site);
  // one_line: a line of the shape ShapeOf calls one statement or nothing,
  // whose references are those of its values.
  void CheckReferences(const CElement& e, const Facts& facts, const Site& site,
                       std::string_view block, bool one_line);
  // The line breaks in the values of such a line.
  uint64_t LinesInValues(const CElement& e, const Facts& facts) const;
  std::string_view ShownValue(const CElement& e, const Facts::Shown& v) const;
  void CheckWrites(const CElement& e, const Facts& facts, const Site& site);
  void CheckValues(const CElement& e, const Facts& facts, const Site& site,
                   std::string_view block);
  void CheckNames(const CElement& e, const Site& site);

  // Block structure and declarations, statement by statement.
  void Structure(const Site& site, std::string_view lines, bool one_statement = false);
  void Logical(const Site& site, std::string_view line, bool one_statement = false);
  void Apply(const Site& site, const Statement& s);
  void Close(const Site& site, Block kind);
  void ElseOf(const Site& site, bool is_else);
  void ExitOf(const Site& site, Block kind);
  void Declare(const Site& site, std::string_view list);
  void PopBlock();

  enum class Resolution { kSpliced, kUndeclared, kNotRange, kBadProperty };
  // What a reference's name (name or name.property, in any case) stands for.
  Resolution Resolve(std::string_view name) const;
  // How a name (its ASCII letters in either case) has been declared so far: by a
  // var or range (the first decides which), by a script line, or both.
  enum Declared : uint8_t { kVar = 1, kRange = 2, kDim = 4 };
  uint8_t DeclaredAs(std::string_view name) const { return declared_.Get(name); }
  bool Dimmed(std::string_view name) const { return DeclaredAs(name) & kDim; }
  void ReportReference(const PendingReference& r, Resolution how);

  size_t index_ = 0;
  uint64_t lines_ = 0;  // script lines of the blocks observed so far
  std::vector<OpenElement> open_elements_;
  std::vector<OpenBlock> blocks_;
  // if and loop elements whose block something else closed.
  std::unordered_set<size_t> closed_early_;
  // By Block: blocks reported open and put aside, whose closing may follow.
  std::array<uint32_t, 10> forced_{};
  // Declarations (folded name, first site): the script's, then procedures'.
  std::vector<std::unordered_map<std::string, Site>> scopes_;
  // Every name declared so far (folded), as Declared flags. Looked up for
  // most references and writes: open addressing, names hashed a byte at a
  // time (they are short), no node to follow. Looked up as written too:
  // ASCII letters match in either case (the names kept have no capitals).
  class NameFlags {
   public:
    uint8_t Get(std::string_view name) const { return Get(name, Hash(name)); }
    // With the name's hash (Hash) worked out already.
    uint8_t Get(std::string_view name, size_t hash) const {
      if (names_.empty()) return 0;
      for (size_t i = hash & (slots_.size() - 1);; i = (i + 1) & (slots_.size() - 1)) {
        if (!slots_[i]) return 0;
        const auto& [n, flags] = names_[slots_[i] - 1];
        if (EqualsAsciiNoCase(n, name)) return flags;
      }
    }
    // The flags of the name, added with none if new: valid until the next call.
    uint8_t& operator[](std::string_view name);
    void Clear() {
      names_.clear();
      slots_.assign(16, 0);
    }

    static constexpr uint64_t kHashStart = 0xcbf29ce484222325ull;
    // The bit that tells the case of an ASCII letter set: a name hashes alike
    // in either case (other bytes it joins, which equality tells apart).
    static uint64_t HashStep(uint64_t h, char c) {
      return (h ^ (static_cast<unsigned char>(c) | 0x20u)) * 0x100000001b3ull;
    }
    static size_t HashEnd(uint64_t h) { return static_cast<size_t>(h ^ (h >> 29)); }
    static size_t Hash(std::string_view s) {
      uint64_t h = kHashStart;
      for (char c : s) h = HashStep(h, c);
      return HashEnd(h);
    }

   private:
    std::vector<std::pair<std::string, uint8_t>> names_;
    std::vector<uint32_t> slots_ = std::vector<uint32_t>(16);  // 1 + index in names_; 0 empty
  };
  NameFlags declared_;
  std::vector<PendingReference> pending_references_;
  std::vector<PendingWrite> pending_writes_;
  std::vector<Deferred> deferred_;
  std::string continued_;
  bool continuing_ = false;
  Site continued_site_;
  std::vector<LintFinding> findings_;
  std::vector<std::pair<size_t, LintFinding>> late_;  // in the order of before
  // The blocks the element being observed opens and closes by itself.
  struct Own {
    size_t index = kNone;
    std::vector<Block> stack;
    bool contained = true, if_only = true, keyword_is_if = false;
    const char* keyword = nullptr;  // the first keyword left unpaired, other than If if any
    void Start(size_t i) {
      index = i;
      stack.clear();
      contained = if_only = true;
      keyword_is_if = false;
      keyword = nullptr;
    }
  } own_;
  // Scratch, kept to save allocations.
  std::vector<Statement> statements_;
  std::vector<std::string_view> names_;
  std::vector<Reference> references_;
  // A reference of the element being observed: views into its block or
  // attributes, and its folded name in folded_.
  struct Local {
    std::string_view text;
    size_t folded_at, folded_size;
    bool in_code;
    std::string_view truth_attribute;
  };
  std::vector<Local> locals_, written_refs_;
  std::string folded_;
  std::string folded_name_;
};

}  // namespace tavjit::lint
