// The language server: lifecycle, open documents, settings and the requests,
// each handed to its feature. One thread; diagnostics after a change wait for
// the typing to pause (the delay), and the caller's loop runs them when due.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lsp/features.h"
#include "lsp/protocol.h"

namespace tavjit::lsp {

struct ServerOptions {
  std::string catalogue;  // a catalogue file or JSON source; empty: the built-in one
  int diagnostics_delay_ms = 200;
};

// Reads a catalogue as `tavjit compile --catalogue` does: a catalogue file or
// its JSON source, told apart by content; the built-in one for "".
std::optional<Catalogue> LoadCatalogue(const std::string& path, std::string* error);

class Server {
 public:
  using Clock = std::chrono::steady_clock;
  using Send = std::function<void(const json& message)>;

  Server(Catalogue catalogue, ServerOptions options, Send send);
  ~Server();

  // One message body as the framing delivered it.
  void Receive(std::string_view body);
  // What the framing found wrong instead of a body.
  void ReceiveBroken(const std::string& what);

  // When debounced diagnostics are next due, if any are waiting.
  std::optional<Clock::time_point> Deadline() const;
  void RunDue(Clock::time_point now);

  bool Exited() const { return exited_; }
  // 0 after shutdown then exit, 1 otherwise.
  int ExitCode() const { return shutdown_ ? 0 : 1; }

  struct Reply;
  struct OpenDocument;

 private:
  Reply Dispatch(const std::string& method, const json& params, bool is_request);
  void Respond(const json& id, Reply reply);
  void Error(const json& id, ErrorCode code, const std::string& message);

  Reply Initialize(const json& params);
  void ApplySettings(const json& settings);
  void OpenDoc(const json& params);
  void ChangeDoc(const json& params);
  void CloseDoc(const json& params);
  OpenDocument* Find(const std::string& uri);
  const Scan& ScanOf(OpenDocument& d);
  // Compiles when the text changed since the last compile, and publishes.
  void Refresh(const std::string& uri, OpenDocument& d);

  Catalogue catalogue_;
  ServerOptions options_;
  Send send_;
  std::unique_ptr<Compiler> compiler_;
  bool lint_ = true;
  bool initialized_ = false, shutdown_ = false, exited_ = false;
  std::map<std::string, std::unique_ptr<OpenDocument>> docs_;
};

// Serves the protocol on standard input and output until exit or the end of
// input; returns the process's exit status.
int RunServer(const ServerOptions& options);

}  // namespace tavjit::lsp
