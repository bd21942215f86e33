// The document walk: the body's elements, in document order, become the
// document element list that the generator translates.
#include "compiler/decode.h"
#include "compiler/messages.h"
#include "compiler/tavjit_impl.h"
#include "support/text.h"

namespace tavjit {

namespace {

// Lists the catalogue's definition of a closing element (endif, endloop)
// after the children of an if or loop; nothing when the catalogue has none.
void AddClosing(detail::Impl& impl, const char* name, uint32_t line) {
  if (const CElements::Ptr* def = impl.catalogue.Find(name)) impl.script.Add(**def, line);
}

// An ASCII name written as the catalogue writes it is that attribute's: its
// key is the name folded. Others are looked up by key.
const CAttributes::Ptr* FindAttribute(const CElement& def, std::string_view name) {
  for (const CAttributes::Ptr& a : def.Attributes())
    if (a->AttributeName() == name && IsAscii(name)) return &a;
  return def.Attributes().Find(name);
}

}  // namespace

const CElements::Ptr* detail::Impl::FindDefinition(std::string_view name) {
  auto at = [&name](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(name[i])); };
  const size_t n = name.size();
  KnownName& k = known_names_[n ? (n * 131 + at(0) * 31 + at(n / 2) * 7 + at(n - 1)) % 256 : 0];
  if (!k.set || k.name != name) {
    k.name.assign(name);
    k.definition = catalogue.Find(name);
    k.set = true;
  }
  return k.definition;
}


// Attribute values and texts are written into the catalogue's definition
// before it is listed, so a value carries over to later elements of the same
// name, and to later documents on the same instance.
bool detail::Impl::PopulateDoc(xml::Node parent) {
  for (xml::Node node = parent.FirstChild(); node; node = node.NextSibling()) {
    if (!node.IsElement()) continue;
    const std::string_view name = node.Name();
    const uint32_t line = node.Line();
    const CElements::Ptr* found = FindDefinition(name);
    if (!found || name == "endif" || name == "endloop") {
      RaiseWarning(msg::UnsupportedElement(name), line);
      continue;
    }
    CElement& def = **found;

    node.ForEachAttribute([&](std::string_view attr_name, std::string_view value) {
      const CAttributes::Ptr* attr = FindAttribute(def, attr_name);
      if (!attr) {
        RaiseWarning(msg::UnsupportedAttribute(attr_name, name), line);
        return;
      }
      (*attr)->SetValue(TAVDecodeView(value, &decoded_));
    });
    if (def.ContainsText()) def.SetText(TAVDecodeView(node.Text(), &decoded_));

    script.Add(def, line);

    if (node.HasChildNodes() && !PopulateDoc(node)) return false;

    if (name == "if")
      AddClosing(*this, "endif", line);
    else if (name == "loop")
      AddClosing(*this, "endloop", line);
  }
  return script.Run();
}

}  // namespace tavjit
