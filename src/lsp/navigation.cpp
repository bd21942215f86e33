// Navigation over variables, matched without regard to case as the compiler
// splices them.
#include <algorithm>

#include "lsp/feature_support.h"

namespace tavjit::lsp {

namespace {

bool IsNumber(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+';
  });
}

std::vector<Occurrence> AllOccurrences(const Scan& scan, const Catalogue& cat) {
  std::vector<Occurrence> out;
  const std::vector<Declaration> decls = Declarations(scan, cat);
  for (const Declaration& d : decls) out.push_back({d.span, true, true});
  for (const Tag& tag : scan.tags) {
    if (tag.kind != Tag::Kind::Start) continue;
    const ElementDescription* e = BodyElement(scan, cat, tag);
    if (!e) continue;
    const bool declares = EqualsNoCase(e->name, "var") || EqualsNoCase(e->name, "range");
    for (const ScannedAttribute& a : tag.attributes) {
      const AttributeDescription* ad = Catalogue::Attribute(*e, scan.Str(a.name));
      if (!ad || !a.has_value || (declares && EqualsNoCase(ad->name, "name"))) continue;
      const Span v = Trimmed(scan, a.value);
      const std::string_view value = scan.Str(v);
      // Number and true-or-false values may name a variable bare; with
      // percent signs they are references, found below.
      const bool names = ad->type == 8 || ((ad->type == 5 || ad->type == 6) && !IsNumber(value) &&
                                           !EqualsNoCase(value, "true") &&
                                           !EqualsNoCase(value, "false"));
      if (names && IsVariableName(value)) out.push_back({v, false, ad->type == 8});
    }
  }
  for (const Reference& r : scan.references) out.push_back({r.name, false, false});
  std::sort(out.begin(), out.end(),
            [](const Occurrence& a, const Occurrence& b) { return a.name.begin < b.name.begin; });
  return out;
}

}  // namespace

std::optional<VariableHere> VariableAt(const Scan& scan, const Catalogue& cat, size_t offset) {
  const std::vector<Occurrence> all = AllOccurrences(scan, cat);
  auto here = std::find_if(all.begin(), all.end(),
                           [&](const Occurrence& o) { return o.name.Contains(offset); });
  if (here == all.end()) return std::nullopt;
  VariableHere v{std::string(scan.Str(here->name)), here->name, {}};
  for (const Occurrence& o : all)
    if (EqualsNoCase(scan.Str(o.name), v.name)) v.occurrences.push_back(o);
  return v;
}

std::vector<Range> Definition(const Document& doc, const Scan& scan, const Catalogue& cat,
                              Position at) {
  std::optional<VariableHere> v = VariableAt(scan, cat, doc.OffsetAt(at));
  if (!v) return {};
  // A second declaration of a name changes nothing: the first one counts.
  for (const Occurrence& o : v->occurrences)
    if (o.declaration) return {doc.RangeOf(o.name)};
  return {};
}

std::vector<Range> References(const Document& doc, const Scan& scan, const Catalogue& cat,
                              Position at, bool include_declaration) {
  std::vector<Range> out;
  if (std::optional<VariableHere> v = VariableAt(scan, cat, doc.OffsetAt(at)))
    for (const Occurrence& o : v->occurrences)
      if (include_declaration || !o.declaration) out.push_back(doc.RangeOf(o.name));
  return out;
}

std::vector<Highlight> Highlights(const Document& doc, const Scan& scan, const Catalogue& cat,
                                  Position at) {
  std::vector<Highlight> out;
  if (std::optional<VariableHere> v = VariableAt(scan, cat, doc.OffsetAt(at)))
    for (const Occurrence& o : v->occurrences)
      out.push_back({doc.RangeOf(o.name), o.write ? HighlightKind::Write : HighlightKind::Read});
  return out;
}

std::optional<RenameTarget> PrepareRename(const Document& doc, const Scan& scan,
                                          const Catalogue& cat, Position at) {
  std::optional<VariableHere> v = VariableAt(scan, cat, doc.OffsetAt(at));
  if (!v) return std::nullopt;
  return RenameTarget{doc.RangeOf(v->span), v->name};
}

std::variant<std::vector<TextEdit>, std::string> Rename(const Document& doc, const Scan& scan,
                                                        const Catalogue& cat, Position at,
                                                        std::string_view new_name) {
  std::optional<VariableHere> v = VariableAt(scan, cat, doc.OffsetAt(at));
  if (!v) return std::string("no variable here to rename");
  if (!IsVariableName(new_name))
    return "`" + std::string(new_name) +
           "` is not a variable name: letters, digits and underscores, not starting with a digit";
  if (!EqualsNoCase(new_name, v->name))
    for (const Declaration& d : Declarations(scan, cat))
      if (EqualsNoCase(d.name, new_name))
        return "a variable named `" + d.name + "` is declared already";
  std::vector<TextEdit> edits;
  for (const Occurrence& o : v->occurrences)
    edits.push_back({doc.RangeOf(o.name), std::string(new_name)});
  return edits;
}

}  // namespace tavjit::lsp
