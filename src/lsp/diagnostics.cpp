// Diagnostics: the compiler's events and the lint's notes, placed in the text.
// The compiler gives the line of the element concerned; the element or
// attribute its message names picks the range on that line.
#include <algorithm>

#include "lsp/features.h"

namespace tavjit::lsp {

namespace {

constexpr std::string_view kNotWellFormed = "Not a TAV document or file is not well formed";

// What a message of the compiler names, read off its fixed wording.
struct Subject {
  std::string code;
  std::string element, attribute;
  bool value = false;  // the attribute's value is at fault, not its name
};

// The text between prefix and suffix when m is prefix + x + suffix.
std::optional<std::string> Between(std::string_view m, std::string_view prefix,
                                   std::string_view suffix) {
  if (m.size() < prefix.size() + suffix.size() || !m.starts_with(prefix) || !m.ends_with(suffix))
    return std::nullopt;
  return std::string(m.substr(prefix.size(), m.size() - prefix.size() - suffix.size()));
}

// Splits "a" + mid + "b" at the last mid.
std::optional<std::pair<std::string, std::string>> Split(std::string_view m, std::string_view mid) {
  const size_t at = m.rfind(mid);
  if (at == std::string_view::npos) return std::nullopt;
  return std::make_pair(std::string(m.substr(0, at)), std::string(m.substr(at + mid.size())));
}

Subject ReadMessage(std::string_view m) {
  if (auto e = Between(m, "Unsupported element, '", "', found in document body."))
    return {"unsupported-element", *e, "", false};
  if (auto e = Between(m, "Invalid or unsupported element, '", "', found in header."))
    return {"unsupported-header-element", *e, "", false};
  if (auto x = Between(m, "Unsupported attribute, '", "'."))
    if (auto p = Split(*x, "', found in element '"))
      return {"unsupported-attribute", p->second, p->first, false};
  if (auto x = Between(m, "The ", " element requires a value!"))
    if (auto p = Split(*x, " attribute in the "))
      return {"requires-value", p->second, p->first, true};
  if (auto p = Split(m, " contains an invalid value in element "))
    return {"invalid-value", p->second, p->first, true};
  if (m == "The file has an invalid or unsupported version number.")
    return {"root", "tav", "version", true};
  if (m == "This file isn't the Korvane edition of TAV") return {"root", "tav", "edition", true};
  if (m == kNotWellFormed) return {"not-well-formed", "", "", false};
  return {"document", "", "", false};
}

class Placer {
 public:
  Placer(const Document& doc, const Scan& scan) : doc_(doc), scan_(scan) {}

  // The start tag at a 1-based line of the compiler, named name (any case)
  // when one on that line is, else the first there.
  const Tag* TagAt(std::optional<uint32_t> line, std::string_view name) const {
    if (!line || *line == 0) return nullptr;
    const Span l = doc_.LineSpan(*line - 1);
    const Tag* first = nullptr;
    auto it = std::lower_bound(scan_.tags.begin(), scan_.tags.end(), l.begin,
                               [](const Tag& t, size_t o) { return t.whole.begin < o; });
    for (; it != scan_.tags.end() && it->whole.begin <= l.end; ++it) {
      if (it->kind != Tag::Kind::Start) continue;
      if (!name.empty() && EqualsNoCase(scan_.Str(it->name), name)) return &*it;
      if (!first) first = &*it;
    }
    return first;
  }

  // Where an attribute given carried over from: the last earlier start tag
  // of the same name that wrote it.
  const ScannedAttribute* CarriedFrom(const Tag& tag, std::string_view attribute) const {
    const ScannedAttribute* found = nullptr;
    for (const Tag& t : scan_.tags) {
      if (&t == &tag) break;
      if (t.kind == Tag::Kind::Start && EqualsNoCase(scan_.Str(t.name), scan_.Str(tag.name)))
        if (const ScannedAttribute* a = scan_.FindAttribute(t, attribute)) found = a;
    }
    return found;
  }

  // The start tag whose '<' is at a 1-based line and byte column, else the
  // one TagAt(line, name) finds.
  const Tag* TagAt(std::optional<uint32_t> line, std::optional<uint32_t> column,
                   std::string_view name) const {
    if (line && *line > 0 && column && *column > 0) {
      const size_t at = doc_.LineSpan(*line - 1).begin + *column - 1;
      if (const Tag* t = scan_.TagAt(at + 1); t && t->whole.begin == at) return t;
    }
    return TagAt(line, name);
  }

  // The name or value at a 1-based line and byte column (a tag's name for
  // its '<'), or the byte there.
  Span At(uint32_t line, uint32_t column) const {
    const Span l = doc_.LineSpan(line - 1);
    const size_t at = std::min(l.begin + (column > 0 ? column - 1 : 0), l.end);
    if (const Tag* t = scan_.TagAt(at + 1)) {
      if (t->whole.begin == at || t->name.Contains(at)) return t->name;
      for (const ScannedAttribute& a : t->attributes) {
        if (a.name.Contains(at)) return a.name;
        if (a.has_value && a.value.Contains(at)) return a.value;
      }
    }
    return {at, std::min(at + 1, l.end)};
  }

  Range RangeOf(Span s) const { return doc_.RangeOf(s); }

 private:
  const Document& doc_;
  const Scan& scan_;
};

Severity SeverityOf(tavjit::Severity s) {
  switch (s) {
    case tavjit::Severity::Error: return Severity::Error;
    case tavjit::Severity::Warning: return Severity::Warning;
    case tavjit::Severity::Note: break;
  }
  return Severity::Information;
}

}  // namespace

std::vector<Diagnostic> Diagnose(const Document& doc, const Scan& scan, const Catalogue& cat,
                                 const CompileResult& result) {
  (void)cat;
  const Placer placer(doc, scan);
  std::vector<Diagnostic> out;
  bool error_seen = false;
  for (size_t i = 0; i < result.events.size(); ++i) {
    const tavjit::Diagnostic& event = result.events[i];
    Diagnostic d;
    d.source = "tavjit";
    d.severity = event.kind == tavjit::Diagnostic::Kind::Error ? Severity::Error : Severity::Warning;
    error_seen = error_seen || d.severity == Severity::Error;
    d.message = event.message;
    Subject s = ReadMessage(event.message);
    d.code = s.code;
    d.subject = s.attribute.empty() ? s.element : s.attribute;
    // The compiler's notes on the event follow its text.
    const Explanation* first_note = nullptr;
    for (const Explanation& e : result.explanations) {
      if (e.event != i) continue;
      if (!first_note) first_note = &e;
      if (s.code != "not-well-formed" || !scan.problem) d.message += "\n" + e.message;
    }
    if (s.code == "not-well-formed") {
      if (scan.problem) {
        d.span = scan.problem->span;
        d.message += "\n" + scan.problem->explanation;
      } else if (first_note && first_note->line) {
        d.span = placer.At(*first_note->line, first_note->column.value_or(0));
      }
    } else if (const Tag* tag = placer.TagAt(event.line, event.column, s.element)) {
      d.span = tag->name;
      if (!s.attribute.empty()) {
        if (const ScannedAttribute* a = scan.FindAttribute(*tag, s.attribute)) {
          d.span = s.value && a->has_value ? a->value : a->name;
        } else if (s.value) {
          if (const ScannedAttribute* from = placer.CarriedFrom(*tag, s.attribute))
            d.related.push_back(
                {placer.RangeOf(from->value),
                 "the value comes from this earlier `" + std::string(scan.Str(tag->name)) +
                     "`: an element that leaves out an attribute takes the value the last "
                     "element of its name gave"});
        }
      }
    } else if (scan.root >= 0) {
      d.span = scan.StartTag(scan.root).name;
    }
    d.range = doc.RangeOf(d.span);
    out.push_back(std::move(d));
  }
  // Explanations that stand alone: failures that raise no event.
  for (const Explanation& e : result.explanations) {
    if (e.event) continue;
    Diagnostic d;
    d.source = "tavjit";
    d.code = !result.ok && !error_seen && e.severity == tavjit::Severity::Error ? "silent-failure"
                                                                               : "explanation";
    d.severity = SeverityOf(e.severity);
    d.message = e.message;
    if (e.line && e.column)
      d.span = placer.At(*e.line, *e.column);
    else if (const Tag* tag = placer.TagAt(e.line, ""))
      d.span = tag->name;
    d.range = doc.RangeOf(d.span);
    out.push_back(std::move(d));
  }
  for (const LintFinding& f : result.lint) {
    Diagnostic d;
    d.source = "tavjit lint";
    d.code = "lint";
    d.severity = SeverityOf(f.severity);
    d.message = f.message;
    // The element a note is about comes first in it, between backquotes.
    std::string element;
    if (size_t a = f.message.find('`'); a != std::string::npos)
      if (size_t b = f.message.find('`', a + 1); b != std::string::npos)
        element = f.message.substr(a + 1, b - a - 1);
    if (const Tag* tag = placer.TagAt(f.line, f.column, element)) d.span = tag->name;
    d.subject = element;
    d.range = doc.RangeOf(d.span);
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace tavjit::lsp
