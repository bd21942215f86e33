// Build step: turns the JSON catalogue source into a C++ file that holds
// the binary catalogue, so the library starts without parsing text, and
// optionally into the catalogue file itself, which is installed.
#include <fstream>
#include <iostream>
#include <iterator>
#include <sstream>

#include "catalogue/catalogue_json.h"
#include "catalogue/records.h"

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::cerr << "usage: tavjit-catgen SOURCE.json OUT.cpp [OUT.tavcat]\n";
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in && !in.eof()) {
    std::cerr << argv[1] << ": cannot read\n";
    return 1;
  }
  tavjit::CElements catalogue;
  std::string error;
  if (!tavjit::LoadCatalogueJson(json, catalogue, &error)) {
    std::cerr << argv[1] << ": " << error << "\n";
    return 1;
  }
  const std::string bytes = catalogue.SaveBytes();
  std::ostringstream out;
  out << "// Generated from " << "default_catalogue.json" << "; do not edit.\n"
      << "#include \"catalogue/default_catalogue.h\"\n\n"
      << "namespace tavjit {\nnamespace {\nconst unsigned char kBytes[] = {";
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i % 16 == 0) out << "\n ";
    out << ' ' << static_cast<unsigned>(static_cast<unsigned char>(bytes[i])) << ',';
  }
  out << "\n};\n}  // namespace\n\nstd::string_view DefaultCatalogueBytes() {\n"
      << "  return {reinterpret_cast<const char*>(kBytes), sizeof kBytes};\n}\n"
      << "}  // namespace tavjit\n";
  if (argc == 4) {
    std::ofstream cat(argv[3], std::ios::binary | std::ios::trunc);
    cat << bytes;
    if (!cat) return 1;
  }
  std::ofstream o(argv[2], std::ios::binary | std::ios::trunc);
  o << out.str();
  return o ? 0 : 1;
}
