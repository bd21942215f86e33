// The language server's speed on one document: diagnostics after a change
// (the change applied, the document compiled and its diagnostics published)
// and completion after a change (the text read again around the cursor), each
// against one ExecuteFromBytes of the same document. The debounce delay,
// which waits for typing to pause, is set to 0: the figures are the work.
//   tavjit-lsp-bench DOC [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "lsp/server.h"

using namespace tavjit::lsp;
using Clock = std::chrono::steady_clock;

namespace {

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double Ms(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double, std::milli>(b - a).count();
}

json Message(const std::string& method, json params, int id = 0) {
  json m = {{"jsonrpc", "2.0"}, {"method", method}, {"params", std::move(params)}};
  if (id) m["id"] = id;
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: tavjit-lsp-bench DOC [RUNS]\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 21;

  std::vector<double> compile;
  tavjit::CTavJIT jit;
  jit.InitDefault();
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    jit.ExecuteFromBytes(text);
    compile.push_back(Ms(t0, Clock::now()));
  }

  json last;
  std::string error;
  Server server(*LoadCatalogue("", &error), {"", 0}, [&](const json& m) { last = m; });
  const std::string uri = "file:///bench.tav";
  server.Receive(Message("initialize", json::object(), 1).dump());
  server.Receive(Message("textDocument/didOpen", {{"textDocument", {{"uri", uri}, {"languageId", "tav"},
                                                                     {"version", 1}, {"text", text}}}})
                     .dump());
  const Document doc(text);
  const uint32_t middle = doc.LineCount() / 2;
  auto change = [&](int version, Position at, const std::string& insert, uint32_t remove) {
    const json range = {{"start", {{"line", at.line}, {"character", at.character}}},
                        {"end", {{"line", at.line}, {"character", at.character + remove}}}};
    server.Receive(Message("textDocument/didChange",
                           {{"textDocument", {{"uri", uri}, {"version", version}}},
                            {"contentChanges", {{{"range", range}, {"text", insert}}}}})
                       .dump());
  };

  // A blank typed and taken away again at the start of a line in the middle.
  std::vector<double> diagnostics;
  int version = 1;
  for (int i = 0; i < runs; ++i) {
    const auto t0 = Clock::now();
    change(++version, {middle, 0}, i % 2 ? "" : " ", i % 2 ? 1 : 0);
    server.RunDue(Clock::now() + std::chrono::hours(1));
    diagnostics.push_back(Ms(t0, Clock::now()));
    if (last.value("method", "") != "textDocument/publishDiagnostics") {
      std::fprintf(stderr, "no diagnostics after a change\n");
      return 1;
    }
  }
  // A '<' typed on a line of its own, then completion there.
  if (runs % 2) change(++version, {middle, 0}, "", 1);
  std::vector<double> completion;
  size_t items = 0;
  for (int i = 0; i < runs; ++i) {
    change(++version, {middle, 0}, i % 2 ? "" : "<\n", i % 2 ? 2 : 0);
    if (i % 2) continue;
    const auto t0 = Clock::now();
    server.Receive(Message("textDocument/completion",
                           {{"textDocument", {{"uri", uri}}}, {"position", {{"line", middle}, {"character", 1}}}},
                           100 + i)
                       .dump());
    completion.push_back(Ms(t0, Clock::now()));
    items = last["result"]["items"].size();
  }

  const double c = Median(compile), d = Median(diagnostics), k = Median(completion);
  std::printf("document: %zu bytes, %u lines\n", text.size(), doc.LineCount());
  std::printf("ExecuteFromBytes:             %8.2f ms\n", c);
  std::printf("diagnostics after a change:   %8.2f ms  (%.2fx one compile; limit 100 ms)\n", d, d / c);
  std::printf("completion after a change:    %8.2f ms  (%.2fx one compile; limit 20 ms; %zu items)\n", k,
              k / c, items);
  return d <= 100 && k <= 20 && items > 0 ? 0 : 1;
}
