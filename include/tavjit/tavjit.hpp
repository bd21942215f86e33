// tavjit: compiles TAV macro documents into VBScript text.
//
//   tavjit::CTavJIT jit;
//   jit.OnWarningMessage([](const std::string& m) { ... });
//   jit.Init("catalogue.tavcat");          // or jit.InitDefault();
//   if (jit.Execute("macro.tav")) use(jit.Text()); else report(jit.ErrMsg());
//
// Every call runs on the caller's thread; events are delivered synchronously,
// in the order raised, before Execute goes on; a handler that reads Text
// sees the script of the last generator run that completed. An instance is
// not meant to be shared between threads. The process's locale changes
// nothing: numbers are read and written the same under any.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#if defined(_WIN32)
#define TAVJIT_API __declspec(dllexport)
#else
#define TAVJIT_API __attribute__((visibility("default")))
#endif

namespace tavjit {

// Raised by Execute when Init has not been called.
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

// One event with the source line it concerns, for hosts that want lines.
struct Diagnostic {
  enum class Kind { Warning, Error };
  Kind kind;
  std::string message;
  std::optional<uint32_t> line;  // 1-based line of the document, if known
};

// A lint finding: a compiled document whose script will not run, or will
// do something other than its author meant.
struct LintFinding {
  std::optional<uint32_t> line;  // 1-based line of the element concerned, if known
  std::string message;           // names the element, the consequence and the fix
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

  // Event handlers; several may be registered, each is called in turn.
  void OnErrorMessage(MessageHandler handler);
  void OnWarningMessage(MessageHandler handler);
  // The same events with the document line they concern.
  void OnDiagnostic(DiagnosticHandler handler);

  // Turns the lint on or off (off by default). It never changes Text,
  // ErrMsg, the result of Execute or the events.
  void EnableLint(bool on);
  // The findings of the last Execute, in document order: empty when the
  // lint is off or Execute returned false (only a compiled script is linted).
  const std::vector<LintFinding>& LintFindings() const;

 private:
  std::unique_ptr<detail::Impl> impl_;
};

// The library's version, "MAJOR.MINOR.PATCH".
TAVJIT_API const char* Version();

}  // namespace tavjit
