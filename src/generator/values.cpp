// Value helpers of the generator: decoding document text, the variable-name
// tests, string literals, variable splicing and attribute checking.
#include <array>
#include <string>
#include <string_view>

#include "generator/generator.h"
#include "generator/numeric_text.h"
#include "support/messages.h"
#include "support/text.h"

namespace tavjit {

namespace {

constexpr int32_t kTypeNumber = 5;
constexpr int32_t kTypeBoolean = 6;
constexpr int32_t kTypeChoice = 7;
constexpr int32_t kTypeVarName = 8;

// The splice that ends a string literal, concatenates a variable and opens
// the next literal.
constexpr std::string_view kCloseLiteral = "\" & ";
constexpr std::string_view kOpenLiteral = " & \"";

// Range-variable properties, in the order they are substituted.
constexpr std::array<std::string_view, 5> kRangeProperties = {
    "startcolno", "endcolno", "startlineno", "endlineno", "columnsel"};

bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

// "|" + value + "|" inside "|" + list + "|", without regard to case: a
// value holding bars may match several entries at once, as it always has.
bool InBarList(std::string_view list, std::string_view value) {
  std::string hay;
  hay.reserve(list.size() + 2);
  hay.append("|").append(list).append("|");
  std::string needle;
  needle.reserve(value.size() + 2);
  needle.append("|").append(value).append("|");
  return ContainsNoCase(hay, needle);
}

// Whether the value fits the attribute's data type; a number given as a
// variable reference is stored as the bare name. May throw ValueError.
bool AcceptValue(CAttribute& attr) {
  const std::string& value = attr.Value();
  switch (attr.DataType()) {
    case kTypeNumber:
      if (IsNumericText(value)) return true;
      if (!ContainVariableValue(value)) return false;
      attr.SetValue(ReplaceAll(value, "%", ""));
      return true;
    case kTypeBoolean: return InBarList("true|false", value) || ContainVariableValue(value);
    case kTypeChoice: return InBarList(attr.ArrayValues(), value);
    case kTypeVarName: return ValidVarName(value);
    default: return true;
  }
}

}  // namespace

std::string TAVDecode(std::string_view text) {
  std::string s = ReplaceAll(text, "\r\n", "\n");
  s = ReplaceAll(s, "\r", "\n");
  s = ReplaceAll(s, "\n", "\r\n");
  s = ReplaceAll(s, "&#10;", "\r\n");
  s = ReplaceAll(s, "&#9;", "\t");
  s = ReplaceAll(s, "&#160;", " ");
  s = ReplaceAll(s, "&quot;", "\"");
  s = ReplaceAll(s, "&gt;", ">");
  s = ReplaceAll(s, "&lt;", "<");
  return ReplaceAll(s, "&amp;", "&");
}

bool ValidVarName(std::string_view text) {
  if (!text.empty() && text[0] >= '0' && text[0] <= '9') return false;
  for (char c : text)
    if (!IsNameChar(c)) return false;
  return true;
}

bool ContainVariableValue(std::string_view text) {
  const std::string_view t = TrimSpaces(text);
  if (!t.empty() && t.front() == '%' && t.back() == '%') {
    // The name between the two signs is length - 2 characters long; a lone
    // "%" has no such name, and the value cannot be examined at all.
    if (t.size() == 1) throw ValueError("a lone % is neither a name nor a reference");
    return ValidVarName(t.substr(1, t.size() - 2));
  }
  return ValidVarName(t);
}

std::string FixTextValue(std::string_view text) {
  std::string s = ReplaceAll(text, "\"", "\"\"");
  s = ReplaceAll(s, "\r\n", "\" & vbcrlf & \"");
  return "\"" + s + "\"";
}

std::string FixVariables(std::string_view script, const CVariables& variables) {
  std::string s(script);
  for (const auto& var : variables) {
    const std::string& name = var->VarName();
    s = ReplaceAllNoCase(s, "%" + name + "%",
                         std::string(kCloseLiteral) + name + std::string(kOpenLiteral));
    if (!var->IsObject()) continue;
    for (std::string_view prop : kRangeProperties) {
      const std::string member = name + "." + std::string(prop);
      s = ReplaceAllNoCase(s, "%" + member + "%",
                           std::string(kCloseLiteral) + member + std::string(kOpenLiteral));
    }
  }
  return std::string(TrimSpaces(s));
}

bool CheckAttribs(CElement& element, const ErrorReporter& report) {
  for (const auto& attr : element.Attributes()) {
    if (attr->Required() && attr->Value().empty()) {
      attr->SetValue(attr->DefaultValue().ToText());
      if (attr->Value().empty()) {
        report(msg::RequiresValue(attr->AttributeName(), element.ElementName()), element);
        return false;
      }
    }
    if (attr->Value().empty()) continue;
    if (!AcceptValue(*attr)) {
      report(msg::InvalidValue(attr->AttributeName(), element.ElementName()), element);
      return false;
    }
  }
  return true;
}

}  // namespace tavjit
