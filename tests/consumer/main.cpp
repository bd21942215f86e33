// Compiles DOC with the built-in catalogue and with the installed catalogue
// file; both must give exactly the bytes of SCRIPT.
#include <tavjit/catalogue.hpp>
#include <tavjit/tavjit.hpp>

#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

static std::string Slurp(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: consumer DOC SCRIPT\n";
    return 2;
  }
  const std::string expected = Slurp(argv[2]);
  int failures = 0;
  auto check = [&](bool ok, const char* what) {
    if (!ok) {
      std::cerr << "consumer: failed: " << what << '\n';
      ++failures;
    }
  };

  check(std::strcmp(tavjit::Version(), EXPECTED_VERSION) == 0, "version");
  check(tavjit::DefaultCatalogue() == Slurp(TAVJIT_DEFAULT_CATALOGUE),
        "installed catalogue file holds the built-in catalogue");

  tavjit::CTavJIT builtin;
  builtin.InitDefault();
  check(builtin.Execute(argv[1]), "compile with the built-in catalogue");
  check(builtin.Text() == expected, "script with the built-in catalogue");

  tavjit::CTavJIT from_file;
  from_file.Init(TAVJIT_DEFAULT_CATALOGUE);
  check(from_file.Execute(argv[1]), "compile with the installed catalogue");
  check(from_file.Text() == expected, "script with the installed catalogue");

  return failures == 0 ? 0 : 1;
}
