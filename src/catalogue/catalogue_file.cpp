// Reading and writing the catalogue file: one property bag whose keys are
// stems followed by element and attribute numbers (docs/catalogue-format.md).
#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <new>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "catalogue/property_bag.h"
#include "catalogue/records.h"
#include "support/files.h"

namespace tavjit {

namespace {

// Element stems, in the order they are written.
constexpr std::string_view kContainsText = "ContainsText", kDescription = "Description",
                           kElementName = "ElementName", kParent = "Parent", kText = "Text",
                           kTextMultiLine = "TextMultiLine", kTextRequired = "TextRequired",
                           kTextDescription = "TextDescription", kInformation = "Information",
                           kAttribCount = "AttribCount";
constexpr std::string_view kElementStems[] = {
    kContainsText, kDescription,     kElementName, kParent,      kText,
    kTextMultiLine, kTextRequired, kTextDescription, kInformation, kAttribCount};

struct AttribStem {
  std::string_view stem;
  char separator;
};
// Attribute stems, in the order they are written. "Type" alone takes a hyphen.
constexpr AttribStem kAttribName{"AttribName", '_'}, kType{"Type", '-'},
    kDefaultValue{"DefaultValue", '_'}, kAttribDescription{"Description", '_'},
    kRequired{"Required", '_'}, kValue{"Value", '_'}, kArrayValues{"ArrayValues", '_'};
constexpr AttribStem kAttribStems[] = {kAttribName, kType,  kDefaultValue, kAttribDescription,
                                       kRequired,   kValue, kArrayValues};

std::string ElementKey(std::string_view stem, int32_t i) {
  return std::string(stem) + std::to_string(i);
}

std::string AttribKey(const AttribStem& s, int32_t i, int32_t j) {
  return std::string(s.stem) + std::to_string(i) + s.separator + std::to_string(j);
}

// A number as the writer spells it: digits only, no leading zero, 1 to
// INT32_MAX. Any other spelling names a key that the reader never asks for.
std::optional<int32_t> ParseIndex(std::string_view s) {
  if (s.empty() || s.size() > 10 || s[0] == '0') return std::nullopt;
  int64_t v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  if (v > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(v);
}

// Which element numbers, and which attribute numbers of each element, some
// key of the bag names.
struct Mentions {
  std::set<int32_t> elements;
  std::map<int32_t, std::set<int32_t>> attributes;
};

Mentions ScanKeys(const PropertyBag& bag) {
  Mentions m;
  for (const auto& entry : bag.Entries()) {
    std::string_view key = entry.key;
    for (std::string_view stem : kElementStems) {
      if (!key.starts_with(stem)) continue;
      if (auto i = ParseIndex(key.substr(stem.size()))) m.elements.insert(*i);
    }
    for (const AttribStem& s : kAttribStems) {
      if (!key.starts_with(s.stem)) continue;
      std::string_view rest = key.substr(s.stem.size());
      size_t sep = rest.find(s.separator);
      if (sep == std::string_view::npos) continue;
      auto i = ParseIndex(rest.substr(0, sep));
      auto j = ParseIndex(rest.substr(sep + 1));
      if (i && j) m.attributes[*i].insert(*j);
    }
  }
  return m;
}

// The numbers among 1..n worth visiting, in increasing order. A number that
// no key names reads as a fresh record with an empty name, filed under the
// key "": only the first such number can ever be filed, every later one is
// dropped as a duplicate. Visiting the named numbers plus the first unnamed
// one therefore gives what visiting all of 1..n gives, in time proportional
// to the keys present however large n is.
std::vector<int32_t> IndicesToVisit(const std::set<int32_t>* mentioned, int32_t n) {
  std::vector<int32_t> out;
  int64_t first_unnamed = 1;
  if (mentioned) {
    for (int32_t i : *mentioned) {
      if (i > n) break;
      if (i == first_unnamed) ++first_unnamed;
      out.push_back(i);
    }
  }
  if (first_unnamed <= n) {
    auto at = std::lower_bound(out.begin(), out.end(), first_unnamed);
    out.insert(at, static_cast<int32_t>(first_unnamed));
  }
  return out;
}

// Conversions of a stored value to a property's type; a value that does not
// convert leaves the property as a fresh record has it.
std::string ReadText(const PropertyBag& bag, const std::string& key) {
  return bag.ReadProperty(key, Variant(std::string())).ToText();
}
bool ReadTruth(const PropertyBag& bag, const std::string& key) {
  return bag.ReadProperty(key, Variant(false)).ToBool().value_or(false);
}
std::optional<int32_t> ReadWhole(const PropertyBag& bag, const std::string& key,
                                 int32_t default_value) {
  return bag.ReadProperty(key, Variant(default_value)).ToInt32();
}

std::shared_ptr<CElement> ReadElement(const PropertyBag& bag, const Mentions& mentions,
                                      int32_t i) {
  auto e = std::make_shared<CElement>();
  e->SetContainsText(ReadTruth(bag, ElementKey(kContainsText, i)));
  e->SetDescription(ReadText(bag, ElementKey(kDescription, i)));
  e->SetElementName(ReadText(bag, ElementKey(kElementName, i)));
  e->SetParent(ReadText(bag, ElementKey(kParent, i)));
  e->SetText(ReadText(bag, ElementKey(kText, i)));
  e->SetTextAllowMultiLine(ReadTruth(bag, ElementKey(kTextMultiLine, i)));
  e->SetTextRequired(ReadTruth(bag, ElementKey(kTextRequired, i)));
  e->SetTextDescription(ReadText(bag, ElementKey(kTextDescription, i)));
  e->SetInformation(ReadText(bag, ElementKey(kInformation, i)));
  const int32_t m = ReadWhole(bag, ElementKey(kAttribCount, i), 0).value_or(0);

  auto named = mentions.attributes.find(i);
  const std::set<int32_t>* attr_mentions =
      named == mentions.attributes.end() ? nullptr : &named->second;
  for (int32_t j : IndicesToVisit(attr_mentions, m)) {
    CAttribute a;
    a.SetAttributeName(ReadText(bag, AttribKey(kAttribName, i, j)));
    if (auto t = ReadWhole(bag, AttribKey(kType, i, j), 1)) a.SetDataType(*t);
    a.SetDefaultValue(bag.ReadProperty(AttribKey(kDefaultValue, i, j), Variant(std::string())));
    a.SetDescription(ReadText(bag, AttribKey(kAttribDescription, i, j)));
    a.SetRequired(ReadTruth(bag, AttribKey(kRequired, i, j)));
    a.SetValue(ReadText(bag, AttribKey(kValue, i, j)));
    a.SetArrayValues(ReadText(bag, AttribKey(kArrayValues, i, j)));
    e->Attributes().TryAdd(std::make_shared<CAttribute>(std::move(a)));
  }
  return e;
}

}  // namespace

LoadOutcome CElements::LoadFile(const std::string& sFileName) {
  file_name_ = sFileName;
  std::string bytes;
  switch (ReadWholeFile(sFileName, &bytes)) {
    case ReadStatus::Missing: return LoadOutcome::kMissing;
    case ReadStatus::Unreadable: return LoadOutcome::kUnreadable;
    case ReadStatus::OutOfMemory: return LoadOutcome::kOutOfMemory;
    case ReadStatus::Ok: break;
  }
  try {
    return LoadBytes(bytes);
  } catch (const std::bad_alloc&) {
    return LoadOutcome::kOutOfMemory;  // LoadFile never fails to its caller
  }
}

LoadOutcome CElements::LoadBytes(std::string_view bytes) {
  PropertyBag bag;
  if (!bag.SetContents(bytes)) return LoadOutcome::kNotCatalogue;
  const int32_t n = ReadWhole(bag, "ElementCount", 0).value_or(0);
  if (n == 0) return LoadOutcome::kNoElements;
  Clear();  // from here on the old catalogue is gone, whatever follows
  if (n < 0) return LoadOutcome::kNoElements;

  const Mentions mentions = ScanKeys(bag);
  for (int32_t i : IndicesToVisit(&mentions.elements, n)) {
    auto e = ReadElement(bag, mentions, i);
    store_.TryAdd(UpperKey(e->ElementName()), e);  // the first element of a name stays
  }
  return LoadOutcome::kLoaded;
}

std::string CElements::SaveBytes() const {
  PropertyBag bag;
  bag.WriteProperty("ElementCount", Variant(Count()), Variant(int32_t{0}));
  const Variant no_text{std::string()}, no_truth{false};
  for (int32_t i = 1; i <= Count(); ++i) {
    const CElement& e = *Item(i);
    bag.WriteProperty(ElementKey(kContainsText, i), Variant(e.ContainsText()), no_truth);
    bag.WriteProperty(ElementKey(kDescription, i), Variant(e.Description()), no_text);
    bag.WriteProperty(ElementKey(kElementName, i), Variant(e.ElementName()), no_text);
    bag.WriteProperty(ElementKey(kParent, i), Variant(e.Parent()), no_text);
    bag.WriteProperty(ElementKey(kText, i), Variant(e.Text()), no_text);
    bag.WriteProperty(ElementKey(kTextMultiLine, i), Variant(e.TextAllowMultiLine()), no_truth);
    bag.WriteProperty(ElementKey(kTextRequired, i), Variant(e.TextRequired()), no_truth);
    bag.WriteProperty(ElementKey(kTextDescription, i), Variant(e.TextDescription()), no_text);
    bag.WriteProperty(ElementKey(kInformation, i), Variant(e.Information()), no_text);
    const int32_t m = e.Attributes().Count();
    bag.WriteProperty(ElementKey(kAttribCount, i), Variant(m), Variant(int32_t{0}));
    for (int32_t j = 1; j <= m; ++j) {
      const CAttribute& a = *e.Attributes().Item(j);
      bag.WriteProperty(AttribKey(kAttribName, i, j), Variant(a.AttributeName()), no_text);
      bag.WriteProperty(AttribKey(kType, i, j), Variant(a.DataType()), Variant(int32_t{1}));
      bag.WriteProperty(AttribKey(kDefaultValue, i, j), a.DefaultValue(), no_text);
      bag.WriteProperty(AttribKey(kAttribDescription, i, j), Variant(a.Description()), no_text);
      bag.WriteProperty(AttribKey(kRequired, i, j), Variant(a.Required()), no_truth);
      bag.WriteProperty(AttribKey(kValue, i, j), Variant(a.Value()), no_text);
      bag.WriteProperty(AttribKey(kArrayValues, i, j), Variant(a.ArrayValues()), no_text);
    }
  }
  return bag.Contents();
}

bool CElements::SaveFile(const std::string& sFileName) {
  const std::string& name = sFileName.empty() ? file_name_ : sFileName;
  if (name.empty()) return false;
  std::string bytes;
  try {
    bytes = SaveBytes();
  } catch (const std::length_error&) {
    return false;
  }
  return ReplaceFileAtomically(name, bytes);
}

}  // namespace tavjit
