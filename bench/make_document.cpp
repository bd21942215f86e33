// Writes a generated TAV document of about N body elements to stdout:
//   make_document N [SEED] [simple|full]
// (document_mix.h says what each mix holds; simple is the default).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document_mix.h"

int main(int argc, char** argv) {
  if (argc < 2 || (argc > 3 && std::strcmp(argv[3], "simple") != 0 &&
                   std::strcmp(argv[3], "full") != 0)) {
    std::fprintf(stderr, "usage: make_document N [SEED] [simple|full]\n");
    return 2;
  }
  const long n = std::atol(argv[1]);
  const auto seed = argc > 2 ? static_cast<uint32_t>(std::atol(argv[2])) : 1u;
  const auto mix =
      argc > 3 && std::strcmp(argv[3], "full") == 0 ? tavbench::Mix::kFull : tavbench::Mix::kSimple;
  const std::string out = tavbench::MakeDocument(n, seed, mix);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
