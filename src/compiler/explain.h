// Helpers of the compiler's explanations: names that are close to a name.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace tavjit {

// The name among names closest to name, when one is close enough to be what
// was meant: the same but for letter case, or a few letters apart (one for
// short names, two for longer ones). Empty when none is.
std::string ClosestName(std::string_view name, const std::vector<std::string_view>& names);

// `s`, between backquotes, as the explanations quote names and values.
std::string Code(std::string_view s);

// " (did you mean `x`?)" for the closest name, or nothing.
std::string DidYouMean(std::string_view name, const std::vector<std::string_view>& names);

}  // namespace tavjit
