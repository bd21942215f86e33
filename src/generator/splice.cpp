// FixVariables, and the one-pass splice plan that gives the same script.
#include "generator/splice.h"

#include <algorithm>
#include <cstring>

#include "generator/vocabulary.h"
#include "support/text.h"

namespace tavjit {

namespace {

// Case folding of a text between two percent signs into *out, code point by
// code point as FindNoCase compares; false when it cannot equal a plain name.
bool FoldGap(std::string_view s, std::string* out) {
  out->clear();
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      if (!IsNameChar(static_cast<char>(c)) && c != '.') return false;
      out->push_back(static_cast<char>((c >= 'A' && c <= 'Z') ? c + 32 : c));
      ++i;
      continue;
    }
    const int32_t cp = NextCodePoint(s, i);
    if (cp < 0) return false;
    const int32_t f = SimpleFold(cp);
    if (f >= 0x80) return false;
    out->push_back(static_cast<char>(f));
  }
  return true;
}

}  // namespace

bool IsPlainName(std::string_view name) {
  if (name.empty()) return false;
  for (char c : name)
    if (!IsNameChar(c)) return false;
  return true;
}

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

  // Each text between two neighbouring percent signs that folds to a
  // pattern, left to right.
  struct Match {
    uint32_t order;
    size_t open, close;
    const std::string* replacement;
  };
  std::vector<Match> matches;
  std::string folded;
  const char* const begin = script.data();
  const char* const end = begin + script.size();
  const char* open = static_cast<const char*>(std::memchr(begin, '%', script.size()));
  while (open) {
    const char* close = static_cast<const char*>(std::memchr(open + 1, '%', end - open - 1));
    if (!close) break;
    const std::string_view gap(open + 1, static_cast<size_t>(close - open - 1));
    if (!gap.empty() && gap.size() <= 4 * longest_ && FoldGap(gap, &folded)) {
      auto it = patterns_.find(std::string_view(folded));
      if (it != patterns_.end())
        matches.push_back({it->second.order, static_cast<size_t>(open - begin),
                           static_cast<size_t>(close - begin), &it->second.replacement});
    }
    open = close;
  }

  // Where two matches share a sign, the earlier variable, then the leftmost
  // match, is replaced first and takes the sign. Only neighbouring matches
  // share one, so each run of them is settled on its own.
  std::vector<size_t> by_order;
  std::vector<bool> used;
  for (size_t i = 0; i < matches.size();) {
    size_t j = i + 1;
    while (j < matches.size() && matches[j].open == matches[j - 1].close) ++j;
    if (j == i + 1) {
      splices_.push_back({matches[i].open, matches[i].close, matches[i].replacement});
      i = j;
      continue;
    }
    by_order.clear();
    for (size_t k = i; k < j; ++k) by_order.push_back(k);
    std::sort(by_order.begin(), by_order.end(), [&](size_t a, size_t b) {
      return matches[a].order != matches[b].order ? matches[a].order < matches[b].order : a < b;
    });
    used.assign(j - i + 1, false);  // the run's signs
    std::vector<bool> taken(j - i, false);
    for (size_t k : by_order) {
      const size_t sign = k - i;
      if (used[sign] || used[sign + 1]) continue;
      used[sign] = used[sign + 1] = true;
      taken[sign] = true;
    }
    for (size_t k = i; k < j; ++k)
      if (taken[k - i]) splices_.push_back({matches[k].open, matches[k].close, matches[k].replacement});
    i = j;
  }
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

bool SplicePlan::FitsInPlace(std::string_view prefix) const {
  int64_t shift = static_cast<int64_t>(prefix.size());
  for (const Splice& sp : splices_) {
    shift += static_cast<int64_t>(kCloseLiteral.size() + kOpenLiteral.size() +
                                  sp.replacement->size()) -
             static_cast<int64_t>(sp.close - sp.open + 1);
    if (shift < 0) return false;
  }
  return true;
}

// Everything moves towards the end (FitsInPlace), so working from the end
// overwrites nothing that is still to be read.
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
