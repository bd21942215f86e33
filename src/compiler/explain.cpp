// Names close to a name, for "did you mean".
#include "compiler/explain.h"

#include <algorithm>

namespace tavjit {

namespace {

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

// Edits (insert, delete, replace, swap two neighbours) from a to b, letter
// case aside; stops counting past limit.
size_t Distance(std::string_view a, std::string_view b, size_t limit) {
  if (a.size() > b.size() + limit || b.size() > a.size() + limit) return limit + 1;
  std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
  for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (size_t i = 1; i <= a.size(); ++i)
    for (size_t j = 1; j <= b.size(); ++j) {
      const bool same = Lower(a[i - 1]) == Lower(b[j - 1]);
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && Lower(a[i - 1]) == Lower(b[j - 2]) && Lower(a[i - 2]) == Lower(b[j - 1]))
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
    }
  return d[a.size()][b.size()];
}

}  // namespace

std::string ClosestName(std::string_view name, const std::vector<std::string_view>& names) {
  if (name.size() > 64) return {};
  const size_t limit = name.size() < 3 ? 0 : name.size() < 6 ? 1 : 2;
  std::string_view best;
  size_t best_distance = limit + 1;
  for (std::string_view candidate : names) {
    const size_t d = Distance(name, candidate, limit);
    if (d < best_distance) best = candidate, best_distance = d;
  }
  return std::string(best);
}

std::string DidYouMean(std::string_view name, const std::vector<std::string_view>& names) {
  const std::string closest = ClosestName(name, names);
  if (closest.empty()) return {};
  return " (did you mean `" + closest + "`?)";
}

}  // namespace tavjit
