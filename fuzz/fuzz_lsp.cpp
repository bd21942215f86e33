// The language server's input: arbitrary bytes as the stream a client
// writes, after an initialize the target sends itself. Beyond not crashing,
// every message the server writes serialises to JSON-RPC 2.0: a response
// with a result or an error, or a notification.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "lsp/framing.h"
#include "lsp/server.h"

using tavjit::lsp::json;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const tavjit::lsp::Catalogue catalogue = *tavjit::lsp::LoadCatalogue("", nullptr);
  bool bad = false;
  tavjit::lsp::Server server(catalogue, {}, [&](const json& m) {
    const std::string text = tavjit::lsp::Dump(m);
    const bool response = m.contains("id") && (m.contains("result") != m.contains("error"));
    if (!json::accept(text) || m.value("jsonrpc", "") != "2.0" || !(response || m.contains("method")))
      bad = true;
  });
  server.Receive(R"({"jsonrpc":"2.0","id":"init","method":"initialize","params":{}})");
  tavjit::lsp::FrameReader reader(1 << 20);
  reader.Feed({reinterpret_cast<const char*>(data), size});
  while (!server.Exited()) {
    auto item = reader.Next();
    if (!item) break;
    if (item->ok)
      server.Receive(item->text);
    else
      server.ReceiveBroken(item->text);
    // Debounced diagnostics run as if the client paused after every message.
    server.RunDue(tavjit::lsp::Server::Clock::now() + std::chrono::hours(1));
  }
  if (bad) {
    std::fprintf(stderr, "fuzz_lsp: a message that is not JSON-RPC 2.0\n");
    std::abort();
  }
  return 0;
}
