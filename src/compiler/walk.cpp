// The document walk: the body's elements become the document element list.
#include <utility>
#include <vector>

#include "compiler/tavjit_impl.h"
#include "generator/generator.h"
#include "support/messages.h"

namespace tavjit {

std::string CTavJIT::Impl::GetUniqueKey() {
  if (doc_list.Count() == 0) return "K1";
  for (int32_t n = unique_key_hint; n <= doc_list.Count() + 1; ++n) {
    std::string key = "K" + std::to_string(n);
    if (!doc_list.Find(key)) return key;
    unique_key_hint = n + 1;
  }
  // Unreachable: count + 1 keys cannot all be present among count records.
  return "K" + std::to_string(doc_list.Count() + 1);
}

namespace {

// Adds the catalogue's definition of a closing element (endif, endloop)
// after the children of an if or loop; nothing when the catalogue has none.
void AddClosing(CTavJIT::Impl& impl, const char* name, uint32_t line) {
  const CElements::Ptr* def = impl.catalogue.Find(name);
  if (!def) return;
  impl.doc_list.AddObject(**def, impl.GetUniqueKey());
  impl.doc_list.Item(impl.doc_list.Count())->SetSourceLine(line);
}

}  // namespace

// Attribute values and texts are written into the catalogue's definition
// before it is copied, so a value carries over to later elements of the same
// name, and to later documents on the same instance.
bool CTavJIT::Impl::PopulateDoc(xml::Node parent) {
  for (xml::Node node = parent.FirstChild(); node; node = node.NextSibling()) {
    if (!node.IsElement()) continue;
    const std::string name = node.Name();
    const uint32_t line = node.Line();
    const CElements::Ptr* found = catalogue.Find(name);
    if (!found || name == "endif" || name == "endloop") {
      RaiseWarning(msg::UnsupportedElement(name), line);
      continue;
    }
    CElement& def = **found;

    node.ForEachAttribute([&](const std::string& attr_name, const std::string& value) {
      const CAttributes::Ptr* attr = def.Attributes().Find(attr_name);
      if (!attr) {
        RaiseWarning(msg::UnsupportedAttribute(attr_name, name), line);
        return;
      }
      (*attr)->SetValue(TAVDecode(value));
    });
    if (def.ContainsText()) def.SetText(TAVDecode(node.Text()));

    doc_list.AddObject(def, GetUniqueKey());
    doc_list.Item(doc_list.Count())->SetSourceLine(line);

    if (node.HasChildNodes() && !PopulateDoc(node)) return false;

    if (name == "if")
      AddClosing(*this, "endif", line);
    else if (name == "loop")
      AddClosing(*this, "endloop", line);
  }
  return CreateScript();
}

bool CTavJIT::Impl::CreateScript() {
  return tavjit::CreateScript(
      doc_list, variables, text,
      [this](const std::string& msg, const CElement& element) {
        SetErrMsg(msg, element.SourceLine());
      });
}

}  // namespace tavjit
