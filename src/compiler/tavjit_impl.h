// The state and private operations behind CTavJIT.
#pragma once

#include <array>
#include <deque>
#include <memory>
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
  ScriptBuilder script{[this](const std::string& msg, uint32_t line) { SetErrMsg(msg, line); }};

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
  void SetErrMsg(const std::string& msg, uint32_t line = 0);
  void RaiseWarning(const std::string& msg, uint32_t line = 0);
  void Explain(Explanation::Severity severity, std::string message, uint32_t line = 0);

  bool CheckIfValid(const xml::Document& doc);
  bool PopulateDoc(xml::Node parent);

  // The catalogue's definition of an element name as a document writes it,
  // remembered for the compile: a document repeats a few dozen names.
  const CElements::Ptr* FindDefinition(std::string_view name);
  struct KnownName {
    std::string name;
    const CElements::Ptr* definition = nullptr;
    bool set = false;
  };
  std::array<KnownName, 256> known_names_;
};

}  // namespace tavjit::detail
