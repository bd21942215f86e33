// The catalogue and the compiler as the features see them.
#include <algorithm>

#include "lsp/features.h"

namespace tavjit::lsp {

namespace {

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return out;
}

}  // namespace

std::optional<Catalogue> Catalogue::FromBytes(std::string bytes, std::string* error) {
  std::optional<CatalogueDescription> d = DescribeCatalogue(bytes, error);
  if (!d) return std::nullopt;
  Catalogue c;
  c.bytes_ = std::move(bytes);
  c.description_ = std::move(*d);
  for (size_t i = 0; i < c.description_.elements.size(); ++i)
    c.by_name_.emplace(Lower(c.description_.elements[i].name), i);  // the first of a name stays
  return c;
}

const ElementDescription* Catalogue::Element(std::string_view name) const {
  auto it = by_name_.find(Lower(name));
  return it == by_name_.end() ? nullptr : &description_.elements[it->second];
}

const AttributeDescription* Catalogue::Attribute(const ElementDescription& e,
                                                 std::string_view name) {
  for (const AttributeDescription& a : e.attributes)
    if (EqualsNoCase(a.name, name)) return &a;
  return nullptr;
}

Compiler::Compiler(std::string catalogue_bytes) {
  jit_.OnDiagnostic([this](const tavjit::Diagnostic& d) {
    if (sink_) sink_->events.push_back(d);
  });
  jit_.RecordScriptBlocks(true);
  jit_.EnableExplanations(true);
  jit_.InitFromBytes(catalogue_bytes);
}

CompileResult Compiler::Compile(std::string_view text, bool lint) {
  CompileResult r;
  jit_.EnableLint(lint);
  sink_ = &r;
  r.ok = jit_.ExecuteFromBytes(AsUtf8Document(text));
  sink_ = nullptr;
  r.text = jit_.Text();
  r.errmsg = jit_.ErrMsg();
  r.lint = jit_.LintFindings();
  r.explanations = jit_.Explanations();
  r.blocks = jit_.ScriptBlocks();
  return r;
}

std::string AsUtf8Document(std::string_view text) {
  std::string out(text);
  const size_t start = out.starts_with("\xEF\xBB\xBF") ? 3 : 0;
  if (out.compare(start, 5, "<?xml") != 0) return out;
  const size_t close = out.find("?>", start);
  const size_t enc = out.find("encoding", start);
  if (close == std::string::npos || enc == std::string::npos || enc > close) return out;
  const size_t q = out.find_first_of("\"'", enc);
  if (q == std::string::npos || q > close) return out;
  const size_t q2 = out.find(out[q], q + 1);
  if (q2 == std::string::npos || q2 > close) return out;
  if (Lower(std::string_view(out).substr(q + 1, q2 - q - 1)) != "utf-8")
    out.replace(q + 1, q2 - q - 1, "UTF-8");
  return out;
}

std::vector<std::string> NearNames(std::string_view name, const std::vector<std::string>& candidates) {
  const std::string a = Lower(name);
  // Edit distance, letter case aside, with a limit that grows with the name.
  const size_t limit = a.size() <= 3 ? 1 : a.size() <= 6 ? 2 : 3;
  std::vector<std::pair<size_t, std::string>> found;
  std::vector<size_t> prev, cur;
  for (const std::string& c : candidates) {
    const std::string b = Lower(c);
    if ((a.size() > b.size() ? a.size() - b.size() : b.size() - a.size()) > limit) continue;
    prev.resize(b.size() + 1);
    cur.resize(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) prev[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
      cur[0] = i;
      for (size_t j = 1; j <= b.size(); ++j)
        cur[j] = std::min({prev[j] + 1, cur[j - 1] + 1, prev[j - 1] + (a[i - 1] != b[j - 1])});
      std::swap(prev, cur);
    }
    if (prev[b.size()] <= limit && c != name) found.emplace_back(prev[b.size()], c);
  }
  std::stable_sort(found.begin(), found.end(),
                   [](const auto& x, const auto& y) { return x.first < y.first; });
  std::vector<std::string> out;
  for (auto& f : found) out.push_back(std::move(f.second));
  return out;
}

}  // namespace tavjit::lsp
