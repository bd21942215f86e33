// A document compiled with the built-in catalogue, from arbitrary bytes.
#include <cstdio>
#include <cstdlib>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // One instance for the whole run, as a host keeps one: loading the
  // catalogue costs far more than most compiles. Values that documents
  // write into the catalogue therefore carry from one input to the next.
  static tavfuzz::Compiler compiler;
  std::string problem =
      tavfuzz::CheckDocument(compiler, {reinterpret_cast<const char*>(data), size});
  if (!problem.empty()) {
    std::fprintf(stderr, "fuzz_document: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
