// The catalogue's records and their keyed collections.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/keyed_store.h"
#include "catalogue/variant.h"

namespace tavjit {

class CAttribute {
 public:
  const std::string& ArrayValues() const { return array_values_; }
  void SetArrayValues(std::string vData) { array_values_ = std::move(vData); }
  const std::string& Description() const { return description_; }
  void SetDescription(std::string vData) { description_ = std::move(vData); }
  const Variant& DefaultValue() const { return default_value_; }
  void SetDefaultValue(Variant vData) { default_value_ = std::move(vData); }
  bool Required() const { return required_; }
  void SetRequired(bool vData) { required_ = vData; }
  const std::string& Value() const { return value_; }
  // Values change once per listed element: copying into the stored string
  // keeps its buffer.
  void SetValue(std::string_view vData) { value_.assign(vData); }
  void SetValue(std::string&& vData) { value_ = std::move(vData); }
  void SetValue(const char* vData) { value_.assign(vData); }
  const std::string& AttributeName() const { return attribute_name_; }
  void SetAttributeName(std::string vData) { attribute_name_ = std::move(vData); }
  int32_t DataType() const { return data_type_; }
  void SetDataType(int32_t vData) { data_type_ = vData; }

 private:
  std::string array_values_, description_;
  Variant default_value_;
  bool required_ = false;
  std::string value_, attribute_name_;
  int32_t data_type_ = 0;
};

// What the DataType code of an attribute asks of its values. Every code but 5
// to 8 is free text; 1 is what a catalogue file gives when it names no type.
enum class AttributeType : int32_t {
  kText = 1,
  kNumber = 5,        // a number, or a variable name or reference
  kTruth = 6,         // true or false, or a variable name or reference
  kChoice = 7,        // one of the entries of ArrayValues
  kVariableName = 8,  // a variable name
};

inline AttributeType TypeOf(const CAttribute& attr) {
  const int32_t code = attr.DataType();
  return code >= 5 && code <= 8 ? static_cast<AttributeType>(code) : AttributeType::kText;
}

class CAttributes {
 public:
  using Ptr = std::shared_ptr<CAttribute>;
  // Files a new record under AttributeName in upper case; throws
  // CollectionError when the key is taken.
  Ptr Add(std::string AttributeName, int32_t DataType, std::string Value,
          std::string ArrayValues, bool Required, Variant DefaultValue,
          std::string Description);
  // Files attr under its AttributeName in upper case; null when the key is
  // taken (the first attribute of a name stays).
  Ptr TryAdd(Ptr attr);
  const Ptr& Item(int32_t position) const { return store_.Item(position); }
  const Ptr& Item(std::string_view key) const { return store_.Item(key); }
  const Ptr* Find(std::string_view key) const { return store_.Find(key); }
  int32_t Count() const { return store_.Count(); }
  void Remove(int32_t position) { store_.Remove(position); }
  void Remove(std::string_view key) { store_.Remove(key); }
  auto begin() const { return store_.begin(); }
  auto end() const { return store_.end(); }

 private:
  KeyedStore<CAttribute> store_;
};

class CElement {
 public:
  CAttributes& Attributes() { return attributes_; }
  const CAttributes& Attributes() const { return attributes_; }
  const std::string& Parent() const { return parent_; }
  void SetParent(std::string vData) { parent_ = std::move(vData); }
  bool TextAllowMultiLine() const { return text_allow_multi_line_; }
  void SetTextAllowMultiLine(bool vData) { text_allow_multi_line_ = vData; }
  bool TextRequired() const { return text_required_; }
  void SetTextRequired(bool vData) { text_required_ = vData; }
  bool ContainsText() const { return contains_text_; }
  void SetContainsText(bool vData) { contains_text_ = vData; }
  const std::string& Description() const { return description_; }
  void SetDescription(std::string vData) { description_ = std::move(vData); }
  const std::string& ElementName() const { return element_name_; }
  void SetElementName(std::string vData) { element_name_ = std::move(vData); }
  const std::string& Text() const { return text_; }
  void SetText(std::string_view vData) { text_.assign(vData); }
  void SetText(std::string&& vData) { text_ = std::move(vData); }
  void SetText(const char* vData) { text_.assign(vData); }
  const std::string& TextDescription() const { return text_description_; }
  void SetTextDescription(std::string vData) { text_description_ = std::move(vData); }
  const std::string& Information() const { return information_; }
  void SetInformation(std::string vData) { information_ = std::move(vData); }
  const std::string& Key() const { return key_; }
  bool IsComment() const { return is_comment_; }
  void SetIsComment(bool vData) { is_comment_ = vData; }
  bool Disabled() const { return disabled_; }
  void SetDisabled(bool vData) { disabled_ = vData; }

  // Only CElements::AddObject files records under a key.
  void SetKey(std::string sKey) { key_ = std::move(sKey); }

  // Source line of the document element this record was copied for; 0 when
  // unknown. Diagnostics use it; it is not part of the catalogue.
  uint32_t SourceLine() const { return source_line_; }
  void SetSourceLine(uint32_t line) { source_line_ = line; }

 private:
  CAttributes attributes_;
  std::string parent_;
  bool text_allow_multi_line_ = false, text_required_ = false, contains_text_ = false;
  std::string description_, element_name_, text_, text_description_, information_, key_;
  bool is_comment_ = false, disabled_ = false;
  uint32_t source_line_ = 0;
};

// How a catalogue load ended. Only kLoaded replaces what the collection held
// (kNoElements empties it when the file says it holds fewer than none).
enum class LoadOutcome { kLoaded, kMissing, kUnreadable, kNotCatalogue, kNoElements, kOutOfMemory };

class CElements {
 public:
  using Ptr = std::shared_ptr<CElement>;

  // Names declared by the "var" records (or, with blnReturnObjects, the
  // "range" records), in order; throws when such a record has no "name".
  std::vector<std::string> GetVariableNames(bool blnReturnObjects = false) const;
  void Clear();
  // Never fails to its caller, who may look at the outcome; see
  // catalogue_file.cpp.
  LoadOutcome LoadFile(const std::string& sFileName);
  // Loads a catalogue from bytes already in memory, with LoadFile's rules.
  LoadOutcome LoadBytes(std::string_view bytes);
  Ptr Add(std::string ElementName, std::string Description, bool ContainsText,
          std::string TextDescription, bool TextRequired, bool TextAllowMultiLine,
          std::string Parent, std::string Text, bool Disabled = false);
  const Ptr& Item(int32_t position) const { return store_.Item(position); }
  const Ptr& Item(std::string_view key) const { return store_.Item(key); }
  const Ptr* Find(std::string_view key) const { return store_.Find(key); }
  int32_t Count() const { return store_.Count(); }
  void Remove(int32_t position) { store_.Remove(position); }
  void Remove(std::string_view key) { store_.Remove(key); }
  auto begin() const { return store_.begin(); }
  auto end() const { return store_.end(); }

  // Files an independent copy of obj (and of its attributes) under Key, or
  // under obj's Key when Key is empty, or under its upper-cased name.
  void AddObject(const CElement& obj, std::string_view Key);
  // Writes the collection; an empty name means the one LoadFile was given.
  // Returns false when nothing could be written (callers may ignore it).
  bool SaveFile(const std::string& sFileName);
  // The bytes SaveFile would write.
  std::string SaveBytes() const;

  const std::string& FileName() const { return file_name_; }

 private:
  KeyedStore<CElement> store_;
  std::string file_name_;
};

class CVariable {
 public:
  const std::string& VarName() const { return var_name_; }
  void SetVarName(std::string vData) { var_name_ = std::move(vData); }
  bool IsObject() const { return is_object_; }
  void SetIsObject(bool vData) { is_object_ = vData; }

 private:
  std::string var_name_;
  bool is_object_ = false;
};

class CVariables {
 public:
  using Ptr = std::shared_ptr<CVariable>;
  // Filed under VarName unchanged; throws CollectionError when taken.
  Ptr Add(std::string VarName, bool IsObject);
  // The same; null when the name is taken (the first declaration stays).
  Ptr TryAdd(std::string VarName, bool IsObject);
  const Ptr& Item(int32_t position) const { return store_.Item(position); }
  const Ptr& Item(std::string_view key) const { return store_.Item(key); }
  int32_t Count() const { return store_.Count(); }
  void Remove(int32_t position) { store_.Remove(position); }
  void Remove(std::string_view key) { store_.Remove(key); }
  auto begin() const { return store_.begin(); }
  auto end() const { return store_.end(); }

 private:
  KeyedStore<CVariable> store_;
};

// Upper case used for collection keys (keys compare by folding anyway).
std::string UpperKey(std::string_view name);

}  // namespace tavjit
