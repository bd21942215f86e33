// The document walk: the body's elements, in document order, become the
// document element list that the generator translates.
#include <algorithm>

#include "compiler/decode.h"
#include "compiler/explain.h"
#include "compiler/messages.h"
#include "compiler/tavjit_impl.h"
#include "generator/branch_table.h"
#include "support/text.h"

namespace tavjit {

namespace {

// Lists the catalogue's definition of a closing element (endif, endloop)
// after the children of an if or loop; nothing when the catalogue has none.
void AddClosing(detail::Impl& impl, const char* name, Place place) {
  if (const CElements::Ptr* def = impl.catalogue.Find(name)) impl.script.Add(**def, place);
}

std::string LineOf(Place p) {
  return p.line ? " at line " + std::to_string(p.line) : std::string();
}

// The element names a document may write, for "did you mean".
std::vector<std::string_view> WritableNames(const CElements& catalogue) {
  std::vector<std::string_view> names;
  for (const auto& e : catalogue)
    if (e->ElementName() != "endif" && e->ElementName() != "endloop")
      names.push_back(e->ElementName());
  return names;
}

// The note on a name, made once per compile for each key.
template <class Make>
const std::string& NameNote(detail::Impl& impl, std::string key, Make&& make) {
  auto [it, fresh] = impl.name_notes.try_emplace(std::move(key));
  if (fresh) it->second = make();
  return it->second;
}

void ExplainUnsupportedElement(detail::Impl& impl, xml::Node node, std::string_view name) {
  std::string why;
  if (name == "endif" || name == "endloop") {
    why = Code(name) +
          " is not written in documents: the compiler adds it after the children of each " +
          Code(name == "endif" ? "if" : "loop") + "; leave it out";
  } else {
    why = NameNote(impl, std::string(name), [&] {
      return "the catalogue has no element " + Code(name) +
             DidYouMean(name, WritableNames(impl.catalogue));
    });
    for (xml::Node c = node.FirstChild(); c; c = c.NextSibling())
      if (c.IsElement()) {
        why += "; it is skipped with everything inside it";
        break;
      }
  }
  impl.Note(why, node.Where());
}

std::string UnknownAttribute(const CElement& def, std::string_view name) {
  if (name == "xml:space")
    return "`xml:space` is read by the XML parser (\"preserve\" keeps the blanks around the "
           "text); the compiler then finds no such attribute of " + Code(def.ElementName()) +
           ", which does no harm";
  if (name == "xmlns" || name.starts_with("xmlns:"))
    return "namespace declarations belong on the root `tav`, whose other attributes the "
           "compiler ignores";
  std::vector<std::string_view> names;
  for (const auto& a : def.Attributes()) names.push_back(a->AttributeName());
  return Code(def.ElementName()) + " has no attribute " + Code(name) + DidYouMean(name, names) +
         "; it is skipped";
}

bool TakesElements(const CElement& def) {
  const branches::BranchRow* row = branches::FindRow(def.ElementName());
  return row && (row->role == branches::kIf || row->role == branches::kLoop);
}

// An ASCII name written as the catalogue writes it is that attribute's: its
// key is the name folded. Others are looked up by key. With its position.
std::pair<const CAttributes::Ptr*, size_t> FindAttribute(const CElement& def,
                                                         std::string_view name) {
  size_t i = 0;
  for (const CAttributes::Ptr& a : def.Attributes()) {
    if (a->AttributeName() == name && IsAscii(name)) return {&a, i};
    ++i;
  }
  const CAttributes::Ptr* found = def.Attributes().Find(name);
  i = 0;
  for (const CAttributes::Ptr& a : def.Attributes()) {
    if (&a == found) break;
    ++i;
  }
  return {found, i};
}

}  // namespace

const detail::Impl::KnownName& detail::Impl::FindDefinition(std::string_view name) {
  auto at = [&name](size_t i) { return static_cast<size_t>(static_cast<unsigned char>(name[i])); };
  const size_t n = name.size();
  KnownName& k = known_names_[n ? (n * 131 + at(0) * 31 + at(n / 2) * 7 + at(n - 1)) % 256 : 0];
  if (!k.set || k.name != name) {
    k.name.assign(name);
    k.definition = catalogue.Find(name);
    const auto loaded = k.definition ? loaded_at.find(k.definition->get()) : loaded_at.end();
    k.loaded = loaded == loaded_at.end() ? SIZE_MAX : loaded->second;
    k.set = true;
  }
  return k;
}


// Attribute values and texts are written into the catalogue's definition
// before it is listed, so a value carries over to later elements of the same
// name, and to later documents on the same instance.
bool detail::Impl::PopulateDoc(xml::Node parent) {
  for (xml::Node node = parent.FirstChild(); node; node = node.NextSibling()) {
    if (!node.IsElement()) continue;
    const std::string_view name = node.Name();
    const Place place = node.Where();
    const KnownName& known = FindDefinition(name);
    const CElements::Ptr* found = known.definition;
    if (!found || name == "endif" || name == "endloop") {
      RaiseWarning(msg::UnsupportedElement(name), place);
      if (explain) ExplainUnsupportedElement(*this, node, name);
      continue;
    }
    CElement& def = **found;

    if (linter) ++walked_;
    node.ForEachAttribute([&](std::string_view attr_name, std::string_view value) {
      const auto [attr, position] = FindAttribute(def, attr_name);
      if (!attr) {
        RaiseWarning(msg::UnsupportedAttribute(attr_name, name), place);
        if (explain)
          Note(NameNote(*this, def.ElementName() + " " + std::string(attr_name),
                        [&] { return UnknownAttribute(def, attr_name); }),
               place);
        return;
      }
      // A value given back as it is has no `&` to decode twice.
      const std::string_view decoded = TAVDecodeView(value, &decoded_);
      if (linter) {
        if (const size_t at = ValueIndex(known.loaded, position); at != SIZE_MAX)
          written_[at] = {place, walked_};
        if (decoded.data() != value.data()) NoteDecodedTwice(def, place, attr_name, value);
      }
      (*attr)->SetValue(decoded);
    });
    if (def.ContainsText()) {
      const std::string text = node.Text();
      const std::string_view decoded = TAVDecodeView(text, &decoded_);
      if (linter && decoded.data() != text.data()) NoteDecodedTwice(def, place, {}, text);
      def.SetText(decoded);
    }
    if (linter) {
      NoteCarriedValues(def, place, known.loaded);
      bool nested = false;  // most children are the element's text
      for (xml::Node c = node.FirstChild(); c && !nested; c = c.NextSibling())
        nested = c.IsElement();
      if (nested && !TakesElements(def)) NoteNested(node, def);
    }

    script.Add(def, place);

    if (node.HasChildNodes() && !PopulateDoc(node)) return false;

    if (name == "if")
      AddClosing(*this, "endif", place);
    else if (name == "loop")
      AddClosing(*this, "endloop", place);
  }
  return script.Run();
}

void detail::Impl::NoteAfterBody(xml::Node body) {
  for (xml::Node n = body.NextSibling(); n; n = n.NextSibling()) {
    if (!n.IsElement()) continue;
    linter->NoteAt(n.Where(), n.Name() == "tavbody"
                                  ? "a second `tavbody` is never compiled: only the first body "
                                    "of a document is read; move its elements into the first"
                                  : Code(n.Name()) + " stands after the body `tavbody`" +
                                        LineOf(body.Where()) +
                                        ", where nothing is compiled; move it into the body");
  }
}

void detail::Impl::NoteNested(xml::Node node, const CElement& def) {
  for (xml::Node c = node.FirstChild(); c; c = c.NextSibling()) {
    if (!c.IsElement()) continue;
    std::string message =
        Code(c.Name()) + " stands inside " + Code(def.ElementName()) + LineOf(node.Where());
    if (def.ContainsText())
      message += ", which takes text: the text inside " + Code(c.Name()) + " joins the text of " +
                 Code(def.ElementName()) + ", and " + Code(c.Name()) + " is compiled too, after it";
    else
      message += ", which holds no elements: it is compiled as if it followed it";
    linter->NoteAt(c.Where(), message + "; move it out (only `if` and `loop` hold elements)");
  }
}

void detail::Impl::NoteCarriedValues(const CElement& def, Place place, size_t loaded) {
  uint32_t position = 0;
  for (const auto& attr : def.Attributes()) {
    const size_t at = ValueIndex(loaded, position++);
    if (at == SIZE_MAX) return;
    const Written& w = written_[at];
    if (w.element == walked_ || attr->Value() == loaded_values[at]) continue;  // given, or as loaded
    const bool from_here = w.element > compile_start_;
    carried_.push_back({place, w.place, &def, at, carried_text_.size(),
                        static_cast<uint32_t>(attr->Value().size()), position - 1,
                        static_cast<uint32_t>(linter->Noted()), from_here});
    carried_text_ += attr->Value();
  }
}

void detail::Impl::MakeCarriedNotes() {
  auto code = [](std::string& s, std::string_view v) { s.append(1, '`').append(v) += '`'; };
  std::string m;
  for (const CarriedValue& c : carried_) {
    const CAttribute& attr = *c.def->Attributes().Item(static_cast<int32_t>(c.attribute) + 1);
    const std::string& as_loaded = loaded_values[c.loaded];
    m.clear();
    code(m, c.def->ElementName());
    m += " leaves out ";
    code(m, attr.AttributeName());
    m += ", so it takes ";
    code(m, std::string_view(carried_text_).substr(c.value, c.value_size));
    m += ", the value ";
    if (c.from_here) {
      m += "that the ";
      code(m, c.def->ElementName());
      m += LineOf(c.from);
      m += " gave it";
    } else {
      m += "that an earlier document gave it";
    }
    m += ", rather than ";
    if (!as_loaded.empty()) {
      code(m, as_loaded);
    } else if (attr.Required() && !attr.DefaultValue().ToText().empty()) {
      m += "its default ";
      code(m, attr.DefaultValue().ToText());
    } else {
      m += "no value";
    }
    m += "; give ";
    code(m, attr.AttributeName());
    m += " here if that is not meant";
    linter->NoteAt(c.place, m, c.before);  // a copy the size of the message
  }
  carried_.clear();
  carried_text_.clear();
}

// Values and texts arrive with XML's references resolved; TAVDecode then
// resolves a few again. `&amp;#10;`, `&amp;#9;` and `&amp;#160;` are how
// documents keep line breaks, tabs and blanks that trimming would take; the
// others surprise an author who escaped them once.
void detail::Impl::NoteDecodedTwice(const CElement& def, Place place, std::string_view what,
                                    std::string_view value) {
  if (value.find('&') == std::string_view::npos) return;
  static constexpr std::string_view kRefs[] = {"&quot;", "&gt;", "&lt;", "&amp;"};
  for (std::string_view ref : kRefs) {
    if (value.find(ref) == std::string_view::npos) continue;
    const std::string whose = what.empty() ? "the text of " + Code(def.ElementName())
                                           : Code(what) + " of " + Code(def.ElementName());
    linter->NoteAt(
        place, whose + " holds " + Code(ref) + " once XML has read it (the file has `&amp;" +
                   std::string(ref.substr(1)) +
                   "`), and the compiler decodes it a second time, into " + Code(TAVDecode(ref)) +
                   "; to keep " + Code(ref) + " write its `&` as `&amp;amp;` in the file");
    return;
  }
}

}  // namespace tavjit
