// Hover: what an element or attribute is, what an element yields in this
// document, and where a variable is declared.
#include "lsp/feature_support.h"

namespace tavjit::lsp {

namespace {

std::string ScriptLines(std::string_view block) {
  std::string out;
  for (char c : block)
    if (c != '\r') out += c;
  return out;
}

// The script of the element a start tag opens, from the blocks the compile
// recorded: the k-th block of its name at its line belongs to the k-th such
// tag on that line.
std::optional<std::string> Yield(const Document& doc, const Scan& scan, const Catalogue& cat,
                                 const CompileResult& result, const Tag& tag,
                                 const ElementDescription& e) {
  const uint32_t line = doc.LineOf(tag.whole.begin);
  const Span l = doc.LineSpan(line);
  size_t k = 0;
  for (const Tag& t : scan.tags) {
    if (&t == &tag) break;
    if (t.whole.begin >= l.begin && t.kind == Tag::Kind::Start &&
        EqualsNoCase(scan.Str(t.name), e.name) && BodyElement(scan, cat, t))
      ++k;
  }
  const std::string closing = e.name == "if" ? "endif" : e.name == "loop" ? "endloop" : "";
  std::optional<std::string> own, close;
  size_t seen_own = 0, seen_close = 0;
  for (const ScriptBlock& b : result.blocks) {
    if (b.line != line + 1) continue;
    if (EqualsNoCase(b.element, e.name) && seen_own++ == k) own = ScriptLines(b.block);
    if (!closing.empty() && EqualsNoCase(b.element, closing) && seen_close++ == k)
      close = ScriptLines(b.block);
  }
  if (!own) return std::nullopt;
  return *own + (close ? "...\n" + *close : "");
}

std::optional<Hover> VariableHover(const Document& doc, const Scan& scan, const Catalogue& cat,
                                   size_t offset) {
  std::optional<VariableHere> v = VariableAt(scan, cat, offset);
  if (!v) return std::nullopt;
  std::string md = "variable `" + v->name + "`";
  const std::vector<Declaration> decls = Declarations(scan, cat);
  auto decl = std::find_if(decls.begin(), decls.end(),
                           [&](const Declaration& d) { return EqualsNoCase(d.name, v->name); });
  if (decl == decls.end()) {
    md += ": no `var` or `range` declares it, so the script keeps the reference as written";
  } else {
    md = std::string(decl->range ? "range" : "variable") + " `" + decl->name + "`, declared by `<" +
         std::string(scan.NameOf(decl->element)) + ">` on line " +
         std::to_string(doc.LineOf(decl->span.begin) + 1);
    if (decl->range) {
      md += "; its parts:";
      for (std::string_view p : kRangeProperties) md += " `%" + decl->name + "." + std::string(p) + "%`";
    }
  }
  return Hover{md, doc.RangeOf(v->span)};
}

}  // namespace

std::optional<Hover> HoverAt(const Document& doc, const Scan& scan, const Catalogue& cat,
                             const CompileResult* result, Position at) {
  const size_t offset = doc.OffsetAt(at);
  if (std::optional<Hover> h = VariableHover(doc, scan, cat, offset)) return h;
  const Tag* tag = scan.TagAt(offset);
  if (!tag) return std::nullopt;
  const Tag* start = tag;
  if (tag->kind == Tag::Kind::End) {
    const int e = scan.ElementAt(tag->whole.begin);
    if (e < 0 || !tag->name.Contains(offset)) return std::nullopt;
    start = &scan.StartTag(e);
  }
  const ElementDescription* e = BodyElement(scan, cat, *start);
  if (tag->name.Contains(offset)) {
    if (!e) {
      const int parent = scan.ElementAt(start->whole.begin);
      if (parent < 0 || parent != scan.head) return std::nullopt;
      for (const HeaderElementDescription& h : cat.Description().header)
        if (h.name == scan.Str(start->name))
          return Hover{"**" + h.name + "**: " + h.description, doc.RangeOf(tag->name)};
      return std::nullopt;
    }
    std::string md = ElementMarkdown(*e);
    if (result)
      if (std::optional<std::string> y = Yield(doc, scan, cat, *result, *start, *e))
        md += "\n\nIn this document it yields:\n```vb\n" + *y + "```";
    return Hover{md, doc.RangeOf(tag->name)};
  }
  if (!e) return std::nullopt;
  for (const ScannedAttribute& a : tag->attributes) {
    const bool on_value = a.has_value && a.value.Contains(offset) && offset > a.name.end;
    if (!a.name.Contains(offset) && !on_value) continue;
    const AttributeDescription* ad = Catalogue::Attribute(*e, scan.Str(a.name));
    if (!ad) return std::nullopt;
    return Hover{AttributeMarkdown(*e, *ad), doc.RangeOf(on_value ? a.value : a.name)};
  }
  return std::nullopt;
}

}  // namespace tavjit::lsp
