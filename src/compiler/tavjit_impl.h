// The state and private operations behind CTavJIT.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "catalogue/records.h"
#include "compiler/xml_document.h"
#include "tavjit/tavjit.hpp"

namespace tavjit {

struct CTavJIT::Impl {
  std::string err_msg;
  std::string text;
  CElements catalogue;
  CElements doc_list;
  CVariables variables;
  bool initialised = false;

  std::vector<MessageHandler> error_handlers;
  std::vector<MessageHandler> warning_handlers;
  std::vector<DiagnosticHandler> diagnostic_handlers;

  // Smallest n for which K1 .. K(n-1) are known to be in doc_list; the list
  // only grows between two clears, so the search for a free key resumes here.
  int32_t unique_key_hint = 1;

  Impl() {
    catalogue.Clear();
    ClearDocList();
  }

  bool Execute(const std::string& sFileName);

  // The error-reporting routine: stores the message and raises ErrorMessage.
  void SetErrMsg(const std::string& msg, uint32_t line = 0);
  void RaiseWarning(const std::string& msg, uint32_t line = 0);

  bool CheckIfValid(const xml::Document& doc);
  bool PopulateDoc(xml::Node parent);
  std::string GetUniqueKey();
  bool CreateScript();

  void ClearDocList() {
    doc_list.Clear();
    unique_key_hint = 1;
  }
};

}  // namespace tavjit
