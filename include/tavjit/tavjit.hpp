// tavjit: compiles TAV macro documents into VBScript text.
//
//   tavjit::CTavJIT jit;
//   jit.OnWarningMessage([](const std::string& m) { ... });
//   jit.Init("catalogue.tavcat");          // or jit.InitDefault();
//   if (jit.Execute("macro.tav")) use(jit.Text()); else report(jit.ErrMsg());
//
// Every call runs on the caller's thread; events are delivered synchronously,
// in the order raised, before Execute goes on; a handler that reads Text
// sees the script of the last generator run that completed.
//
// Handlers may read anything and register more handlers (those are called
// from the next event on). Execute and Init called from a handler while the
// same instance compiles are refused: they throw ExecuteError with
// kErrorBusy, and the compile goes on. A handler must not destroy or move
// the instance it handles. An exception a handler throws leaves Execute;
// the next compile starts clean all the same.
//
// One instance serves one thread at a time; separate instances compile on
// separate threads at once. The library leaves a host's own libxml2
// settings alone. The process's locale changes nothing: numbers are read
// and written the same under any. Needs C++17.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

// On Windows only the library's DLL marks its interface for export; programs
// reach it through the import library.
#if defined(_WIN32) && defined(TAVJIT_BUILD_DLL)
#define TAVJIT_API __declspec(dllexport)
#elif defined(_WIN32)
#define TAVJIT_API
#else
#define TAVJIT_API __attribute__((visibility("default")))
#endif

namespace tavjit {

// Numbers of the errors raised to the caller.
inline constexpr int32_t kErrorInitNotCalled = static_cast<int32_t>(0x80040066u);
inline constexpr int32_t kErrorBusy = static_cast<int32_t>(0x80040067u);

// Raised by Execute when Init has not been called (kErrorInitNotCalled), and
// by Execute and Init called from a handler of a compile (kErrorBusy).
class TAVJIT_API ExecuteError : public std::runtime_error {
 public:
  ExecuteError(int32_t number, std::string source, std::string description);
  // 0x80040066 as a signed 32-bit value.
  int32_t Number() const noexcept { return number_; }
  const std::string& Source() const noexcept { return source_; }
  const std::string& Description() const noexcept { return description_; }

 private:
  int32_t number_;
  std::string source_, description_;
};

// Places in a document: lines are 1-based; columns are 1-based and count
// bytes of the line's UTF-8 text (after a byte order mark on the first line).
// An element's place is that of the '<' of its start tag.

// One event with the place it concerns, for hosts that want places.
struct Diagnostic {
  enum class Kind { Warning, Error };
  Kind kind;
  std::string message;
  std::optional<uint32_t> line;  // 1-based line of the document, if known
  std::optional<uint32_t> column;
};

// What a diagnostic beside the events means for the file: an error fails it,
// a warning says the script will fail when it runs, a note explains.
enum class Severity { Error, Warning, Note };

// A lint finding: a compiled document whose script will not run, or will
// do something other than its author meant.
struct LintFinding {
  std::optional<uint32_t> line;  // 1-based line of the element concerned, if known
  std::string message;           // names the element, the consequence and the fix
  std::optional<uint32_t> column;
  // Warning: the script stops or is refused when it runs; Note otherwise.
  Severity severity = Severity::Note;
};

// What one listed element yields: its part of the script.
struct ScriptBlock {
  uint32_t line = 0;    // 1-based line of the element's start tag; 0 when unknown
  std::string element;  // the element's name as the catalogue writes it
  std::string block;    // its lines of the script, each with its CR LF
};

// tavjit's own account of an outcome, beside the events: what the specified
// messages leave unsaid. A note belongs to the event it explains (where the
// document is not well-formed, what a value may be, a name that is close);
// an error stands alone for a failure that raises no event (a root without
// edition, running out of memory). A compile that returns false always
// leaves at least one explanation when they are on.
struct Explanation {
  using Severity = tavjit::Severity;
  Severity severity;
  std::string message;
  std::optional<uint32_t> line;
  std::optional<uint32_t> column;
  // The event explained: its index among the events of the compile, errors
  // and warnings counted together in the order raised; none when the
  // explanation stands alone.
  std::optional<size_t> event;
};

// What the last Init found: Init itself reports nothing, and a catalogue
// that did not load leaves the earlier one in place.
struct InitOutcome {
  size_t elements = 0;  // definitions in the catalogue now
  std::string problem;  // why the catalogue given did not load; empty when it did
};

namespace detail {
struct Impl;  // the library's own state behind CTavJIT
}

class TAVJIT_API CTavJIT {
 public:
  using MessageHandler = std::function<void(const std::string& msg)>;
  using DiagnosticHandler = std::function<void(const Diagnostic&)>;

  CTavJIT();
  ~CTavJIT();
  CTavJIT(CTavJIT&&) noexcept;
  CTavJIT& operator=(CTavJIT&&) noexcept;
  CTavJIT(const CTavJIT&) = delete;
  CTavJIT& operator=(const CTavJIT&) = delete;

  // The script of the last generator run that completed.
  const std::string& Text() const;
  // The last error message; empty after a successful Execute.
  const std::string& ErrMsg() const;
  // Compiles the document in sFileName. Returns false on failure, with the
  // message in ErrMsg. Throws ExecuteError before Init.
  bool Execute(const std::string& sFileName);
  // Compiles a document held in memory (the bytes its file would hold), as
  // Execute compiles a file: an editor can compile the buffer it shows.
  bool ExecuteFromBytes(std::string_view document);
  // Loads the element catalogue from a catalogue file. A missing or
  // unreadable file is not reported: the catalogue keeps what it held.
  void Init(const std::string& sActionFile);
  // Loads the built-in default catalogue instead of a file.
  void InitDefault();
  // Loads a catalogue from catalogue-file bytes already in memory.
  void InitFromBytes(const std::string& bytes);
  const InitOutcome& LastInit() const;

  // Attribute values a document writes into the catalogue carry over to the
  // elements of later documents that leave them out (on by default, as the
  // compiler is specified). Off: every Execute starts from the catalogue's
  // values as Init loaded them, as if the document were compiled alone.
  void SetCarryOver(bool on);

  // Event handlers; several may be registered, each is called in turn.
  void OnErrorMessage(MessageHandler handler);
  void OnWarningMessage(MessageHandler handler);
  // The same events with the document line they concern.
  void OnDiagnostic(DiagnosticHandler handler);

  // Turns the lint on or off (off by default) from the next Execute on. It
  // never changes Text, ErrMsg, the result of Execute or the events.
  void EnableLint(bool on);
  // The findings of the last Execute, in document order: empty when the
  // lint is off or Execute returned false (only a compiled script is linted).
  const std::vector<LintFinding>& LintFindings() const;

  // Turns on or off the recording of what each listed element yields (off
  // by default; it costs nothing then). Like the lint, it changes nothing
  // the compile produces.
  void RecordScriptBlocks(bool on);
  // The blocks of the last Execute, in list order (with the endif and endloop
  // the compile adds). After a compile that succeeded they are the lines of
  // Text, variables spliced in; after one that failed, the blocks of the
  // elements listed before the failure, as the generator wrote them.
  const std::vector<ScriptBlock>& ScriptBlocks() const;
  // Explanations of the last Execute, when turned on (off by default: then
  // none are gathered).
  void EnableExplanations(bool on);
  const std::vector<Explanation>& Explanations() const;

 private:
  // A moved-from instance is as a new one: it builds its state again.
  detail::Impl& State();
  std::unique_ptr<detail::Impl> impl_;
};

// The library's version, "MAJOR.MINOR.PATCH".
TAVJIT_API const char* Version();

}  // namespace tavjit
