// FixVariables, and the one-pass splice plan that gives the same script.
#include "generator/splice.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "generator/vocabulary.h"
#include "support/text.h"

namespace tavjit {

namespace {

bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!IsNameChar(c)) return false;
  return true;
}

// Case folding of a text between two percent signs, code point by code
// point as FindNoCase compares; nullopt when it cannot equal a plain name.
std::optional<std::string> FoldedGap(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      out.push_back(static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c));
      ++i;
      continue;
    }
    const int32_t cp = NextCodePoint(s, i);
    if (cp < 0) return std::nullopt;
    const int32_t f = SimpleFold(cp);
    if (f >= 0x80) return std::nullopt;
    out.push_back(static_cast<char>(f));
  }
  return out;
}

}  // namespace

std::string FixVariables(std::string_view script, const CVariables& variables) {
  std::string s(script);
  for (const auto& var : variables) {
    const std::string& name = var->VarName();
    s = ReplaceAllNoCase(s, "%" + name + "%",
                         std::string(kCloseLiteral) + name + std::string(kOpenLiteral));
    if (!var->IsObject()) continue;
    for (std::string_view prop : kRangeProperties) {
      const std::string member = name + "." + std::string(prop);
      s = ReplaceAllNoCase(s, "%" + member + "%",
                           std::string(kCloseLiteral) + member + std::string(kOpenLiteral));
    }
  }
  return std::string(TrimSpaces(s));
}

bool SplicePlan::Make(std::string_view script, const CVariables& variables) {
  uint32_t order = 0;
  for (const auto& v : variables) {
    const std::string& name = v->VarName();
    if (!IsPlainName(name)) return false;
    auto add = [&](std::string content) {
      longest_ = std::max(longest_, content.size());
      std::string key = FoldCase(content);
      patterns_.try_emplace(std::move(key), Pattern{order++, std::move(content)});
    };
    add(name);
    if (v->IsObject())
      for (std::string_view p : kRangeProperties) add(name + "." + std::string(p));
  }
  if (patterns_.empty()) return true;

  std::vector<size_t> pct;
  for (const char* p = script.data(); (p = static_cast<const char*>(std::memchr(
                                           p, '%', script.data() + script.size() - p)));
       ++p)
    pct.push_back(static_cast<size_t>(p - script.data()));
  struct Match {
    uint32_t order;
    size_t gap;  // between pct[gap] and pct[gap + 1]
    const std::string* replacement;
  };
  std::vector<Match> matches;
  for (size_t k = 0; k + 1 < pct.size(); ++k) {
    size_t len = pct[k + 1] - pct[k] - 1;
    if (len == 0 || len > 4 * longest_) continue;
    std::optional<std::string> key = FoldedGap(script.substr(pct[k] + 1, len));
    if (!key) continue;
    auto it = patterns_.find(*key);
    if (it != patterns_.end()) matches.push_back({it->second.order, k, &it->second.replacement});
  }
  if (matches.empty()) return true;
  std::sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
    return a.order != b.order ? a.order < b.order : a.gap < b.gap;
  });
  std::vector<const std::string*> taken(pct.size(), nullptr);  // by opening sign
  std::vector<bool> used(pct.size(), false);
  for (const Match& m : matches) {
    if (used[m.gap] || used[m.gap + 1]) continue;
    used[m.gap] = used[m.gap + 1] = true;
    taken[m.gap] = m.replacement;
  }
  for (size_t k = 0; k + 1 < pct.size(); ++k)
    if (taken[k]) splices_.push_back({pct[k], pct[k + 1], taken[k]});
  return true;
}

size_t SplicePlan::Growth() const {
  size_t g = 0;
  for (const Splice& sp : splices_)
    g += kCloseLiteral.size() + kOpenLiteral.size() + sp.replacement->size() -
         (sp.close - sp.open + 1);
  return g;
}

void SplicePlan::AppendTo(std::string_view script, std::string* out) const {
  out->reserve(out->size() + script.size() + Growth());
  size_t from = 0;
  for (const Splice& sp : splices_) {
    out->append(script.substr(from, sp.open - from));
    out->append(kCloseLiteral).append(*sp.replacement).append(kOpenLiteral);
    from = sp.close + 1;
  }
  out->append(script.substr(from));
}

// Everything moves towards the end, so working from the end overwrites
// nothing that is still to be read.
void SplicePlan::ApplyInPlace(std::string* s, std::string_view prefix) const {
  const size_t old_size = s->size();
  s->resize(old_size + prefix.size() + Growth());
  char* d = s->data();
  size_t src_end = old_size, dst_end = s->size();
  auto move = [&](size_t from, size_t to_end_src) {
    const size_t len = to_end_src - from;
    dst_end -= len;
    std::memmove(d + dst_end, d + from, len);
  };
  auto put = [&](std::string_view text) {
    dst_end -= text.size();
    std::memcpy(d + dst_end, text.data(), text.size());
  };
  for (auto it = splices_.rbegin(); it != splices_.rend(); ++it) {
    move(it->close + 1, src_end);
    put(kOpenLiteral);
    put(*it->replacement);
    put(kCloseLiteral);
    src_end = it->open;
  }
  move(0, src_end);
  put(prefix);
}

bool SpliceVariablesOnce(std::string_view script, const CVariables& variables, std::string* out) {
  SplicePlan plan;
  if (!plan.Make(script, variables)) return false;
  plan.AppendTo(script, out);
  return true;
}

}  // namespace tavjit
