// The script generator: value helpers, attribute checking, element lines
// and the frame that turns the document element list into a script.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"

namespace tavjit {

// Thrown where a value cannot be examined at all (a lone "%" as a number or
// truth value); the generator run then ends with no message.
class ValueError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string TAVDecode(std::string_view text);
// TAVDecode into out, reusing its buffer.
void TAVDecodeInto(std::string_view text, std::string* out);
bool ValidVarName(std::string_view text);
// Throws ValueError when the trimmed text is the single character "%".
bool ContainVariableValue(std::string_view text);
std::string FixTextValue(std::string_view text);
// FixTextValue appended to out.
void AppendTextValue(std::string& out, std::string_view text);
std::string FixVariables(std::string_view script, const CVariables& variables);

// The error-reporting routine: sets ErrMsg and raises ErrorMessage.
using ErrorReporter = std::function<void(const std::string& msg, const CElement& element)>;

// Checks and defaults the attribute values of one element of the document
// element list. Returns false after reporting the first bad value; throws
// ValueError for a lone "%" (no report).
bool CheckAttribs(CElement& element, const ErrorReporter& report);

// The element line of one element (no guard, no line break); declares into
// variables for "var" and "range". An unknown name gives an empty line.
std::string BuildElementLine(const CElement& element, CVariables& variables);

// Every element name that has a branch, in dispatch order.
const std::vector<std::string_view>& DispatchNames();

}  // namespace tavjit
