// The C interface: a handle around CTavJIT that turns every exception into a
// result code, so that none reaches a C caller.
#include "tavjit/tavjit.h"

#include <new>
#include <string>

#include "tavjit/tavjit.hpp"

struct tavjit_compiler {
  tavjit::CTavJIT jit;
  int32_t error_number = 0;
  std::string error_source, error_description;
};

namespace {

// Out of memory and anything unexpected are reported like a raised error.
constexpr int32_t kUnexpected = static_cast<int32_t>(0x8000FFFFu);
constexpr int32_t kOutOfMemory = static_cast<int32_t>(0x8007000Eu);

void Raise(tavjit_compiler* c, int32_t number, const char* source, const char* description) {
  c->error_number = number;
  try {
    c->error_source = source;
    c->error_description = description;
  } catch (...) {
    c->error_source.clear();
    c->error_description.clear();
  }
}

// Runs a call, turning what it throws into TAVJIT_RAISED.
template <class F>
int Calling(tavjit_compiler* c, const char* source, F&& call) {
  if (!c) return TAVJIT_FAILED;
  try {
    return call() ? TAVJIT_OK : TAVJIT_FAILED;
  } catch (const tavjit::ExecuteError& e) {
    Raise(c, e.Number(), e.Source().c_str(), e.Description().c_str());
  } catch (const std::bad_alloc&) {
    Raise(c, kOutOfMemory, source, "Out of memory");
  } catch (const std::exception& e) {
    Raise(c, kUnexpected, source, e.what());
  } catch (...) {
    Raise(c, kUnexpected, source, "Unexpected failure");
  }
  return TAVJIT_RAISED;
}

template <class T, class F>
T Reading(const tavjit_compiler* c, T fallback, F&& read) {
  if (!c) return fallback;
  try {
    return read();
  } catch (...) {
    return fallback;
  }
}

int SeverityCode(tavjit::Severity s) {
  switch (s) {
    case tavjit::Severity::Error: return TAVJIT_ERROR;
    case tavjit::Severity::Warning: return TAVJIT_WARNING;
    case tavjit::Severity::Note: return TAVJIT_NOTE;
  }
  return -1;
}

const tavjit::Explanation* ExplanationAt(const tavjit_compiler* c, size_t i) {
  if (!c || i >= c->jit.Explanations().size()) return nullptr;
  return &c->jit.Explanations()[i];
}

}  // namespace

extern "C" {

tavjit_compiler* tavjit_create(void) {
  try {
    return new tavjit_compiler();
  } catch (...) {
    return nullptr;
  }
}

void tavjit_destroy(tavjit_compiler* c) { delete c; }

int tavjit_init(tavjit_compiler* c, const char* action_file) {
  return Calling(c, "TAVJIT::Init", [&] {
    c->jit.Init(action_file ? action_file : "");
    return true;
  });
}

int tavjit_init_default(tavjit_compiler* c) {
  return Calling(c, "TAVJIT::Init", [&] {
    c->jit.InitDefault();
    return true;
  });
}

size_t tavjit_catalogue_count(const tavjit_compiler* c) {
  return c ? c->jit.LastInit().elements : 0;
}
const char* tavjit_init_problem(const tavjit_compiler* c) {
  return c ? c->jit.LastInit().problem.c_str() : "";
}

void tavjit_set_carry_over(tavjit_compiler* c, int on) {
  Calling(c, "TAVJIT::SetCarryOver", [&] {
    c->jit.SetCarryOver(on != 0);
    return true;
  });
}

int tavjit_execute(tavjit_compiler* c, const char* file_name) {
  return Calling(c, "TAVJIT::Execute",
                 [&] { return c->jit.Execute(file_name ? file_name : ""); });
}

int tavjit_execute_bytes(tavjit_compiler* c, const char* data, size_t size) {
  return Calling(c, "TAVJIT::Execute", [&] {
    return c->jit.ExecuteFromBytes(data ? std::string_view(data, size) : std::string_view());
  });
}

// Inside a handler the script is put together when first read, which can
// run out of memory.
const char* tavjit_text(const tavjit_compiler* c) {
  return Reading(c, "", [&] { return c->jit.Text().c_str(); });
}
size_t tavjit_text_length(const tavjit_compiler* c) {
  return Reading(c, size_t{0}, [&] { return c->jit.Text().size(); });
}
const char* tavjit_errmsg(const tavjit_compiler* c) { return c ? c->jit.ErrMsg().c_str() : ""; }

int32_t tavjit_error_number(const tavjit_compiler* c) { return c ? c->error_number : 0; }
const char* tavjit_error_source(const tavjit_compiler* c) {
  return c ? c->error_source.c_str() : "";
}
const char* tavjit_error_description(const tavjit_compiler* c) {
  return c ? c->error_description.c_str() : "";
}

int tavjit_on_error_message(tavjit_compiler* c, tavjit_message_fn fn, void* user) {
  if (!fn) return TAVJIT_FAILED;
  return Calling(c, "TAVJIT::OnErrorMessage", [&] {
    c->jit.OnErrorMessage([fn, user](const std::string& m) { fn(user, m.c_str()); });
    return true;
  });
}

int tavjit_on_warning_message(tavjit_compiler* c, tavjit_message_fn fn, void* user) {
  if (!fn) return TAVJIT_FAILED;
  return Calling(c, "TAVJIT::OnWarningMessage", [&] {
    c->jit.OnWarningMessage([fn, user](const std::string& m) { fn(user, m.c_str()); });
    return true;
  });
}

int tavjit_on_diagnostic(tavjit_compiler* c, tavjit_diagnostic_fn fn, void* user) {
  if (!fn) return TAVJIT_FAILED;
  return Calling(c, "TAVJIT::OnDiagnostic", [&] {
    c->jit.OnDiagnostic([fn, user](const tavjit::Diagnostic& d) {
      fn(user, d.kind == tavjit::Diagnostic::Kind::Warning ? TAVJIT_WARNING : TAVJIT_ERROR,
         d.message.c_str(), d.line.value_or(0));
    });
    return true;
  });
}

void tavjit_enable_lint(tavjit_compiler* c, int on) {
  Calling(c, "TAVJIT::EnableLint", [&] {
    c->jit.EnableLint(on != 0);
    return true;
  });
}

size_t tavjit_lint_count(const tavjit_compiler* c) { return c ? c->jit.LintFindings().size() : 0; }

const char* tavjit_lint_message(const tavjit_compiler* c, size_t i) {
  if (!c || i >= c->jit.LintFindings().size()) return "";
  return c->jit.LintFindings()[i].message.c_str();
}

uint32_t tavjit_lint_line(const tavjit_compiler* c, size_t i) {
  if (!c || i >= c->jit.LintFindings().size()) return 0;
  return c->jit.LintFindings()[i].line.value_or(0);
}

uint32_t tavjit_lint_column(const tavjit_compiler* c, size_t i) {
  if (!c || i >= c->jit.LintFindings().size()) return 0;
  return c->jit.LintFindings()[i].column.value_or(0);
}

int tavjit_lint_severity(const tavjit_compiler* c, size_t i) {
  if (!c || i >= c->jit.LintFindings().size()) return -1;
  return SeverityCode(c->jit.LintFindings()[i].severity);
}

void tavjit_enable_explanations(tavjit_compiler* c, int on) {
  Calling(c, "TAVJIT::EnableExplanations", [&] {
    c->jit.EnableExplanations(on != 0);
    return true;
  });
}

size_t tavjit_explanation_count(const tavjit_compiler* c) {
  return c ? c->jit.Explanations().size() : 0;
}

int tavjit_explanation_severity(const tavjit_compiler* c, size_t i) {
  const tavjit::Explanation* e = ExplanationAt(c, i);
  return e ? SeverityCode(e->severity) : -1;
}

size_t tavjit_explanation_event(const tavjit_compiler* c, size_t i) {
  const tavjit::Explanation* e = ExplanationAt(c, i);
  return e && e->event ? *e->event + 1 : 0;
}

const char* tavjit_explanation_message(const tavjit_compiler* c, size_t i) {
  const tavjit::Explanation* e = ExplanationAt(c, i);
  return e ? e->message.c_str() : "";
}

uint32_t tavjit_explanation_line(const tavjit_compiler* c, size_t i) {
  const tavjit::Explanation* e = ExplanationAt(c, i);
  return e ? e->line.value_or(0) : 0;
}

uint32_t tavjit_explanation_column(const tavjit_compiler* c, size_t i) {
  const tavjit::Explanation* e = ExplanationAt(c, i);
  return e ? e->column.value_or(0) : 0;
}

const char* tavjit_version(void) { return tavjit::Version(); }

}  // extern "C"
