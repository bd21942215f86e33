// A catalogue file loaded from arbitrary bytes.
#include <cstdio>
#include <cstdlib>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = [] {
    std::string p = tavfuzz::ScratchPath("catalogue");
    if (!tavfuzz::WriteWholeFile(p, tavfuzz::kSampleDocument)) std::abort();
    std::atexit([] { std::remove(tavfuzz::ScratchPath("catalogue").c_str()); });
    return p;
  }();
  std::string problem =
      tavfuzz::CheckCatalogue({reinterpret_cast<const char*>(data), size}, path);
  if (!problem.empty()) {
    std::fprintf(stderr, "fuzz_catalogue: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
