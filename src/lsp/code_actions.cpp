// Quick fixes.
#include <set>

#include "lsp/feature_support.h"

namespace tavjit::lsp {

namespace {

bool Overlaps(Range a, Range b) { return a.start <= b.end && b.start <= a.end; }

class Fixer {
 public:
  Fixer(const Document& doc, const Scan& scan, const Catalogue& cat)
      : doc_(doc), scan_(scan), cat_(cat) {}

  void ForDiagnostic(const Diagnostic& d);
  void ForTag(const Tag& tag);
  std::vector<CodeAction> Take() { return std::move(out_); }

 private:
  void Add(std::string title, std::vector<TextEdit> edits, const Diagnostic* d, bool preferred) {
    for (CodeAction& a : out_)
      if (a.title == title) {
        if (d) a.fixes.push_back(d);
        return;
      }
    CodeAction a{std::move(title), std::move(edits), preferred, {}};
    if (d) a.fixes.push_back(d);
    out_.push_back(std::move(a));
  }
  // Renames an element: its start tag and its end tag.
  std::vector<TextEdit> RenameElement(const Tag& tag, const std::string& name) const {
    std::vector<TextEdit> edits{{doc_.RangeOf(tag.name), name}};
    const int e = scan_.ElementOfTag(static_cast<size_t>(&tag - scan_.tags.data()));
    if (e >= 0 && scan_.elements[e].end_tag)
      edits.push_back({doc_.RangeOf(scan_.tags[*scan_.elements[e].end_tag].name), name});
    return edits;
  }
  void AddAttribute(const Tag& tag, const std::string& name, const Diagnostic* d) {
    size_t at = tag.name.end;
    if (!tag.attributes.empty()) {
      const ScannedAttribute& last = tag.attributes.back();
      at = last.has_value ? std::min(last.value.end + 1, tag.whole.end) : last.name.end;
    }
    Add("Add the required attribute `" + name + "`",
        {{doc_.RangeOf({at, at}), " " + name + "=\"\""}}, d, true);
  }
  void Suggest(const Diagnostic& d, const Tag& tag, Span what, const std::vector<std::string>& names,
               bool element) {
    const std::vector<std::string> near = NearNames(scan_.Str(what), names);
    for (size_t i = 0; i < near.size() && i < 3; ++i)
      Add("Change to `" + near[i] + "`",
          element ? RenameElement(tag, near[i])
                  : std::vector<TextEdit>{{doc_.RangeOf(what), near[i]}},
          &d, i == 0);
  }

  const Document& doc_;
  const Scan& scan_;
  const Catalogue& cat_;
  std::vector<CodeAction> out_;
};

void Fixer::ForDiagnostic(const Diagnostic& d) {
  const Tag* tag = scan_.TagAt(d.span.begin);
  if (!tag || tag->kind != Tag::Kind::Start) return;
  std::vector<std::string> names;
  if (d.code == "unsupported-element") {
    for (const ElementDescription& e : cat_.Description().elements)
      if (e.place != ElementDescription::Place::Nowhere) names.push_back(e.name);
    Suggest(d, *tag, tag->name, names, true);
  } else if (d.code == "unsupported-header-element") {
    for (const HeaderElementDescription& h : cat_.Description().header) names.push_back(h.name);
    Suggest(d, *tag, tag->name, names, true);
  } else if (d.code == "unsupported-attribute") {
    const ElementDescription* e = BodyElement(scan_, cat_, *tag);
    const ScannedAttribute* a = scan_.FindAttribute(*tag, d.subject);
    if (!e || !a) return;
    for (const AttributeDescription& ad : e->attributes)
      if (!scan_.FindAttribute(*tag, ad.name)) names.push_back(ad.name);
    Suggest(d, *tag, a->name, names, false);
  } else if (d.code == "requires-value") {
    const ElementDescription* e = BodyElement(scan_, cat_, *tag);
    const AttributeDescription* ad = e ? Catalogue::Attribute(*e, d.subject) : nullptr;
    if (ad && !scan_.FindAttribute(*tag, ad->name)) AddAttribute(*tag, ad->name, &d);
  }
}

void Fixer::ForTag(const Tag& tag) {
  if (tag.kind != Tag::Kind::Start) return;
  const std::string_view name = scan_.Str(tag.name);
  // The walk closes if and loop, and the generator writes all three, only
  // for the names in lower case.
  for (const char* flow : {"if", "loop", "else"})
    if (EqualsNoCase(name, flow) && name != flow)
      Add("Write `" + std::string(flow) + "` in lower case", RenameElement(tag, flow), nullptr,
          true);
  if (const ElementDescription* e = BodyElement(scan_, cat_, tag))
    for (const AttributeDescription& a : e->attributes)
      if (a.must_be_written && !scan_.FindAttribute(tag, a.name)) AddAttribute(tag, a.name, nullptr);
}

}  // namespace

std::vector<CodeAction> CodeActions(const Document& doc, const Scan& scan, const Catalogue& cat,
                                    Range range, const std::vector<Diagnostic>& diagnostics) {
  Fixer fixer(doc, scan, cat);
  for (const Diagnostic& d : diagnostics)
    if (Overlaps(d.range, range)) fixer.ForDiagnostic(d);
  const size_t a = doc.OffsetAt(range.start), b = doc.OffsetAt(range.end);
  for (const Tag& t : scan.tags)
    if (t.whole.begin <= b && a <= t.whole.end) fixer.ForTag(t);
  return fixer.Take();
}

}  // namespace tavjit::lsp
