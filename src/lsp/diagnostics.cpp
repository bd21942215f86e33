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

  // The name or value at a 1-based line and byte column, or the byte there.
  Span At(uint32_t line, uint32_t column) const {
    const Span l = doc_.LineSpan(line - 1);
    const size_t at = std::min(l.begin + (column > 0 ? column - 1 : 0), l.end);
    if (const Tag* t = scan_.TagAt(at + 1)) {
      if (t->name.Contains(at)) return t->name;
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

// Why a compile failed when the compiler says nothing, where that can be seen.
void ExplainSilentFailure(const Scan& scan, Diagnostic& d) {
  if (scan.root >= 0) {
    const Tag& root = scan.StartTag(scan.root);
    d.span = root.name;
    for (const char* attr : {"version", "edition"})
      if (scan.Str(root.name) == "tav" && !scan.FindAttribute(root, attr)) {
        d.message += ": the root `tav` has no `" + std::string(attr) + "` attribute";
        return;
      }
    if (scan.head >= 0 && scan.body < 0) {
      d.span = scan.StartTag(scan.head).name;
      d.message += ": no `tavbody` follows the header";
      return;
    }
  }
  for (const Tag& t : scan.tags)
    for (const ScannedAttribute& a : t.attributes) {
      std::string_view v = scan.Str(a.value);
      while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
      while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
      if (v == "%") {
        d.span = a.value;
        d.message += ": a lone `%` is neither a number nor a variable";
        return;
      }
    }
}

}  // namespace

std::vector<Diagnostic> Diagnose(const Document& doc, const Scan& scan, const Catalogue& cat,
                                 const CompileResult& result) {
  (void)cat;
  const Placer placer(doc, scan);
  std::vector<Diagnostic> out;
  bool error_seen = false;
  for (const tavjit::Diagnostic& event : result.events) {
    Diagnostic d;
    d.source = "tavjit";
    d.severity = event.kind == tavjit::Diagnostic::Kind::Error ? Severity::Error : Severity::Warning;
    error_seen = error_seen || d.severity == Severity::Error;
    d.message = event.message;
    Subject s = ReadMessage(event.message);
    d.code = s.code;
    d.subject = s.attribute.empty() ? s.element : s.attribute;
    if (s.code == "not-well-formed") {
      if (scan.problem) {
        d.span = scan.problem->span;
        d.message += "\n" + scan.problem->explanation;
      }
    } else if (const Tag* tag = placer.TagAt(event.line, s.element)) {
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
  if (!result.ok && !error_seen) {
    Diagnostic d;
    d.source = "tavjit";
    d.code = "silent-failure";
    d.message = "The document does not compile, and the compiler gives no message";
    ExplainSilentFailure(scan, d);
    d.range = doc.RangeOf(d.span);
    out.push_back(std::move(d));
  }
  for (const Explanation& e : result.explanations) {
    Diagnostic d;
    d.source = "tavjit";
    d.code = "explanation";
    d.severity = e.severity == Explanation::Severity::Error     ? Severity::Error
                 : e.severity == Explanation::Severity::Warning ? Severity::Warning
                                                                : Severity::Information;
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
    d.severity = Severity::Information;
    d.message = f.message;
    // The element a note is about comes first in it, between backquotes.
    std::string element;
    if (size_t a = f.message.find('`'); a != std::string::npos)
      if (size_t b = f.message.find('`', a + 1); b != std::string::npos)
        element = f.message.substr(a + 1, b - a - 1);
    if (const Tag* tag = placer.TagAt(f.line, element)) d.span = tag->name;
    d.subject = element;
    d.range = doc.RangeOf(d.span);
    out.push_back(std::move(d));
  }
  return out;
}

}  // namespace tavjit::lsp
