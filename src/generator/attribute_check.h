// Attribute checking: the values an element of the document element list
// gives its attributes, tested against their data types, with defaults
// filled in; and the variable-name tests it uses.
#pragma once

#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "catalogue/records.h"

namespace tavjit {

// Thrown where a value cannot be examined at all (a lone "%" as a number or
// truth value); the generator run then ends with no message.
class ValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

bool ValidVarName(std::string_view text);
// Throws ValueError when the trimmed text is the single character "%".
bool ContainVariableValue(std::string_view text);

// The error-reporting routine: sets ErrMsg and raises ErrorMessage.
using ErrorReporter = std::function<void(const std::string& msg, const CElement& element)>;

// Checks and defaults the attribute values of one element of the document
// element list. Returns false after reporting the first bad value; throws
// ValueError for a lone "%" (no report).
bool CheckAttribs(CElement& element, const ErrorReporter& report);

}  // namespace tavjit
