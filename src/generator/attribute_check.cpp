// CheckAttribs: each attribute value of an element against its data type,
// defaults filled in; and the variable-name tests it uses.
#include "generator/attribute_check.h"

#include <optional>
#include <string>
#include <string_view>

#include "compiler/messages.h"
#include "generator/numeric_text.h"
#include "generator/vocabulary.h"
#include "support/text.h"

namespace tavjit {

namespace {

// "|" + value + "|" inside "|" + list + "|", without regard to case: a
// value holding bars may match several entries at once, as it always has.
bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (IsAscii(a) && IsAscii(b)) return EqualsAsciiNoCase(a, b);
  size_t len = 0;
  return FindNoCase(a, b, 0, &len) == 0 && len == a.size();
}

// Whether "|" + value + "|" occurs in "|" + list + "|", without regard to
// case. A value without a bar can only match a whole entry.
bool InBarList(std::string_view list, std::string_view value) {
  if (value.find('|') == std::string_view::npos) {
    for (size_t from = 0;;) {
      const size_t bar = list.find('|', from);
      if (EqualsNoCase(list.substr(from, bar == std::string_view::npos ? bar : bar - from), value))
        return true;
      if (bar == std::string_view::npos) return false;
      from = bar + 1;
    }
  }
  std::string hay;
  hay.reserve(list.size() + 2);
  hay.append("|").append(list).append("|");
  std::string needle;
  needle.reserve(value.size() + 2);
  needle.append("|").append(value).append("|");
  return ContainsNoCase(hay, needle);
}

// Whether the value fits the attribute's data type, nullopt when it cannot be
// examined; a number given as a variable reference is stored as the bare
// name.
std::optional<bool> AcceptValue(CAttribute& attr) {
  const std::string& value = attr.Value();
  switch (TypeOf(attr)) {
    case AttributeType::kNumber: {
      if (IsNumericText(value)) return true;
      const std::optional<bool> variable = ContainVariableValue(value);
      if (variable != true) return variable;
      attr.SetValue(ReplaceAll(value, "%", ""));
      return true;
    }
    case AttributeType::kTruth:
      if (InBarList("true|false", value)) return true;
      return ContainVariableValue(value);
    case AttributeType::kChoice: return InBarList(attr.ArrayValues(), value);
    case AttributeType::kVariableName: return ValidVarName(value);
    case AttributeType::kText: break;
  }
  return true;
}

}  // namespace

bool ValidVarName(std::string_view text) {
  if (!text.empty() && text[0] >= '0' && text[0] <= '9') return false;
  for (char c : text)
    if (!IsNameChar(c)) return false;
  return true;
}

std::optional<bool> ContainVariableValue(std::string_view text) {
  const std::string_view t = TrimSpaces(text);
  if (!t.empty() && t.front() == '%' && t.back() == '%') {
    // The name between the two signs is length - 2 characters long; a lone
    // "%" has no such name, and the value cannot be examined at all.
    if (t.size() == 1) return std::nullopt;
    return ValidVarName(t.substr(1, t.size() - 2));
  }
  return ValidVarName(t);
}

CheckResult CheckAttribs(CElement& element, const ErrorReporter& report,
                         const CAttribute** failed) {
  for (const auto& attr : element.Attributes()) {
    if (failed) *failed = attr.get();
    if (attr->Required() && attr->Value().empty()) {
      attr->SetValue(attr->DefaultValue().ToText());
      if (attr->Value().empty()) {
        report(msg::RequiresValue(attr->AttributeName(), element.ElementName()), element);
        return CheckResult::kRejected;
      }
    }
    if (attr->Value().empty()) continue;
    const std::optional<bool> accepted = AcceptValue(*attr);
    if (!accepted) return CheckResult::kUnexaminable;
    if (!*accepted) {
      report(msg::InvalidValue(attr->AttributeName(), element.ElementName()), element);
      return CheckResult::kRejected;
    }
  }
  if (failed) *failed = nullptr;
  return CheckResult::kAccepted;
}

std::string AcceptedValues(const CAttribute& attr) {
  switch (TypeOf(attr)) {
    case AttributeType::kNumber:
      return "a number (such as 12, -1.5 or 2.5E-4; blanks around it are allowed) or a "
             "variable, by name (count) or by reference (%count%)";
    case AttributeType::kTruth:
      return "true or false, in any letter case, or a variable, by name or by reference";
    case AttributeType::kChoice: {
      if (attr.ArrayValues().empty())
        return "one of the choices its catalogue lists, and it lists none";
      std::string list;
      for (std::string_view rest = attr.ArrayValues();;) {
        const size_t bar = rest.find('|');
        if (!list.empty()) list += ", ";
        list.append(rest.substr(0, bar));
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
      }
      return "one of " + list + " (in any letter case)";
    }
    case AttributeType::kVariableName:
      return "a variable name: ASCII letters, digits and _, not starting with a digit (no "
             "blanks, no percent signs)";
    case AttributeType::kText: break;
  }
  return "any text";
}

std::string ExplainValue(const CAttribute& attr, const CElement& element, CheckResult result) {
  const std::string name = "`" + attr.AttributeName() + "` of `" + element.ElementName() + "`";
  std::string shown = ReplaceAll(ReplaceAll(attr.Value(), "\r\n", "\\n"), "\t", "\\t");
  if (result == CheckResult::kUnexaminable)
    return name + " is a lone `%`, which is neither a number nor a variable: the compile stops "
                  "here without any message; write " + AcceptedValues(attr);
  if (attr.Value().empty())
    return name + " is left out or empty, and the catalogue gives it no default; it takes " +
           AcceptedValues(attr);
  return name + " is `" + shown + "`; it takes " + AcceptedValues(attr);
}

}  // namespace tavjit
