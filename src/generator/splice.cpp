// FixVariables, and the one-pass splice plan that gives the same script.
#include "generator/splice.h"

#include <algorithm>
#include <cstring>

#include "generator/vocabulary.h"
#include "support/memory.h"
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
  replacements_.assign(order, nullptr);
  for (const auto& [key, p] : patterns_) replacements_[p.order] = &p.replacement;
  splices_.reserve(script.size() / 64 + 16);
  AdviseHugePages(splices_.data(), splices_.capacity() * sizeof(Splice));

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
      if (it != patterns_.end()) {
        const uint64_t at = static_cast<uint64_t>(open - begin);
        if (!run_.empty() && run_.back().close != at) SettleRun();
        run_.push_back({it->second.order, at, static_cast<uint64_t>(close - begin)});
      }
    }
    open = close;
  }
  SettleRun();
  return true;
}

// Where two matches share a sign, the earlier variable, then the leftmost
// match, is replaced first and takes the sign. Only neighbouring matches
// share one, so each run of them is settled on its own.
void SplicePlan::SettleRun() {
  if (run_.size() > 1) {
    std::vector<size_t> by_order(run_.size());
    for (size_t k = 0; k < run_.size(); ++k) by_order[k] = k;
    std::sort(by_order.begin(), by_order.end(), [&](size_t a, size_t b) {
      return run_[a].order != run_[b].order ? run_[a].order < run_[b].order : a < b;
    });
    std::vector<bool> used(run_.size() + 1, false), taken(run_.size(), false);  // signs, matches
    for (size_t k : by_order) {
      if (used[k] || used[k + 1]) continue;
      used[k] = used[k + 1] = true;
      taken[k] = true;
    }
    for (size_t k = 0; k < run_.size(); ++k)
      if (!taken[k]) run_[k].order = UINT32_MAX;
  }
  for (const Match& m : run_)
    if (m.order != UINT32_MAX)
      splices_.push_back({m.open, static_cast<uint32_t>(m.close - m.open + 1), m.order});
  run_.clear();
}

size_t SplicePlan::Grows(const Splice& sp) const {
  return kCloseLiteral.size() + kOpenLiteral.size() + Replacement(sp).size() - sp.length;
}

size_t SplicePlan::Growth() const {
  size_t g = 0;
  for (const Splice& sp : splices_) g += Grows(sp);
  return g;
}

void SplicePlan::AppendTo(std::string_view script, std::string* out) const {
  out->reserve(out->size() + script.size() + Growth());
  size_t from = 0;
  for (const Splice& sp : splices_) {
    out->append(script.substr(from, sp.open - from));
    out->append(kCloseLiteral).append(Replacement(sp)).append(kOpenLiteral);
    from = sp.open + sp.length;
  }
  out->append(script.substr(from));
}

bool SplicePlan::FitsInPlace(std::string_view prefix) const {
  int64_t shift = static_cast<int64_t>(prefix.size());
  for (const Splice& sp : splices_) {
    shift += static_cast<int64_t>(Grows(sp));  // sizes wrap: a shortening is negative
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
    move(it->open + it->length, src_end);
    put(kOpenLiteral);
    put(Replacement(*it));
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
