// The state and private operations behind CTavJIT.
#pragma once

#include <array>
#include <deque>
#include <memory>
#include <unordered_map>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/records.h"
#include "xml/document.h"
#include "generator/script_builder.h"
#include "lint/lint.h"
#include "tavjit/tavjit.hpp"

namespace tavjit::detail {

struct Impl {
  using MessageHandler = CTavJIT::MessageHandler;
  using DiagnosticHandler = CTavJIT::DiagnosticHandler;

  std::string err_msg;
  // Text as of the last compile; while one runs, CurrentText brings it up to
  // the last run that completed, when someone asks.
  std::string text;
  uint64_t text_runs = 0;  // the builder's runs text reflects
  CElements catalogue;
  bool initialised = false;
  InitOutcome last_init;
  // The catalogue's texts and values as Init loaded them, in catalogue
  // order (each element's text, then its attributes' values), put back
  // before each compile when values do not carry over.
  std::vector<std::string> loaded_values;
  bool carry_over = true;
  std::string decoded_;  // the walk's buffer for decoded values

  // A deque, so that a handler registering another does not move the one
  // being called.
  std::deque<MessageHandler> error_handlers;
  std::deque<MessageHandler> warning_handlers;
  std::deque<DiagnosticHandler> diagnostic_handlers;

  // The generator frame; the document walk lists elements into it.
  ScriptBuilder script{[this](const ScriptBuilder::Failure& f) { ReportCheck(f); }};

  // Set while the lint is on; it watches the elements the builder lists.
  std::unique_ptr<lint::Linter> linter;
  bool lint_wanted = false;  // takes effect at the next compile
  std::vector<LintFinding> lint_findings;

  // Set while blocks are recorded; see script_blocks.cpp.
  bool record_blocks = false;
  std::vector<ScriptBlock> script_blocks;
  // Hands the listed elements to the lint and the block recording, or to
  // nobody when both are off.
  void WatchElements();
  // Never fails: out of memory leaves no blocks.
  void FinishScriptBlocks(bool result) noexcept;

  bool explain = false;
  std::vector<Explanation> explanations;
  size_t events = 0;  // raised by this compile, errors and warnings together
  // The notes on unknown names of this compile, by name: a document that
  // misspells a name tends to do so again.
  std::unordered_map<std::string, std::string> name_notes;

  // Where each definition's values start among loaded_values (its text,
  // then its attributes in order).
  std::unordered_map<const CElement*, size_t> loaded_at;
  // While the lint is on, which tells of values carried over: where the walk
  // last wrote each value (by its place among loaded_values), and by which
  // element, counted over the instance's life (0: none).
  struct Written {
    Place place;
    uint64_t element = 0;
  };
  std::vector<Written> written_;
  // The value at `position` among a definition's attributes, its values
  // starting at `loaded`; none when Init did not place it.
  size_t ValueIndex(size_t loaded, size_t position) const {
    return loaded < written_.size() && position < written_.size() - loaded - 1
               ? loaded + 1 + position
               : SIZE_MAX;
  }
  uint64_t walked_ = 0;
  uint64_t compile_start_ = 0;  // walked_ when this compile began
  // The values an element took from an earlier one. Their notes are made
  // when the compile ends, once the document and the buffers are gone: a
  // document may leave values out in most of its elements.
  struct CarriedValue {
    Place place, from;  // from: the element that gave it, if from_here
    const CElement* def;
    size_t loaded;       // its place among loaded_values
    size_t value;        // in carried_text_
    uint32_t value_size;
    uint32_t attribute;  // its position among the definition's attributes
    uint32_t before;     // the lint's findings noted before it
    bool from_here;      // given by an element of this document
  };
  std::vector<CarriedValue> carried_;
  std::string carried_text_;

  bool compiling = false;  // Execute and Init are refused while set

  Impl() { catalogue.Clear(); }

  const std::string& CurrentText();

  void Init(LoadOutcome outcome, const std::string& source);
  bool Execute(const std::string& sFileName);
  bool ExecuteFromBytes(std::string_view document);
  // Refuses a call made from a handler of a compile on this instance.
  void RefuseWhileCompiling(const char* source) const;
  // What both start with: refuses before Init, forgets the last outcome.
  void Begin();
  // Everything Execute does once the file's bytes are read.
  bool Compile(std::string bytes);
  // Ends a compile, completed or abandoned by an exception: Text follows the
  // last run that completed, and nothing of it is left for the next.
  void Finish(bool result) noexcept;

  // The error-reporting routine: stores the message and raises ErrorMessage.
  void SetErrMsg(const std::string& msg, Place place = {});
  void RaiseWarning(const std::string& msg, Place place = {});
  // A failed attribute check, with its note.
  void ReportCheck(const ScriptBuilder::Failure& failure);
  // An explanation standing alone, for a failure that raises no event.
  void Explain(Severity severity, std::string message, Place place = {});
  // A note on the event raised last. Callers that build its text test
  // `explain` first, so that explanations cost nothing while off.
  void Note(std::string message, Place place = {});

  // The lint's findings about the document itself, which the listed
  // elements do not show (walk.cpp).
  void NoteAfterBody(xml::Node body);
  void NoteNested(xml::Node node, const CElement& def);
  void NoteCarriedValues(const CElement& def, Place place, size_t loaded);
  void MakeCarriedNotes();
  void NoteDecodedTwice(const CElement& def, Place place, std::string_view what,
                        std::string_view value);

  bool CheckIfValid(const xml::Document& doc);
  bool PopulateDoc(xml::Node parent);

  // The catalogue's definition of an element name as a document writes it,
  // remembered for the compile: a document repeats a few dozen names.
  struct KnownName {
    std::string name;
    const CElements::Ptr* definition = nullptr;
    size_t loaded = SIZE_MAX;  // where its values start among loaded_values
    bool set = false;
  };
  const KnownName& FindDefinition(std::string_view name);
  std::array<KnownName, 256> known_names_;
};

}  // namespace tavjit::detail
