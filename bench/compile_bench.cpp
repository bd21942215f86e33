// Compiling in process, as a host does: Init once, then Execute (from a
// file) and ExecuteFromBytes again and again on one instance, for a macro of
// 40 and of 1,000 elements of the full mix; beside libxml2 parsing the same
// bytes with nothing else to do, as a tree (xmlReadMemory) and as SAX events
// with no handlers. The ratios to those parses, in CPU time (the machines
// this runs on are shared), are printed at the end.
//   tavjit-compile-bench [Google Benchmark options]
#include <benchmark/benchmark.h>
#include <libxml/parser.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "document_mix.h"
#include "tavjit/tavjit.hpp"

namespace {

const std::string& Macro(long elements) {
  static std::map<long, std::string> macros;
  auto [it, fresh] = macros.try_emplace(elements);
  if (fresh) it->second = tavbench::MakeDocument(elements, 1, tavbench::Mix::kFull);
  return it->second;
}

// The macro in a file of its own, removed at exit.
const std::string& MacroFile(long elements) {
  static std::map<long, std::string> files;
  auto [it, fresh] = files.try_emplace(elements);
  if (fresh) {
    char path[] = "/tmp/tavjit-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) std::abort();
    close(fd);
    std::ofstream(path, std::ios::binary) << Macro(elements);
    it->second = path;
    static struct Remover {
      ~Remover() {
        for (const auto& [n, p] : files) std::remove(p.c_str());
      }
    } remover;
  }
  return it->second;
}

void Compile(benchmark::State& state, bool from_file, bool lint) {
  const long n = state.range(0);
  tavjit::CTavJIT jit;
  jit.InitDefault();
  jit.EnableLint(lint);
  const std::string& bytes = Macro(n);
  const std::string& file = MacroFile(n);
  for (auto _ : state) {
    const bool ok = from_file ? jit.Execute(file) : jit.ExecuteFromBytes(bytes);
    if (!ok) state.SkipWithError("the macro did not compile");
    benchmark::DoNotOptimize(jit.Text().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void Execute(benchmark::State& state) { Compile(state, true, false); }
void ExecuteFromBytes(benchmark::State& state) { Compile(state, false, false); }
void ExecuteFromBytesLint(benchmark::State& state) { Compile(state, false, true); }

void XmlReadMemory(benchmark::State& state) {
  const std::string& bytes = Macro(state.range(0));
  for (auto _ : state) {
    xmlDocPtr doc = xmlReadMemory(bytes.data(), static_cast<int>(bytes.size()), nullptr, nullptr,
                                  XML_PARSE_NONET);
    if (!doc) state.SkipWithError("not well-formed");
    xmlFreeDoc(doc);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

void SaxParse(benchmark::State& state) {
  const std::string& bytes = Macro(state.range(0));
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = XML_SAX2_MAGIC;
  for (auto _ : state) {
    if (xmlSAXUserParseMemory(&sax, nullptr, bytes.data(), static_cast<int>(bytes.size())) != 0)
      state.SkipWithError("not well-formed");
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}

BENCHMARK(Execute)->Arg(40)->Arg(1000);
BENCHMARK(ExecuteFromBytes)->Arg(40)->Arg(1000);
BENCHMARK(ExecuteFromBytesLint)->Arg(40)->Arg(1000);
BENCHMARK(XmlReadMemory)->Arg(40)->Arg(1000);
BENCHMARK(SaxParse)->Arg(40)->Arg(1000);

// Keeps each benchmark's CPU time per iteration, by name, for the ratios:
// the median when it was repeated.
class Reporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& r : runs) {
      if (r.error_occurred) continue;
      if ((r.run_type == Run::RT_Iteration && r.repetitions <= 1) ||
          (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median"))
        times[r.run_name.str()] = r.GetAdjustedCPUTime();
    }
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  xmlInitParser();
  benchmark::Initialize(&argc, argv);
  Reporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\nratio of each compile to parsing the same bytes with libxml2:\n");
  for (const char* n : {"40", "1000"}) {
    const auto& t = reporter.times;
    auto get = [&](const std::string& name) {
      auto it = t.find(name + "/" + n);
      return it == t.end() ? 0.0 : it->second;
    };
    const double tree = get("XmlReadMemory"), sax = get("SaxParse");
    if (tree <= 0 || sax <= 0) continue;
    for (const char* c : {"Execute", "ExecuteFromBytes", "ExecuteFromBytesLint"})
      if (get(c) > 0)
        std::printf("  %-22s %5s elements: %5.2fx xmlReadMemory, %5.2fx SAX parse\n", c, n,
                    get(c) / tree, get(c) / sax);
  }
  benchmark::Shutdown();
  return 0;
}
