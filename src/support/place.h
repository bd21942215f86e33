// A place in a document, as diagnostics name it.
#pragma once

#include <cstdint>

namespace tavjit {

// 1-based line, and 1-based column in bytes of the line's UTF-8 text (after
// a byte order mark on the first line); 0 when unknown.
struct Place {
  uint32_t line = 0;
  uint32_t column = 0;
};

}  // namespace tavjit
