// What a catalogue lets a document write; see document_shape.h.
#include "describe/document_shape.h"

#include <algorithm>

#include "generator/branch_table.h"
#include "support/text.h"

namespace tavjit::shape {

std::vector<std::string> ChoiceValues(const CAttribute& attr) {
  std::vector<std::string> values;
  std::string_view rest = attr.ArrayValues();
  while (true) {
    const size_t bar = rest.find('|');
    std::string entry(rest.substr(0, bar));
    if (!entry.empty() && std::find(values.begin(), values.end(), entry) == values.end())
      values.push_back(std::move(entry));
    if (bar == std::string_view::npos) break;
    rest.remove_prefix(bar + 1);
  }
  return values;
}

std::string KindInWords(const CAttribute& attr) {
  switch (TypeOf(attr)) {
    case AttributeType::kNumber: return "number or variable";
    case AttributeType::kTruth: return "true or false, or a variable";
    case AttributeType::kVariableName: return "variable name";
    case AttributeType::kText: return "text";
    case AttributeType::kChoice: break;
  }
  const std::vector<std::string> values = ChoiceValues(attr);
  if (values.empty()) return "choice with no values";
  std::string words = "one of: ";
  for (size_t i = 0; i < values.size(); ++i) words += (i ? ", " : "") + values[i];
  return words;
}

std::string ValueWhenLeftOut(const CAttribute& attr) {
  if (!attr.Value().empty()) return attr.Value();
  return attr.Required() ? attr.DefaultValue().ToText() : std::string();
}

std::string SampleValue(const CAttribute& attr) {
  switch (TypeOf(attr)) {
    case AttributeType::kNumber: return "1";
    case AttributeType::kTruth: return "true";
    case AttributeType::kVariableName: return "x";
    case AttributeType::kText: return "text";
    case AttributeType::kChoice: break;
  }
  const std::vector<std::string> values = ChoiceValues(attr);
  return values.empty() ? std::string() : values.front();
}

Placement PlaceElements(const CElements& catalogue) {
  Placement p;
  for (const CElements::Ptr& e : catalogue) {
    // The walk finds if, else and loop by their exact names; the closing
    // elements are left out whatever their letter case.
    const branches::BranchRow* closing = branches::FindRow(ToLower(e->ElementName()));
    if (closing && (closing->role == branches::kEndif || closing->role == branches::kEndloop))
      continue;
    const branches::BranchRow* row = branches::FindRow(e->ElementName());
    const branches::Role role = row ? row->role : branches::kNone;
    if (role == branches::kIf) p.if_element = e;
    if (role == branches::kElse) p.else_element = e;
    if (role == branches::kLoop) p.loop_element = e;
    p.steps.push_back(e);
  }
  if (p.if_element && p.else_element)
    std::erase(p.steps, p.else_element);
  else
    p.else_element = nullptr;
  return p;
}

bool IsXmlName(std::string_view name) {
  // Bytes from 0x80 on belong to non-ASCII characters, which XML names allow
  // almost all of.
  auto start = [](unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c >= 0x80;
  };
  auto rest = [&](unsigned char c) {
    return start(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
  };
  if (name.empty() || !start(name[0])) return false;
  return std::all_of(name.begin() + 1, name.end(), rest);
}

}  // namespace tavjit::shape
