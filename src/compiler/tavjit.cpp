// CTavJIT: the public class, Init and the compile driver Execute.
#include "tavjit/tavjit.hpp"

#include <new>

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

detail::Impl& CTavJIT::State() {
  if (!impl_) impl_ = std::make_unique<detail::Impl>();
  return *impl_;
}

namespace {

const std::string& NoText() {
  static const std::string empty;
  return empty;
}

}  // namespace

const std::string& CTavJIT::Text() const { return impl_ ? impl_->CurrentText() : NoText(); }
const std::string& CTavJIT::ErrMsg() const { return impl_ ? impl_->err_msg : NoText(); }

void CTavJIT::Init(const std::string& sActionFile) {
  detail::Impl& s = State();
  s.RefuseWhileCompiling(msg::kInitSource);
  s.Init(s.catalogue.LoadFile(sActionFile), "'" + sActionFile + "'");
}

void CTavJIT::InitDefault() {
  detail::Impl& s = State();
  s.RefuseWhileCompiling(msg::kInitSource);
  s.Init(s.catalogue.LoadBytes(DefaultCatalogueBytes()), "the built-in catalogue");
}

void CTavJIT::InitFromBytes(const std::string& bytes) {
  detail::Impl& s = State();
  s.RefuseWhileCompiling(msg::kInitSource);
  s.Init(s.catalogue.LoadBytes(bytes), "the catalogue given");
}

const InitOutcome& CTavJIT::LastInit() const {
  static const InitOutcome none;
  return impl_ ? impl_->last_init : none;
}

void CTavJIT::SetCarryOver(bool on) { State().carry_over = on; }

bool CTavJIT::Execute(const std::string& sFileName) { return State().Execute(sFileName); }
bool CTavJIT::ExecuteFromBytes(std::string_view document) {
  return State().ExecuteFromBytes(document);
}

void CTavJIT::OnErrorMessage(MessageHandler handler) {
  State().error_handlers.push_back(std::move(handler));
}
void CTavJIT::OnWarningMessage(MessageHandler handler) {
  State().warning_handlers.push_back(std::move(handler));
}
void CTavJIT::OnDiagnostic(DiagnosticHandler handler) {
  State().diagnostic_handlers.push_back(std::move(handler));
}

void CTavJIT::EnableLint(bool on) { State().lint_wanted = on; }
const std::vector<LintFinding>& CTavJIT::LintFindings() const {
  static const std::vector<LintFinding> none;
  return impl_ ? impl_->lint_findings : none;
}

void CTavJIT::EnableExplanations(bool on) { State().explain = on; }
const std::vector<Explanation>& CTavJIT::Explanations() const {
  static const std::vector<Explanation> none;
  return impl_ ? impl_->explanations : none;
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

namespace {

std::string InitProblem(LoadOutcome outcome, const std::string& source) {
  switch (outcome) {
    case LoadOutcome::kLoaded: return {};
    case LoadOutcome::kMissing: return "no file named " + source;
    case LoadOutcome::kUnreadable: return "cannot read " + source;
    case LoadOutcome::kNotCatalogue: return source + " is not a catalogue file";
    case LoadOutcome::kNoElements: return source + " holds no elements";
    case LoadOutcome::kOutOfMemory: return "out of memory while loading " + source;
  }
  return {};
}

// The texts and values a compile may write into the catalogue.
std::vector<std::string> ValuesOf(const CElements& catalogue) {
  std::vector<std::string> values;
  for (const auto& e : catalogue) {
    values.push_back(e->Text());
    for (const auto& a : e->Attributes()) values.push_back(a->Value());
  }
  return values;
}

void PutValuesBack(CElements& catalogue, const std::vector<std::string>& values) {
  size_t i = 0;
  for (const auto& e : catalogue) {
    if (i == values.size()) return;
    e->SetText(std::string_view(values[i++]));
    for (const auto& a : e->Attributes()) {
      if (i == values.size()) return;
      a->SetValue(std::string_view(values[i++]));
    }
  }
}

}  // namespace

void detail::Impl::Init(LoadOutcome outcome, const std::string& source) {
  initialised = true;
  script.ForgetDefinitions();
  if (linter) linter->ForgetDefinitions();
  last_init.problem = InitProblem(outcome, source);
  last_init.elements = static_cast<size_t>(catalogue.Count());
  if (outcome == LoadOutcome::kLoaded || outcome == LoadOutcome::kNoElements) {
    loaded_values = ValuesOf(catalogue);
    loaded_at.clear();
    size_t i = 0;
    for (const auto& e : catalogue) {
      loaded_at.emplace(e.get(), i);
      i += 1 + static_cast<size_t>(e->Attributes().Count());
    }
    written_.assign(loaded_values.size(), {});
  } else if (outcome == LoadOutcome::kOutOfMemory) {
    // Part of a catalogue, perhaps: no value stands where loading put it.
    loaded_at.clear();
    written_.clear();
  }
}

void detail::Impl::RefuseWhileCompiling(const char* source) const {
  if (compiling) throw ExecuteError(kErrorBusy, source, msg::kBusy);
}

static std::optional<uint32_t> OrNone(uint32_t n) {
  if (n == 0) return std::nullopt;
  return n;
}

// Handlers registered by a handler are called from the next event on.
void detail::Impl::SetErrMsg(const std::string& msg, Place place) {
  err_msg = msg;
  ++events;
  for (size_t i = 0, n = error_handlers.size(); i < n; ++i) error_handlers[i](msg);
  if (diagnostic_handlers.empty()) return;
  const Diagnostic d{Diagnostic::Kind::Error, msg, OrNone(place.line), OrNone(place.column)};
  for (size_t i = 0, n = diagnostic_handlers.size(); i < n; ++i) diagnostic_handlers[i](d);
}

void detail::Impl::RaiseWarning(const std::string& msg, Place place) {
  ++events;
  for (size_t i = 0, n = warning_handlers.size(); i < n; ++i) warning_handlers[i](msg);
  if (diagnostic_handlers.empty()) return;
  const Diagnostic d{Diagnostic::Kind::Warning, msg, OrNone(place.line), OrNone(place.column)};
  for (size_t i = 0, n = diagnostic_handlers.size(); i < n; ++i) diagnostic_handlers[i](d);
}

void detail::Impl::Explain(Severity severity, std::string message, Place place) {
  if (explain)
    explanations.push_back(
        {severity, std::move(message), OrNone(place.line), OrNone(place.column), std::nullopt});
}

void detail::Impl::Note(std::string message, Place place) {
  if (explain && events > 0)
    explanations.push_back({Severity::Note, std::move(message), OrNone(place.line),
                            OrNone(place.column), events - 1});
}

void detail::Impl::ReportCheck(const ScriptBuilder::Failure& failure) {
  if (failure.message) {
    SetErrMsg(*failure.message, failure.place);
    Note(failure.detail, failure.place);
  } else {
    Explain(Severity::Error, failure.detail, failure.place);
  }
}

namespace {

// Marks the instance busy for one compile and finishes the compile however
// it ends, an exception from a handler included.
class CompileScope {
 public:
  explicit CompileScope(detail::Impl& impl) : impl_(impl) { impl_.compiling = true; }
  ~CompileScope() {
    impl_.Finish(result);
    impl_.compiling = false;
  }
  CompileScope(const CompileScope&) = delete;
  CompileScope& operator=(const CompileScope&) = delete;
  bool result = false;

 private:
  detail::Impl& impl_;
};

}  // namespace

void detail::Impl::Begin() {
  RefuseWhileCompiling(msg::kExecuteSource);
  lint_findings.clear();
  script_blocks.clear();
  explanations.clear();
  events = 0;
  name_notes.clear();
  compile_start_ = walked_;
  carried_.clear();
  carried_text_.clear();
  if (!initialised)
    throw ExecuteError(kErrorInitNotCalled, msg::kExecuteSource, msg::kInitNotCalled);
  err_msg.clear();
  if (!carry_over) PutValuesBack(catalogue, loaded_values);
  if (lint_wanted != static_cast<bool>(linter)) {
    if (lint_wanted)
      linter = std::make_unique<lint::Linter>();
    else
      linter.reset();
  }
  WatchElements();
}

bool detail::Impl::ExecuteFromBytes(std::string_view document) {
  Begin();
  return Compile(std::string(document));
}

bool detail::Impl::Execute(const std::string& sFileName) {
  Begin();
  std::string bytes;
  const ReadStatus read = ReadWholeFile(sFileName, &bytes);
  if (read != ReadStatus::Ok) {
    CompileScope scope(*this);
    if (read == ReadStatus::OutOfMemory) Explain(Severity::Error, msg::kOutOfMemory);
    SetErrMsg(read == ReadStatus::Missing ? msg::kFileDoesNotExist : msg::kUnableToRead);
    if (read != ReadStatus::OutOfMemory && explain)
      Note(read == ReadStatus::Missing
               ? "there is no file at '" + sFileName + "' (or it is a directory)"
               : "'" + sFileName + "' cannot be opened or read, or is not a regular file");
    return false;
  }
  return Compile(std::move(bytes));
}

bool detail::Impl::Compile(std::string bytes) {
  CompileScope scope(*this);
  for (KnownName& k : known_names_) k.set = false;  // Init may have replaced the definitions
  try {
    script.Reset(bytes.size());
    bool out_of_memory = false;
    std::vector<xml::Problem> problems;
    std::unique_ptr<xml::Document> doc =
        xml::Document::Parse(bytes, &out_of_memory, explain ? &problems : nullptr);
    std::string().swap(bytes);  // the arena holds what is needed
    if (!doc) {
      if (out_of_memory) Explain(Severity::Error, msg::kOutOfMemory);
      // The event takes the place of the first finding.
      SetErrMsg(msg::kNotWellFormed, problems.empty() ? Place{} : problems.front().place);
      for (xml::Problem& p : problems) Note(std::move(p.reason), p.place);
      if (!out_of_memory && problems.empty())
        Note("the XML parser refused the document without saying where");
      return false;
    }
    scope.result = CheckIfValid(*doc);
  } catch (const std::bad_alloc&) {
    // As a failure that escapes a step: the result is False and ErrMsg
    // keeps what it held.
    Explain(Severity::Error, msg::kOutOfMemory);
  }
  return scope.result;
}

void detail::Impl::Finish(bool result) noexcept {
  try {
    // Text changes only where a generator run completed.
    if (script.CompletedRuns() != text_runs) text = script.TakeScript();
  } catch (...) {
    // Out of memory: Text keeps the script of the run before.
  }
  script.Reset();
  text_runs = 0;
  FinishScriptBlocks(result);
  if (!linter) return;
  try {
    if (result) {
      MakeCarriedNotes();
      lint_findings = linter->Finish(text);
    }
    linter->Reset();
  } catch (...) {
    // Out of memory: no findings, and a fresh lint at the next compile.
    lint_findings.clear();
    linter.reset();
    WatchElements();
  }
}

}  // namespace tavjit
