// The state and private operations behind CTavJIT.
#pragma once

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
  std::string decoded_;  // the walk's buffer for decoded values

  std::vector<MessageHandler> error_handlers;
  std::vector<MessageHandler> warning_handlers;
  std::vector<DiagnosticHandler> diagnostic_handlers;

  // The generator frame; the document walk lists elements into it.
  ScriptBuilder script{[this](const std::string& msg, uint32_t line) { SetErrMsg(msg, line); }};

  // Set while the lint is on; it watches the elements the builder lists.
  std::unique_ptr<lint::Linter> linter;
  std::vector<LintFinding> lint_findings;

  Impl() { catalogue.Clear(); }

  void EnableLint(bool on);
  const std::string& CurrentText();

  bool Execute(const std::string& sFileName);
  bool ExecuteFromBytes(std::string_view document);
  // What both start with: refuses before Init, forgets the last outcome.
  void Begin();
  // Everything Execute does once the file's bytes are read.
  bool Compile(std::string bytes);

  // The error-reporting routine: stores the message and raises ErrorMessage.
  void SetErrMsg(const std::string& msg, uint32_t line = 0);
  void RaiseWarning(const std::string& msg, uint32_t line = 0);

  bool CheckIfValid(const xml::Document& doc);
  bool PopulateDoc(xml::Node parent);
};

}  // namespace tavjit::detail
