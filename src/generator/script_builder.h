// The generator frame as the compiler runs it. The document walk adds each
// element as it lists it and asks for a run at the end of every level; a run
// covers everything listed so far. The script a run would store is the same
// text the direct algorithm builds (check every element, append its line,
// splice variables into the whole script after each element), but each
// element is checked and translated once, when it is listed, and the script
// is put together once, for the last run that completed.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "catalogue/records.h"
#include "generator/branch_table.h"
#include "support/place.h"

namespace tavjit {

class ScriptBuilder {
 public:
  // A failed check: the error message (none for a value that cannot be
  // examined at all), the place of the element, and what the catalogue says
  // the value may be.
  struct Failure {
    std::optional<std::string> message;
    Place place;
    std::string detail;
  };
  // The error-reporting routine, with what explains the failure.
  using Reporter = std::function<void(const Failure&)>;

  // Sees each element once, when it is listed and has passed its check:
  // the element with its checked values, its place, and its block (the
  // element line, guarded where it uses the active document, with its
  // CR LF). For passes that look at what was generated, such as the lint.
  // A plain function and its context: it is called for every element.
  // memo: what the observer keeps about the element's definition, held
  // beside the builder's working copy of it and forgotten with it; owner
  // tells an observer its own from another's or a stale one.
  struct ObserverMemo {
    void* data = nullptr;
    uint64_t owner = 0;
  };
  using Observer = void (*)(void* context, const CElement& element, Place place,
                            std::string_view block, ObserverMemo& memo);

  explicit ScriptBuilder(Reporter report) : report_(std::move(report)) {}
  void SetObserver(Observer observer, void* context) {
    observer_ = observer;
    observer_context_ = context;
  }

  // Forgets everything listed: the start of a compile. size_hint: the
  // document's size, from which the script's is guessed.
  void Reset(size_t size_hint = 0);
  // Forgets the working copies of definitions too: the catalogue changed.
  void ForgetDefinitions();

  // Lists a copy of the definition as it stands now (its attribute values
  // and text), for the element at the given place.
  void Add(const CElement& definition, Place place);

  // A run over everything listed. False when an element fails its check: the
  // first failure in list order is reported then.
  bool Run();

  // The script of the last run that completed (empty when none did).
  // Taking the script uses up what was listed; Reset comes next. Script
  // leaves everything in place, for a look in the middle of a compile.
  std::string TakeScript();
  std::string Script() const;
  // Runs completed since Reset.
  uint64_t CompletedRuns() const { return runs_; }

 private:
  struct Declaration {
    size_t index;
    std::string name;
    bool is_object;
  };
  // An element whose check may change its values again at the next run
  // (a required number whose value the check emptied): checked at every
  // run, as the direct algorithm does, with its own copy.
  struct Unsettled {
    size_t index;
    Place place;
    size_t raw_pos;  // where its block stands in raw_
    std::shared_ptr<CElement> element;
    const branches::BranchRow* row;
    std::string block, pending_block;
    std::optional<Declaration> decl, pending_decl;
    bool fresh = true;  // its first check, made when listed, counts for the next run
  };
  struct Completed {
    size_t count;       // elements covered
    size_t raw_size;    // raw_ bytes covered
    size_t unsettled;   // unsettled_ entries covered
  };

  // Per definition: a working copy, which listing an element overwrites
  // with the definition's values, and the row of its name. Kept from one
  // compile to the next (a host compiles many small macros), and checked
  // against its definition at the first element of each compile.
  struct Slot {
    std::shared_ptr<CElement> scratch;
    const branches::BranchRow* row = nullptr;
    uint64_t checked = 0;  // the compile it was last checked in
    ObserverMemo memo;
  };
  Slot& SlotFor(const CElement& definition);
  // Checks and translates, appending the block to out; false when the check
  // failed (failure_ is set).
  bool Translate(CElement& element, const branches::BranchRow* row, Place place,
                 std::string* out, std::optional<Declaration>* decl, size_t index);
  std::string Assemble(const Completed& c) const;
  // The declarations of the covered elements in list order, settled and
  // unsettled merged.
  std::vector<const Declaration*> CoveredDeclarations(const Completed& c) const;
  static CVariables VariablesOf(const std::vector<const Declaration*>& decls);
  // The script of c the general way, with the variables of decls spliced.
  std::string BuildScript(const Completed& c, const std::vector<const Declaration*>& decls,
                          const CVariables& variables) const;

  Reporter report_;
  Observer observer_ = nullptr;
  void* observer_context_ = nullptr;
  std::unordered_map<const CElement*, Slot> slots_;
  // The slots of the definitions listed last, by address.
  std::array<std::pair<const CElement*, Slot*>, 64> recent_slots_{};
  size_t count_ = 0;                   // elements listed
  std::string raw_;                    // blocks of settled elements, in order
  // From the first element that declares a name outside letters, digits
  // and underscores, or that may change at a later run, the script can only
  // be spliced element by element: the end of each block in raw_ from there
  // on, and where that first block starts.
  size_t exact_from_ = SIZE_MAX;
  size_t exact_raw_ = 0;
  std::vector<uint64_t> block_end_;
  std::vector<Declaration> decls_;     // settled declarations, in order
  std::vector<Unsettled> unsettled_;
  std::optional<Failure> failure_;     // first failed check since the last run
  bool stopped_ = false;               // listing after a failure changes nothing
  std::optional<Completed> completed_;
  uint64_t runs_ = 0;
  uint64_t compile_ = 1;  // counts Resets
};

}  // namespace tavjit
