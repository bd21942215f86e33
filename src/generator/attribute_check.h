// Attribute checking: the values an element of the document element list
// gives its attributes, tested against their data types, with defaults
// filled in; and the variable-name tests it uses.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "catalogue/records.h"

namespace tavjit {

bool ValidVarName(std::string_view text);
// Whether the trimmed text is a variable name or a reference to one; nullopt
// when it is the single character "%", which cannot be examined at all.
std::optional<bool> ContainVariableValue(std::string_view text);

// The error-reporting routine: sets ErrMsg and raises ErrorMessage.
using ErrorReporter = std::function<void(const std::string& msg, const CElement& element)>;

enum class CheckResult {
  kAccepted,
  kRejected,      // the first bad value was reported
  kUnexaminable,  // a value could not be examined (a lone "%"): the run ends, no message
};

// Checks and defaults the attribute values of one element of the document
// element list, stopping at the first value that fails; *failed, when given,
// is then the attribute that failed.
CheckResult CheckAttribs(CElement& element, const ErrorReporter& report,
                         const CAttribute** failed = nullptr);

// Why an attribute failed its check, in tavjit's words: its value as the
// check saw it and what its data type accepts.
std::string ExplainValue(const CAttribute& attr, const CElement& element, CheckResult result);
// What an attribute of this data type accepts ("a number ... or a variable").
std::string AcceptedValues(const CAttribute& attr);

}  // namespace tavjit
