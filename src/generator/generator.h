// The element lines of the generator: the family rows, found by element name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"

namespace tavjit {

// The element line of one element (no guard, no line break); declares into
// variables for "var" and "range". An unknown name gives an empty line.
std::string BuildElementLine(const CElement& element, CVariables& variables);

// Every element name that has a branch, in dispatch order.
const std::vector<std::string_view>& DispatchNames();

}  // namespace tavjit
