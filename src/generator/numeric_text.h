// The one test of whether a value is a number. Attribute checking (number
// attributes) and the var/set branches (number or string literal) share it,
// so a value never passes one and fails the other.
#pragma once

#include <string_view>

#include "catalogue/variant.h"

namespace tavjit {

// Empty text and blanks alone are not numbers.
inline bool IsNumericText(std::string_view text) { return IsNumber(text); }

}  // namespace tavjit
