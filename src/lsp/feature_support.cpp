#include "lsp/feature_support.h"

namespace tavjit::lsp {

Span Trimmed(const Scan& scan, Span s) {
  while (s.begin < s.end && scan.text[s.begin] == ' ') ++s.begin;
  while (s.end > s.begin && scan.text[s.end - 1] == ' ') --s.end;
  return s;
}

std::string Readable(std::string_view raw) {
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"&lt;", '<'}, {"&gt;", '>'}, {"&amp;", '&'}, {"&quot;", '"'}, {"&apos;", '\''}};
  std::string out;
  for (size_t i = 0; i < raw.size(); ++i) {
    bool replaced = false;
    if (raw[i] == '&')
      for (const auto& [ref, c] : kNamed)
        if (raw.substr(i, ref.size()) == ref) {
          out += c;
          i += ref.size() - 1;
          replaced = true;
          break;
        }
    if (!replaced) out += raw[i];
  }
  return out;
}

const ElementDescription* BodyElement(const Scan& scan, const Catalogue& cat, const Tag& tag) {
  const int parent = scan.ElementAt(tag.whole.begin);
  if (parent < 0 || (parent != scan.body && !scan.InBody(parent))) return nullptr;
  const ElementDescription* e = cat.Element(scan.Str(tag.name));
  // The walk skips what the document writes as endif or endloop.
  if (!e || e->place == ElementDescription::Place::Nowhere) return nullptr;
  return e;
}

std::vector<Declaration> Declarations(const Scan& scan, const Catalogue& cat) {
  std::vector<Declaration> out;
  for (int e = 0; e < static_cast<int>(scan.elements.size()); ++e) {
    const Tag& tag = scan.StartTag(e);
    const std::string_view name = scan.Str(tag.name);
    const bool var = EqualsNoCase(name, "var"), range = EqualsNoCase(name, "range");
    if ((!var && !range) || !BodyElement(scan, cat, tag)) continue;
    if (const ScannedAttribute* a = scan.FindAttribute(tag, "name"); a && a->has_value) {
      const Span s = Trimmed(scan, a->value);
      if (IsVariableName(scan.Str(s))) out.push_back({std::string(scan.Str(s)), s, range, e});
    }
  }
  return out;
}

namespace {

std::string AttributeLine(const AttributeDescription& a) {
  std::string s = "`" + a.name + "`: " + a.type_in_words;
  if (a.must_be_written)
    s += ", required";
  else if (a.required)
    s += ", required (default " + a.value_when_left_out + ")";
  else if (!a.value_when_left_out.empty())
    s += ", default " + a.value_when_left_out;
  return s;
}

}  // namespace

std::string ElementMarkdown(const ElementDescription& e) {
  std::string s = "**" + e.name + "**";
  if (!e.description.empty()) s += ": " + e.description;
  if (e.contains_text && !e.text_description.empty())
    s += "\n\nText" + std::string(e.text_required ? " (required)" : "") + ": " + e.text_description;
  if (!e.information.empty()) s += "\n\n" + e.information;
  if (!e.attributes.empty()) {
    s += "\n";
    for (const AttributeDescription& a : e.attributes) {
      s += "\n- " + AttributeLine(a);
      if (!a.description.empty()) s += ". " + a.description;
    }
  }
  return s;
}

std::string AttributeMarkdown(const ElementDescription& e, const AttributeDescription& a) {
  std::string s = "**" + a.name + "** of **" + e.name + "**: " + AttributeLine(a).substr(a.name.size() + 4);
  if (!a.description.empty()) s += "\n\n" + a.description;
  if (!a.choices.empty()) {
    s += "\n\nValues:";
    for (const std::string& c : a.choices) s += " `" + c + "`";
  }
  return s;
}

}  // namespace tavjit::lsp
