// The compiler as the library's own writers use it (the catalogue reference):
// example documents compiled from memory, each against the catalogue as
// loaded, on one instance.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "tavjit/tavjit.hpp"

namespace tavjit {

class ExampleCompiler {
 public:
  explicit ExampleCompiler(std::string_view catalogue_bytes);
  ~ExampleCompiler();
  ExampleCompiler(const ExampleCompiler&) = delete;
  ExampleCompiler& operator=(const ExampleCompiler&) = delete;

  struct Result {
    bool ok = false;
    std::string text, errmsg;
  };
  // Compiles a document as Execute compiles its file. The walk writes the
  // document's values into the definitions it uses; they are put back
  // afterwards, so the next example starts as on a fresh instance.
  Result Compile(std::string_view document);

 private:
  std::unique_ptr<detail::Impl> impl_;
  // Every definition's values and text as loaded.
  struct Saved {
    std::vector<std::string> values;
    std::string text;
  };
  std::vector<Saved> loaded_;
};

}  // namespace tavjit
