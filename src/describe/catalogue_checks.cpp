// What in a catalogue cannot work as its author meant: checked when it is
// built from its JSON source.
#include "catalogue/catalogue_json.h"
#include "describe/document_shape.h"
#include "generator/branch_table.h"
#include "tavjit/catalogue.hpp"

namespace tavjit {

std::optional<std::vector<std::string>> CatalogueWarnings(std::string_view catalogue_bytes,
                                                          std::string* error) {
  CElements catalogue;
  if (!LoadCatalogueFileBytes(catalogue_bytes, catalogue, error)) return std::nullopt;
  std::vector<std::string> out;
  if (catalogue.Count() == 0)
    out.push_back("elements: the list is empty, so every element of a document is unsupported");
  size_t i = 0;
  for (const auto& e : catalogue) {
    const std::string at = "elements[" + std::to_string(i++) + "]";
    const std::string& name = e->ElementName();
    if (!shape::IsXmlName(name))
      out.push_back(at + ".name: \"" + name + "\" is not an XML name, so no document can write it");
    else if (!branches::FindRow(name))
      out.push_back(at + ".name: \"" + name +
                    "\" has no line in the compiler (names are matched exactly, in lower case), "
                    "so it compiles to an empty line");
    size_t j = 0;
    for (const auto& a : e->Attributes()) {
      const std::string attr = at + ".attributes[" + std::to_string(j++) + "]";
      const std::string& aname = a->AttributeName();
      const std::string of = " (\"" + aname + "\" of \"" + name + "\")";
      if (!shape::IsXmlName(aname) || aname == "xmlns")
        out.push_back(attr + ".name: \"" + aname + "\" is not an XML attribute name" +
                      " of \"" + name + "\", so no document can write it");
      const int32_t type = a->DataType();
      if (type != 1 && (type < 5 || type > 8))
        out.push_back(attr + ".type" + of + ": " + std::to_string(type) +
                      " is no type, so the attribute takes any text (types: 5 number, 6 true "
                      "or false, 7 choice, 8 variable name, 1 text)");
      if (!a->Required() && !a->DefaultValue().ToText().empty())
        out.push_back(attr + ".default" + of +
                      ": never read, since the compiler fills in defaults for required "
                      "attributes only; give it as \"value\" or make the attribute required");
    }
  }
  return out;
}

}  // namespace tavjit
