// CTavJIT: the public class, Init and the compile driver Execute.
#include "tavjit/tavjit.hpp"

#include "catalogue/default_catalogue.h"
#include "compiler/tavjit_impl.h"
#include "support/files.h"
#include "compiler/messages.h"

namespace tavjit {

ExecuteError::ExecuteError(int32_t number, std::string source, std::string description)
    : std::runtime_error(description),
      number_(number),
      source_(std::move(source)),
      description_(std::move(description)) {}

const char* Version() { return TAVJIT_VERSION; }

CTavJIT::CTavJIT() : impl_(std::make_unique<detail::Impl>()) {}
CTavJIT::~CTavJIT() = default;
CTavJIT::CTavJIT(CTavJIT&&) noexcept = default;
CTavJIT& CTavJIT::operator=(CTavJIT&&) noexcept = default;

const std::string& CTavJIT::Text() const { return impl_->CurrentText(); }
const std::string& CTavJIT::ErrMsg() const { return impl_->err_msg; }

void CTavJIT::Init(const std::string& sActionFile) {
  impl_->catalogue.LoadFile(sActionFile);
  impl_->initialised = true;
}

void CTavJIT::InitDefault() { InitFromBytes(std::string(DefaultCatalogueBytes())); }

void CTavJIT::InitFromBytes(const std::string& bytes) {
  impl_->catalogue.LoadBytes(bytes);
  impl_->initialised = true;
}

bool CTavJIT::Execute(const std::string& sFileName) { return impl_->Execute(sFileName); }
bool CTavJIT::ExecuteFromBytes(std::string_view document) {
  return impl_->ExecuteFromBytes(document);
}

void CTavJIT::OnErrorMessage(MessageHandler handler) {
  impl_->error_handlers.push_back(std::move(handler));
}
void CTavJIT::OnWarningMessage(MessageHandler handler) {
  impl_->warning_handlers.push_back(std::move(handler));
}
void CTavJIT::OnDiagnostic(DiagnosticHandler handler) {
  impl_->diagnostic_handlers.push_back(std::move(handler));
}

void CTavJIT::EnableLint(bool on) { impl_->EnableLint(on); }
const std::vector<LintFinding>& CTavJIT::LintFindings() const { return impl_->lint_findings; }

void detail::Impl::EnableLint(bool on) {
  if (on == static_cast<bool>(linter)) return;
  if (on) {
    linter = std::make_unique<lint::Linter>();
    script.SetObserver([this](const CElement& element, uint32_t line, std::string_view block) {
      linter->Observe(element, line, block);
    });
  } else {
    script.SetObserver(nullptr);
    linter.reset();
  }
}

// A run writes Text when it completes; building the script is deferred
// until a handler in the middle of a compile looks at it.
const std::string& detail::Impl::CurrentText() {
  if (script.CompletedRuns() != text_runs) {
    text = script.Script();
    text_runs = script.CompletedRuns();
  }
  return text;
}

static std::optional<uint32_t> LineOrNone(uint32_t line) {
  if (line == 0) return std::nullopt;
  return line;
}

void detail::Impl::SetErrMsg(const std::string& msg, uint32_t line) {
  err_msg = msg;
  for (auto& h : error_handlers) h(msg);
  for (auto& h : diagnostic_handlers) h(Diagnostic{Diagnostic::Kind::Error, msg, LineOrNone(line)});
}

void detail::Impl::RaiseWarning(const std::string& msg, uint32_t line) {
  for (auto& h : warning_handlers) h(msg);
  for (auto& h : diagnostic_handlers) h(Diagnostic{Diagnostic::Kind::Warning, msg, LineOrNone(line)});
}

void detail::Impl::Begin() {
  lint_findings.clear();
  if (!initialised)
    throw ExecuteError(msg::kInitNotCalledNumber, msg::kExecuteSource, msg::kInitNotCalled);
  err_msg.clear();
}

bool detail::Impl::ExecuteFromBytes(std::string_view document) {
  Begin();
  return Compile(std::string(document));
}

bool detail::Impl::Execute(const std::string& sFileName) {
  Begin();
  std::string bytes;
  switch (ReadWholeFile(sFileName, &bytes)) {
    case ReadStatus::Missing:
      SetErrMsg(msg::kFileDoesNotExist);
      return false;
    case ReadStatus::Unreadable:
      SetErrMsg(msg::kUnableToRead);
      return false;
    case ReadStatus::Ok:
      break;
  }
  return Compile(std::move(bytes));
}

bool detail::Impl::Compile(std::string bytes) {
  script.Reset(bytes.size());
  std::unique_ptr<xml::Document> doc = xml::Document::Parse(bytes);
  std::string().swap(bytes);  // the arena holds what is needed
  if (!doc) {
    SetErrMsg(msg::kNotWellFormed);
    return false;
  }
  const bool result = CheckIfValid(*doc);
  doc.reset();  // the script needs the memory more
  // Text changes only where a generator run completed.
  if (script.CompletedRuns() != text_runs) text = script.TakeScript();
  script.Reset();
  text_runs = 0;
  if (linter) {
    if (result)
      lint_findings = linter->Finish(text);
    else
      linter->Reset();
  }
  return result;
}

}  // namespace tavjit
