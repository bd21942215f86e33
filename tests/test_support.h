// Helpers shared by the tests: temporary files, documents, event capture.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tavjit/tavjit.hpp"

namespace tavtest {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (fs::temp_directory_path() / "tavjit-test-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }
  // Writes bytes to name inside the directory and returns the full path.
  std::string Write(const std::string& name, const std::string& bytes) const {
    fs::path p = path_ / name;
    std::ofstream(p, std::ios::binary | std::ios::trunc) << bytes;
    return p.string();
  }

 private:
  fs::path path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The documents (.tav) of a folder of the source tree, in name order; each
// has its script beside it (.vbs). examples/ holds the bundled examples,
// tests/golden/ one document per command family.
inline std::vector<fs::path> Documents(const char* folder = "examples") {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(fs::path(TAVJIT_SOURCE_DIR) / folder))
    if (e.path().extension() == ".tav") out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}
inline std::vector<fs::path> Examples() { return Documents(); }

inline std::string ScriptBeside(fs::path example) {
  return ReadFile(example.replace_extension(".vbs").string());
}

// The start of a document type for root whose entity l9 expands to 10^9
// "lol"s, each entity referring ten times to the one before: the internal
// subset still open, for more declarations or "]>".
inline std::string BillionLaughs(const std::string& root) {
  std::string s = "<!DOCTYPE " + root + " [<!ENTITY l0 'lol'>";
  for (int i = 1; i <= 9; ++i) {
    s += "<!ENTITY l" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) s += "&l" + std::to_string(i - 1) + ";";
    s += "'>";
  }
  return s;
}

// A TAV document around a body (and an optional header content).
inline std::string Doc(const std::string& body,
                       const std::string& head = "<version>1</version>") {
  return "<?xml version=\"1.0\"?>\n<tav version=\"1.0\" edition=\"korvane\">\n<tavhead>" + head +
         "</tavhead>\n<tavbody>\n" + body + "\n</tavbody>\n</tav>\n";
}

// Joins lines with CR LF after each, the shape of every script.
inline std::string Script(std::initializer_list<const char*> lines) {
  std::string s;
  for (const char* l : lines) s += std::string(l) + "\r\n";
  return s;
}

// Records events in the order raised, "E:" for errors and "W:" for warnings.
struct Events {
  std::vector<std::string> seen;
  void Attach(tavjit::CTavJIT& jit) {
    jit.OnErrorMessage([this](const std::string& m) { seen.push_back("E:" + m); });
    jit.OnWarningMessage([this](const std::string& m) { seen.push_back("W:" + m); });
  }
};

}  // namespace tavtest
