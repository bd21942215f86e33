// Structure: the outline of control flow and declarations, and folding.
#include "lsp/feature_support.h"

namespace tavjit::lsp {

namespace {

void Collect(const Document& doc, const Scan& scan, const Catalogue& cat, int parent,
             std::vector<Symbol>& out) {
  for (int e : scan.elements[parent].children) {
    const Tag& tag = scan.StartTag(e);
    const ElementDescription* d = BodyElement(scan, cat, tag);
    const std::string name = d ? d->name : "";
    auto attr = [&](std::string_view a) {
      const ScannedAttribute* s = scan.FindAttribute(tag, a);
      return s ? Readable(scan.Str(s->value)) : std::string();
    };
    Symbol s;
    s.range = doc.RangeOf({tag.whole.begin, scan.elements[e].end});
    s.selection = doc.RangeOf(tag.name);
    if (name == "if" || name == "loop") {
      s.name = name + " " + attr(name == "if" ? "expression" : "statement");
      s.kind = SymbolKind::Operator;
      Collect(doc, scan, cat, e, s.children);
    } else if (name == "else") {
      s.name = "else";
      s.kind = SymbolKind::Operator;
    } else if (name == "var" || name == "range") {
      s.name = attr("name");
      s.detail = name;
      s.kind = SymbolKind::Variable;
    } else {
      // Other elements only matter for what they hold.
      Collect(doc, scan, cat, e, out);
      continue;
    }
    if (s.name.empty()) s.name = name;
    out.push_back(std::move(s));
  }
}

}  // namespace

std::vector<Symbol> Outline(const Document& doc, const Scan& scan, const Catalogue& cat) {
  std::vector<Symbol> out;
  if (scan.body >= 0) Collect(doc, scan, cat, scan.body, out);
  return out;
}

std::vector<Fold> Folds(const Document& doc, const Scan& scan) {
  std::vector<Fold> out;
  for (const ScannedElement& e : scan.elements) {
    if (!e.end_tag) continue;
    const uint32_t a = doc.LineOf(scan.tags[e.tag].whole.begin);
    const uint32_t b = doc.LineOf(scan.tags[*e.end_tag].whole.begin);
    // The end tag's line stays visible.
    if (b > a + 1) out.push_back({a, b - 1, false});
  }
  for (const Span& c : scan.comments) {
    const uint32_t a = doc.LineOf(c.begin), b = doc.LineOf(c.end > c.begin ? c.end - 1 : c.end);
    if (b > a) out.push_back({a, b, true});
  }
  return out;
}

}  // namespace tavjit::lsp
