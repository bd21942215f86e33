// CheckIfValid: the root, its version and edition, the header and the body.
#include "compiler/explain.h"
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

// "the first element in `tav` is `x`; it must be `tavhead`", with a word on
// letter case where only that differs.
std::string NotNamed(std::string_view what, std::string_view name, std::string_view wanted) {
  std::string s = what.empty() ? std::string() : std::string(what) + " is " + Code(name) + "; ";
  s += "it must be " + Code(wanted);
  if (name != wanted && EqualsAsciiNoCase(name, wanted))
    s += ", in lower case: names are compared as written";
  return s;
}

}  // namespace

// A missing version or edition attribute, or nothing after the header,
// stops the validation without a message: Execute then returns False with
// ErrMsg empty.
bool detail::Impl::CheckIfValid(const xml::Document& doc) {
  xml::Node root = doc.Root();
  if (!root) return false;
  const Place root_place = root.Where();
  if (root.Name() != "tav") {
    SetErrMsg(msg::kNotTav, root_place);
    if (explain) Note(NotNamed("the root element", root.Name(), "tav"), root_place);
    return false;
  }

  std::optional<std::string_view> version = root.Attribute("version");
  if (!version) {
    Explain(Severity::Error,
            "the root `tav` has no `version` attribute, and the compile stops without a "
            "message; write version=\"1.0\"",
            root_place);
    return false;
  }
  if (*version != "1.0") {
    SetErrMsg(msg::kBadVersion, root_place);
    if (explain)
      Note("`version` is " + Code(*version) + "; it must be exactly `1.0`, without blanks",
           root_place);
    return false;
  }

  std::optional<std::string_view> edition = root.Attribute("edition");
  if (!edition) {
    Explain(Severity::Error,
            "the root `tav` has no `edition` attribute, and the compile stops without a "
            "message; write edition=\"korvane\"",
            root_place);
    return false;
  }
  if (ToLower(TrimSpaces(*edition)) != kEdition) {
    SetErrMsg(msg::kBadEdition, root_place);
    if (explain)
      Note("`edition` is " + Code(*edition) +
               "; it must be korvane (letter case and blanks around it do not count)",
           root_place);
    return false;
  }

  xml::Node header = FirstElementFrom(root.FirstChild());
  if (!header) {
    SetErrMsg(msg::kNoHeaderElement, root_place);
    if (explain)
      Note("`tav` holds no element: the header `tavhead` comes first in it, then the body "
           "`tavbody`",
           root_place);
    return false;
  }
  const Place header_place = header.Where();
  if (header.Name() != "tavhead") {
    SetErrMsg(msg::kNotHeader, header_place);
    if (explain)
      Note(NotNamed("the first element in `tav`", header.Name(), "tavhead"), header_place);
    return false;
  }
  if (!header.HasChildNodes()) {
    SetErrMsg(msg::kEmptyHeader, header_place);
    if (explain)
      Note("`tavhead` is empty; it must hold a `version` element, such as `<version>1</version>`",
           header_place);
    return false;
  }

  static const std::vector<std::string_view> kHeaderNames = {"version", "author", "company",
                                                             "description", "email", "web"};
  bool has_version = false;
  std::string_view near_version;
  for (xml::Node n = header.FirstChild(); n; n = n.NextSibling()) {
    if (!n.IsElement()) continue;
    const std::string_view name = n.Name();
    if (name == "version") {
      has_version = true;
    } else if (!IsAllowedHeaderElement(name)) {
      RaiseWarning(msg::UnsupportedHeaderElement(name), n.Where());
      if (!explain) continue;
      const std::string closest = ClosestName(name, kHeaderNames);
      if (closest == "version" && near_version.empty()) near_version = name;
      Note("the header takes `version`, `author`, `company`, `description`, `email` and `web`, "
           "written in lower case; anything else is skipped" +
               (closest.empty() ? std::string() : " (did you mean " + Code(closest) + "?)"),
           n.Where());
    }
  }
  if (!has_version) {
    SetErrMsg(msg::kNoVersionElement, header_place);
    if (explain)
      Note("`tavhead` holds no element named `version`" +
               (near_version.empty()
                    ? std::string()
                    : " (" + Code(near_version) + " is not, names are case-sensitive)") +
               "; add `<version>1</version>`",
           header_place);
    return false;
  }

  xml::Node body = FirstElementFrom(header.NextSibling());
  if (!body) {
    Explain(Severity::Error,
            "no element follows the header `tavhead`: the body `tavbody` must come after it, and "
            "the compile stops without a message",
            header_place);
    return false;
  }
  if (body.Name() != "tavbody") {
    SetErrMsg(msg::kNoBody, body.Where());
    if (explain)
      Note(NotNamed("the element after the header", body.Name(), "tavbody"), body.Where());
    return false;
  }
  if (linter) NoteAfterBody(body);
  return PopulateDoc(body);
}

}  // namespace tavjit
