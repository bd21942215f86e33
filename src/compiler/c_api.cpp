// The C interface: a handle around CTavJIT that turns every exception into a
// result code.
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
  c->error_source = source;
  c->error_description = description;
}

// Runs an Execute, turning what it throws into TAVJIT_RAISED.
template <class F>
int Executing(tavjit_compiler* c, F&& execute) {
  if (!c) return TAVJIT_FAILED;
  try {
    return execute() ? TAVJIT_OK : TAVJIT_FAILED;
  } catch (const tavjit::ExecuteError& e) {
    Raise(c, e.Number(), e.Source().c_str(), e.Description().c_str());
  } catch (const std::bad_alloc&) {
    Raise(c, kOutOfMemory, "TAVJIT::Execute", "Out of memory");
  } catch (const std::exception& e) {
    Raise(c, kUnexpected, "TAVJIT::Execute", e.what());
  } catch (...) {
    Raise(c, kUnexpected, "TAVJIT::Execute", "Unexpected failure");
  }
  return TAVJIT_RAISED;
}

}  // namespace

extern "C" {

tavjit_compiler* tavjit_create(void) {
  return new (std::nothrow) tavjit_compiler();
}

void tavjit_destroy(tavjit_compiler* c) { delete c; }

void tavjit_init(tavjit_compiler* c, const char* action_file) {
  if (!c) return;
  try {
    c->jit.Init(action_file ? action_file : "");
  } catch (...) {
  }
}

void tavjit_init_default(tavjit_compiler* c) {
  if (!c) return;
  try {
    c->jit.InitDefault();
  } catch (...) {
  }
}

int tavjit_execute(tavjit_compiler* c, const char* file_name) {
  return Executing(c, [&] { return c->jit.Execute(file_name ? file_name : ""); });
}

int tavjit_execute_bytes(tavjit_compiler* c, const char* data, size_t size) {
  return Executing(c, [&] {
    return c->jit.ExecuteFromBytes(data ? std::string_view(data, size) : std::string_view());
  });
}

const char* tavjit_text(const tavjit_compiler* c) { return c ? c->jit.Text().c_str() : ""; }
size_t tavjit_text_length(const tavjit_compiler* c) { return c ? c->jit.Text().size() : 0; }
const char* tavjit_errmsg(const tavjit_compiler* c) { return c ? c->jit.ErrMsg().c_str() : ""; }

int32_t tavjit_error_number(const tavjit_compiler* c) { return c ? c->error_number : 0; }
const char* tavjit_error_source(const tavjit_compiler* c) {
  return c ? c->error_source.c_str() : "";
}
const char* tavjit_error_description(const tavjit_compiler* c) {
  return c ? c->error_description.c_str() : "";
}

// A C callback must not see an exception, and a handler registration that
// runs out of memory is dropped rather than thrown.
void tavjit_on_error_message(tavjit_compiler* c, tavjit_message_fn fn, void* user) {
  if (!c || !fn) return;
  try {
    c->jit.OnErrorMessage([fn, user](const std::string& m) { fn(user, m.c_str()); });
  } catch (...) {
  }
}

void tavjit_on_warning_message(tavjit_compiler* c, tavjit_message_fn fn, void* user) {
  if (!c || !fn) return;
  try {
    c->jit.OnWarningMessage([fn, user](const std::string& m) { fn(user, m.c_str()); });
  } catch (...) {
  }
}

void tavjit_on_diagnostic(tavjit_compiler* c, tavjit_diagnostic_fn fn, void* user) {
  if (!c || !fn) return;
  try {
    c->jit.OnDiagnostic([fn, user](const tavjit::Diagnostic& d) {
      fn(user, d.kind == tavjit::Diagnostic::Kind::Warning ? TAVJIT_WARNING : TAVJIT_ERROR,
         d.message.c_str(), d.line.value_or(0));
    });
  } catch (...) {
  }
}

void tavjit_enable_lint(tavjit_compiler* c, int on) {
  if (!c) return;
  try {
    c->jit.EnableLint(on != 0);
  } catch (...) {
  }
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

const char* tavjit_version(void) { return tavjit::Version(); }

}  // extern "C"
