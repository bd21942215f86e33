// The JSON catalogue source: read into a catalogue with messages that name
// the element and key, and written back from one.
#include "catalogue/catalogue_json.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <set>
#include <stdexcept>
#include <vector>

#include <nlohmann/json.hpp>

#include "catalogue/property_bag.h"

namespace tavjit {

namespace {

// Objects keep their keys in document order, for messages and for dumping.
using Json = nlohmann::ordered_json;

class SourceError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

std::string Quote(std::string_view s) { return "\"" + std::string(s) + "\""; }

// "element 3" or "element 3 "goto"": the name once it is known.
std::string Label(std::string_view what, size_t position, const std::string* name) {
  std::string s = std::string(what) + " " + std::to_string(position);
  if (name) s += " " + Quote(*name);
  return s;
}

[[noreturn]] void Fail(const std::string& where, std::string_view key, std::string_view problem) {
  throw SourceError(where + ": key " + Quote(key) + ": " + std::string(problem));
}

void CheckKeys(const Json& obj, const std::string& where,
               std::initializer_list<std::string_view> known) {
  for (const auto& item : obj.items()) {
    bool ok = false;
    for (std::string_view k : known) ok = ok || item.key() == k;
    if (!ok) throw SourceError(where + ": unknown key " + Quote(item.key()));
  }
}

std::string GetText(const Json& obj, std::string_view key, const std::string& where) {
  auto it = obj.find(std::string(key));
  if (it == obj.end()) return {};
  if (!it->is_string()) Fail(where, key, "expected a string");
  return it->get<std::string>();
}

bool GetTruth(const Json& obj, std::string_view key, const std::string& where) {
  auto it = obj.find(std::string(key));
  if (it == obj.end()) return false;
  if (!it->is_boolean()) Fail(where, key, "expected true or false");
  return it->get<bool>();
}

// A JSON integer as a 32-bit whole number.
std::optional<int32_t> AsInt32(const Json& v) {
  if (v.is_number_unsigned()) {
    auto u = v.get<uint64_t>();
    if (u > INT32_MAX) return std::nullopt;
    return static_cast<int32_t>(u);
  }
  auto i = v.get<int64_t>();
  if (i < INT32_MIN || i > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(i);
}

int32_t GetWhole(const Json& obj, std::string_view key, int32_t absent, const std::string& where) {
  auto it = obj.find(std::string(key));
  if (it == obj.end()) return absent;
  if (!it->is_number_integer()) Fail(where, key, "expected a whole number");
  auto v = AsInt32(*it);
  if (!v) Fail(where, key, "out of the range of a 32-bit whole number");
  return *v;
}

Variant GetDefault(const Json& obj, const std::string& where) {
  auto it = obj.find("default");
  if (it == obj.end() || it->is_null()) return Variant();
  if (it->is_string()) return Variant(it->get<std::string>());
  if (it->is_boolean()) return Variant(it->get<bool>());
  if (it->is_number_integer()) {
    auto v = AsInt32(*it);
    if (!v) Fail(where, "default", "out of the range of a 32-bit whole number");
    return Variant(*v);
  }
  if (it->is_number_float()) return Variant(it->get<double>());
  Fail(where, "default", "expected a string, number, true, false or null");
}

const Json& GetArray(const Json& obj, std::string_view key, const std::string& where) {
  static const Json kEmpty = Json::array();
  auto it = obj.find(std::string(key));
  if (it == obj.end()) return kEmpty;
  if (!it->is_array()) Fail(where, key, "expected an array");
  return *it;
}

void LoadAttribute(const Json& ja, size_t position, const std::string& element_where,
                   CElement& e) {
  std::string where = element_where + ", " + Label("attribute", position, nullptr);
  if (!ja.is_object()) throw SourceError(where + ": expected an object");
  auto name_it = ja.find("name");
  if (name_it == ja.end()) throw SourceError(where + ": key \"name\" is missing");
  if (!name_it->is_string()) Fail(where, "name", "expected a string");
  const std::string name = name_it->get<std::string>();
  where = element_where + ", " + Label("attribute", position, &name);
  CheckKeys(ja, where,
            {"name", "type", "required", "default", "value", "arrayvalues", "description"});

  if (const auto* first = e.Attributes().Find(UpperKey(name)))
    throw SourceError(where + ": key \"name\": duplicate attribute name (" +
                      Quote((*first)->AttributeName()) + " came first)");
  e.Attributes().Add(name, GetWhole(ja, "type", 1, where), GetText(ja, "value", where),
                     GetText(ja, "arrayvalues", where), GetTruth(ja, "required", where),
                     GetDefault(ja, where), GetText(ja, "description", where));
}

void LoadElement(const Json& je, size_t position, CElements& out) {
  std::string where = Label("element", position, nullptr);
  if (!je.is_object()) throw SourceError(where + ": expected an object");
  auto name_it = je.find("name");
  if (name_it == je.end()) throw SourceError(where + ": key \"name\" is missing");
  if (!name_it->is_string()) Fail(where, "name", "expected a string");
  const std::string name = name_it->get<std::string>();
  where = Label("element", position, &name);
  CheckKeys(je, where,
            {"name", "description", "containstext", "textdescription", "textrequired",
             "textmultiline", "parent", "text", "information", "attributes"});

  // A catalogue file would silently keep only the first; a source says so.
  if (const auto* first = out.Find(UpperKey(name)))
    throw SourceError(where + ": key \"name\": duplicate element name (" +
                      Quote((*first)->ElementName()) + " came first)");
  auto e = out.Add(name, GetText(je, "description", where), GetTruth(je, "containstext", where),
                   GetText(je, "textdescription", where), GetTruth(je, "textrequired", where),
                   GetTruth(je, "textmultiline", where), GetText(je, "parent", where),
                   GetText(je, "text", where));
  e->SetInformation(GetText(je, "information", where));
  const Json& attributes = GetArray(je, "attributes", where);
  for (size_t j = 0; j < attributes.size(); ++j) LoadAttribute(attributes[j], j + 1, where, *e);
}

// JSON itself lets a key repeat and keeps the last; a catalogue source
// refuses, since the earlier value would vanish unnoticed.
struct DuplicateKeyCheck {
  std::vector<std::set<std::string>> open;
  size_t element = 0, attribute = 0;
  std::string error;

  bool operator()(int depth, Json::parse_event_t event, Json& parsed) {
    switch (event) {
      case Json::parse_event_t::object_start:
        open.emplace_back();
        // Elements are objects at depth 2, their attributes at depth 4.
        if (depth == 2) ++element, attribute = 0;
        if (depth == 4) ++attribute;
        break;
      case Json::parse_event_t::object_end:
        if (!open.empty()) open.pop_back();
        break;
      case Json::parse_event_t::key:
        if (!open.empty() && !open.back().insert(parsed.get<std::string>()).second &&
            error.empty()) {
          std::string where = "top level";
          if (depth == 3) where = Label("element", element, nullptr);
          if (depth == 5)
            where = Label("element", element, nullptr) + ", " +
                    Label("attribute", attribute, nullptr);
          error = where + ": key " + Quote(parsed.get<std::string>()) + " appears twice";
        }
        break;
      default:
        break;
    }
    return true;
  }
};

Json DefaultToJson(const Variant& v) {
  switch (v.type()) {
    case Variant::Type::Empty: return nullptr;
    case Variant::Type::Text: return *v.AsText();
    case Variant::Type::Int: return *v.AsInt();
    case Variant::Type::Bool: return *v.AsBool();
    case Variant::Type::Double:
      // JSON has no form for infinities and NaN; they come back as null.
      if (!std::isfinite(*v.AsDouble())) return nullptr;
      return *v.AsDouble();
  }
  return nullptr;
}

}  // namespace

bool LoadCatalogueJson(std::string_view json, CElements& out, std::string* error) {
  out.Clear();
  try {
    DuplicateKeyCheck check;
    Json root = Json::parse(json.begin(), json.end(), std::ref(check));
    if (!check.error.empty()) throw SourceError(check.error);
    if (!root.is_object()) throw SourceError("top level: expected an object");
    CheckKeys(root, "top level", {"elements"});
    auto it = root.find("elements");
    if (it == root.end()) throw SourceError("top level: key \"elements\" is missing");
    if (!it->is_array()) Fail("top level", "elements", "expected an array");
    for (size_t i = 0; i < it->size(); ++i) LoadElement((*it)[i], i + 1, out);
    return true;
  } catch (const SourceError& e) {
    if (error) *error = e.what();
  } catch (const Json::exception& e) {
    // "[json.exception.parse_error.101] parse error at line 3, column 5: why"
    // becomes "line 3, column 5: not valid JSON: why".
    std::string what = e.what();
    if (const size_t end = what.find("] "); what.starts_with("[json.") && end != std::string::npos)
      what.erase(0, end + 2);
    std::string place;
    if (what.starts_with("parse error at line ")) {
      what.erase(0, std::string_view("parse error at ").size());
      if (const size_t colon = what.find(": "); colon != std::string::npos) {
        place = what.substr(0, colon) + ": ";
        what.erase(0, colon + 2);
      }
    }
    if (error) *error = place + "not valid JSON: " + what;
  }
  out.Clear();
  return false;
}

std::string DumpCatalogueJson(const CElements& catalogue) {
  Json elements = Json::array();
  for (const auto& e : catalogue) {
    Json attributes = Json::array();
    for (const auto& a : e->Attributes()) {
      Json ja;
      ja["name"] = a->AttributeName();
      ja["type"] = a->DataType();
      ja["required"] = a->Required();
      ja["default"] = DefaultToJson(a->DefaultValue());
      ja["value"] = a->Value();
      ja["arrayvalues"] = a->ArrayValues();
      ja["description"] = a->Description();
      attributes.push_back(std::move(ja));
    }
    Json je;
    je["name"] = e->ElementName();
    je["description"] = e->Description();
    je["containstext"] = e->ContainsText();
    je["textdescription"] = e->TextDescription();
    je["textrequired"] = e->TextRequired();
    je["textmultiline"] = e->TextAllowMultiLine();
    je["parent"] = e->Parent();
    je["text"] = e->Text();
    je["information"] = e->Information();
    je["attributes"] = std::move(attributes);
    elements.push_back(std::move(je));
  }
  Json root;
  root["elements"] = std::move(elements);
  // Text that is not valid UTF-8 cannot be written as JSON; it is replaced
  // rather than making the dump fail.
  return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool IsCatalogueFile(std::string_view bytes) { return bytes.starts_with(kBagMagic); }

bool LoadCatalogueFileBytes(std::string_view bytes, CElements& out, std::string* error) {
  if (!IsCatalogueFile(bytes)) {
    if (error) *error = "not a catalogue file";
    return false;
  }
  out.LoadBytes(bytes);
  return true;
}

}  // namespace tavjit
