#include "lsp/protocol.h"

namespace tavjit::lsp {

const json* Member(const json& j, const char* key) {
  if (!j.is_object()) return nullptr;
  auto it = j.find(key);
  return it == j.end() ? nullptr : &*it;
}

std::optional<std::string> StringMember(const json& j, const char* key) {
  const json* m = Member(j, key);
  if (!m || !m->is_string()) return std::nullopt;
  return m->get_ref<const std::string&>();
}

std::optional<bool> BoolMember(const json& j, const char* key) {
  const json* m = Member(j, key);
  if (!m || !m->is_boolean()) return std::nullopt;
  return m->get<bool>();
}

std::optional<uint32_t> UintMember(const json& j, const char* key) {
  const json* m = Member(j, key);
  if (!m || !m->is_number_unsigned()) {
    // A float with an integral value is what some clients send.
    if (m && m->is_number_float()) {
      const double d = m->get<double>();
      if (d >= 0 && d <= 4294967295.0 && d == static_cast<double>(static_cast<uint64_t>(d)))
        return static_cast<uint32_t>(d);
    }
    return std::nullopt;
  }
  const uint64_t v = m->get<uint64_t>();
  if (v > UINT32_MAX) return std::nullopt;
  return static_cast<uint32_t>(v);
}

std::optional<Position> ReadPosition(const json& j) {
  auto line = UintMember(j, "line"), character = UintMember(j, "character");
  if (!line || !character) return std::nullopt;
  return Position{*line, *character};
}

std::optional<Range> ReadRange(const json& j) {
  const json* s = Member(j, "start");
  const json* e = Member(j, "end");
  if (!s || !e) return std::nullopt;
  auto start = ReadPosition(*s), end = ReadPosition(*e);
  if (!start || !end) return std::nullopt;
  return Range{*start, *end};
}

std::optional<std::string> ReadDocumentUri(const json& params) {
  const json* doc = Member(params, "textDocument");
  return doc ? StringMember(*doc, "uri") : std::nullopt;
}

std::optional<DocumentPosition> ReadDocumentPosition(const json& params) {
  std::optional<std::string> uri = ReadDocumentUri(params);
  const json* p = Member(params, "position");
  std::optional<Position> pos = p ? ReadPosition(*p) : std::nullopt;
  if (!uri || !pos) return std::nullopt;
  return DocumentPosition{std::move(*uri), *pos};
}

json ToJson(Position p) { return {{"line", p.line}, {"character", p.character}}; }
json ToJson(Range r) { return {{"start", ToJson(r.start)}, {"end", ToJson(r.end)}}; }

json ToJson(const Diagnostic& d, const std::string& uri) {
  json j = {{"range", ToJson(d.range)},
            {"severity", static_cast<int>(d.severity)},
            {"source", d.source},
            {"message", d.message}};
  if (!d.code.empty()) j["code"] = d.code;
  if (!d.related.empty()) {
    json related = json::array();
    for (const RelatedPlace& r : d.related)
      related.push_back({{"location", {{"uri", uri}, {"range", ToJson(r.range)}}},
                         {"message", r.message}});
    j["relatedInformation"] = std::move(related);
  }
  return j;
}

json ToJson(const TextEdit& e) { return {{"range", ToJson(e.range)}, {"newText", e.new_text}}; }

json ToJson(const CompletionItem& c) {
  json j = {{"label", c.label},
            {"kind", static_cast<int>(c.kind)},
            {"textEdit", ToJson(c.edit)},
            {"insertTextFormat", c.snippet ? 2 : 1}};
  if (!c.detail.empty()) j["detail"] = c.detail;
  if (!c.documentation.empty())
    j["documentation"] = {{"kind", "markdown"}, {"value", c.documentation}};
  return j;
}

json ToJson(const Hover& h) {
  return {{"contents", {{"kind", "markdown"}, {"value", h.markdown}}}, {"range", ToJson(h.range)}};
}

json ToJson(const Symbol& s) {
  json j = {{"name", s.name.empty() ? std::string("?") : s.name},
            {"kind", static_cast<int>(s.kind)},
            {"range", ToJson(s.range)},
            {"selectionRange", ToJson(s.selection)}};
  if (!s.detail.empty()) j["detail"] = s.detail;
  if (!s.children.empty()) {
    json children = json::array();
    for (const Symbol& c : s.children) children.push_back(ToJson(c));
    j["children"] = std::move(children);
  }
  return j;
}

json ToJson(const Fold& f) {
  return {{"startLine", f.start_line}, {"endLine", f.end_line},
          {"kind", f.comment ? "comment" : "region"}};
}

json WorkspaceEdit(const std::vector<TextEdit>& edits, const std::string& uri) {
  json list = json::array();
  for (const TextEdit& e : edits) list.push_back(ToJson(e));
  return {{"changes", {{uri, std::move(list)}}}};
}

json ToJson(const CodeAction& a, const std::string& uri) {
  json j = {{"title", a.title}, {"kind", "quickfix"}, {"edit", WorkspaceEdit(a.edits, uri)}};
  if (a.preferred) j["isPreferred"] = true;
  if (!a.fixes.empty()) {
    json diags = json::array();
    for (const Diagnostic* d : a.fixes) diags.push_back(ToJson(*d, uri));
    j["diagnostics"] = std::move(diags);
  }
  return j;
}

json Locations(const std::vector<Range>& ranges, const std::string& uri) {
  json out = json::array();
  for (const Range& r : ranges) out.push_back({{"uri", uri}, {"range", ToJson(r)}});
  return out;
}

std::string Dump(const json& j) { return j.dump(-1, ' ', false, json::error_handler_t::replace); }

}  // namespace tavjit::lsp
