// The records' collection operations: Add, TryAdd, AddObject, Clear and
// GetVariableNames.
#include "catalogue/records.h"

#include "support/text.h"

namespace tavjit {

void ThrowPositionOutOfRange(int32_t position) {
  throw CollectionError("position out of range: " + std::to_string(position));
}

void ThrowCollectionError(std::string_view what, std::string_view key) {
  throw CollectionError(std::string(what) + std::string(key));
}

std::string UpperKey(std::string_view name) { return ToUpper(name); }

CAttributes::Ptr CAttributes::Add(std::string AttributeName, int32_t DataType,
                                  std::string Value, std::string ArrayValues,
                                  bool Required, Variant DefaultValue,
                                  std::string Description) {
  auto a = std::make_shared<CAttribute>();
  a->SetAttributeName(std::move(AttributeName));
  a->SetDataType(DataType);
  a->SetValue(std::move(Value));
  a->SetArrayValues(std::move(ArrayValues));
  a->SetRequired(Required);
  a->SetDefaultValue(std::move(DefaultValue));
  a->SetDescription(std::move(Description));
  store_.Add(UpperKey(a->AttributeName()), a);
  return a;
}

CAttributes::Ptr CAttributes::TryAdd(Ptr attr) {
  return store_.TryAdd(UpperKey(attr->AttributeName()), attr) ? attr : nullptr;
}

CElements::Ptr CElements::Add(std::string ElementName, std::string Description,
                              bool ContainsText, std::string TextDescription,
                              bool TextRequired, bool TextAllowMultiLine,
                              std::string Parent, std::string Text, bool Disabled) {
  auto e = std::make_shared<CElement>();
  e->SetTextDescription(std::move(TextDescription));
  e->SetElementName(std::move(ElementName));
  e->SetDescription(std::move(Description));
  e->SetContainsText(ContainsText);
  e->SetTextRequired(TextRequired);
  e->SetText(std::move(Text));
  e->SetTextAllowMultiLine(TextAllowMultiLine);
  e->SetParent(std::move(Parent));
  e->SetDisabled(Disabled);
  store_.Add(UpperKey(e->ElementName()), e);
  return e;
}

void CElements::AddObject(const CElement& obj, std::string_view Key) {
  std::string key(Key.empty() ? std::string_view(obj.Key()) : Key);
  auto copy = std::make_shared<CElement>();
  copy->SetContainsText(obj.ContainsText());
  copy->SetIsComment(obj.IsComment());
  copy->SetDescription(obj.Description());
  copy->SetElementName(obj.ElementName());
  copy->SetInformation(obj.Information());
  copy->SetParent(obj.Parent());
  copy->SetText(obj.Text());
  copy->SetTextAllowMultiLine(obj.TextAllowMultiLine());
  copy->SetTextDescription(obj.TextDescription());
  copy->SetTextRequired(obj.TextRequired());
  copy->SetDisabled(obj.Disabled());
  copy->SetSourceLine(obj.SourceLine());
  copy->SetKey(key);
  for (const auto& a : obj.Attributes()) {
    copy->Attributes().Add(a->AttributeName(), a->DataType(), a->Value(),
                           a->ArrayValues(), a->Required(), a->DefaultValue(),
                           a->Description());
  }
  store_.Add(key.empty() ? UpperKey(copy->ElementName()) : key, copy);
}

void CElements::Clear() { store_.Clear(); }

std::vector<std::string> CElements::GetVariableNames(bool blnReturnObjects) const {
  const char* tag = blnReturnObjects ? "range" : "var";
  std::vector<std::string> names;
  for (const auto& e : store_) {
    if (e->ElementName() != tag) continue;
    const std::string& v = e->Attributes().Item("name")->Value();
    if (!v.empty()) names.push_back(v);
  }
  return names;
}

CVariables::Ptr CVariables::Add(std::string VarName, bool IsObject) {
  auto v = std::make_shared<CVariable>();
  v->SetVarName(std::move(VarName));
  v->SetIsObject(IsObject);
  store_.Add(v->VarName(), v);
  return v;
}

CVariables::Ptr CVariables::TryAdd(std::string VarName, bool IsObject) {
  auto v = std::make_shared<CVariable>();
  v->SetVarName(std::move(VarName));
  v->SetIsObject(IsObject);
  return store_.TryAdd(v->VarName(), v) ? v : nullptr;
}

}  // namespace tavjit
