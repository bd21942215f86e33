// Value helpers of the generator: decoding document text, the variable-name
// tests, string literals, variable splicing and attribute checking.
#include <array>
#include <string>
#include <string_view>

#include "generator/generator.h"
#include "generator/numeric_text.h"
#include "compiler/messages.h"
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

// The ten replacements (line ends to CR LF; then &#10; &#9; &#160; &quot;
// &gt; &lt; &amp;, in that order) in one pass: each reference starts with
// '&' and ends at the first ';', so no two matches overlap, and no
// replacement produces text that a later one would match.
// The next CR, LF or '&' at or after i (find_first_of is slow on long texts).
static size_t NextSpecial(std::string_view text, size_t i) {
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n' || c == '&') return i;
  }
  return std::string_view::npos;
}

std::string TAVDecode(std::string_view text) {
  std::string out;
  TAVDecodeInto(text, &out);
  return out;
}

void TAVDecodeInto(std::string_view text, std::string* out_ptr) {
  std::string& out = *out_ptr;
  out.clear();
  if (NextSpecial(text, 0) == std::string_view::npos) {
    out.append(text);
    return;
  }
  static constexpr std::pair<std::string_view, std::string_view> kRefs[] = {
      {"&#10;", "\r\n"}, {"&#9;", "\t"}, {"&#160;", " "}, {"&quot;", "\""},
      {"&gt;", ">"},      {"&lt;", "<"},  {"&amp;", "&"}};
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\r') {
      out.append("\r\n");
      i += (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    } else if (c == '\n') {
      out.append("\r\n");
      ++i;
    } else if (c == '&') {
      bool replaced = false;
      for (const auto& [from, to] : kRefs) {
        if (text.compare(i, from.size(), from) == 0) {
          out.append(to);
          i += from.size();
          replaced = true;
          break;
        }
      }
      if (!replaced) out.push_back(text[i++]);
    } else {
      size_t next = NextSpecial(text, i);
      if (next == std::string_view::npos) next = text.size();
      out.append(text.substr(i, next - i));
      i = next;
    }
  }

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

// Doubling the quotes and breaking out at each CR LF in one pass: the two
// replacements never meet, since neither's text contains the other's.
void AppendTextValue(std::string& out, std::string_view text) {
  out.push_back('"');
  for (size_t i = 0; i < text.size();) {
    size_t next = i;
    while (next < text.size() && text[next] != '"' && text[next] != '\r') ++next;
    if (next == text.size()) next = std::string_view::npos;
    if (next == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, next - i));
    if (text[next] == '"') {
      out.append("\"\"");
      i = next + 1;
    } else if (next + 1 < text.size() && text[next + 1] == '\n') {
      out.append("\" & vbcrlf & \"");
      i = next + 2;
    } else {
      out.push_back('\r');
      i = next + 1;
    }
  }
  out.push_back('"');
}

std::string FixTextValue(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendTextValue(out, text);
  return out;
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
