// CheckIfValid: the root, its version and edition, the header and the body.
#include "compiler/messages.h"
#include "compiler/tavjit_impl.h"
#include "generator/vocabulary.h"
#include "support/text.h"

namespace tavjit {

namespace {

xml::Node FirstElementFrom(xml::Node n) {
  while (n && !n.IsElement()) n = n.NextSibling();
  return n;
}

bool IsAllowedHeaderElement(std::string_view name) {
  return name == "author" || name == "company" || name == "description" || name == "email" ||
         name == "web";
}

}  // namespace

// A missing version or edition attribute, or nothing after the header,
// stops the validation without a message: Execute then returns False with
// ErrMsg empty.
bool detail::Impl::CheckIfValid(const xml::Document& doc) {
  xml::Node root = doc.Root();
  if (!root) return false;
  const uint32_t root_line = root.Line();
  if (root.Name() != "tav") {
    SetErrMsg(msg::kNotTav, root_line);
    return false;
  }

  std::optional<std::string_view> version = root.Attribute("version");
  if (!version) return false;
  if (*version != "1.0") {
    SetErrMsg(msg::kBadVersion, root_line);
    return false;
  }

  std::optional<std::string_view> edition = root.Attribute("edition");
  if (!edition) return false;
  if (ToLower(TrimSpaces(*edition)) != kEdition) {
    SetErrMsg(msg::kBadEdition, root_line);
    return false;
  }

  xml::Node header = FirstElementFrom(root.FirstChild());
  if (!header) {
    SetErrMsg(msg::kNoHeaderElement, root_line);
    return false;
  }
  if (header.Name() != "tavhead") {
    SetErrMsg(msg::kNotHeader, header.Line());
    return false;
  }
  if (!header.HasChildNodes()) {
    SetErrMsg(msg::kEmptyHeader, header.Line());
    return false;
  }

  bool has_version = false;
  for (xml::Node n = header.FirstChild(); n; n = n.NextSibling()) {
    if (!n.IsElement()) continue;
    const std::string_view name = n.Name();
    if (name == "version")
      has_version = true;
    else if (!IsAllowedHeaderElement(name))
      RaiseWarning(msg::UnsupportedHeaderElement(name), n.Line());
  }
  if (!has_version) {
    SetErrMsg(msg::kNoVersionElement, header.Line());
    return false;
  }

  xml::Node body = FirstElementFrom(header.NextSibling());
  if (!body) return false;
  if (body.Name() != "tavbody") {
    SetErrMsg(msg::kNoBody, body.Line());
    return false;
  }
  return PopulateDoc(body);
}

}  // namespace tavjit
