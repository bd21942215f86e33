// A JSON catalogue source from arbitrary text.
#include <cstdio>
#include <cstdlib>

#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string problem = tavfuzz::CheckCatalogueJson({reinterpret_cast<const char*>(data), size});
  if (!problem.empty()) {
    std::fprintf(stderr, "fuzz_catalogue_json: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
