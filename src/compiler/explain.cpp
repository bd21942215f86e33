// Names close to a name, for "did you mean".
#include "compiler/explain.h"

#include <algorithm>
#include <array>

#include "support/text.h"

namespace tavjit {

namespace {

constexpr size_t kLongest = 64;  // names longer than this get no suggestion

// Edits (insert, delete, replace, swap two neighbours) from a to b, letter
// case aside, over three rows of the table; limit + 1 when there are more.
size_t Distance(std::string_view a, std::string_view b, size_t limit) {
  if (a.size() > b.size() + limit || b.size() > a.size() + limit || b.size() > kLongest)
    return limit + 1;
  std::array<size_t, kLongest + 1> before{}, last{}, row{};
  for (size_t j = 0; j <= b.size(); ++j) last[j] = j;
  for (size_t i = 1; i <= a.size(); ++i) {
    row[0] = i;
    size_t best = row[0];
    for (size_t j = 1; j <= b.size(); ++j) {
      const bool same = AsciiLower(a[i - 1]) == AsciiLower(b[j - 1]);
      row[j] = std::min({last[j] + 1, row[j - 1] + 1, last[j - 1] + (same ? 0 : 1)});
      if (i > 1 && j > 1 && AsciiLower(a[i - 1]) == AsciiLower(b[j - 2]) &&
          AsciiLower(a[i - 2]) == AsciiLower(b[j - 1]))
        row[j] = std::min(row[j], before[j - 2] + 1);
      best = std::min(best, row[j]);
    }
    if (best > limit) return limit + 1;
    before = last;
    last = row;
  }
  return last[b.size()];
}

}  // namespace

std::string ClosestName(std::string_view name, const std::vector<std::string_view>& names) {
  if (name.size() > kLongest) return {};
  const size_t limit = name.size() < 3 ? 0 : name.size() < 6 ? 1 : 2;
  std::string_view best;
  size_t best_distance = limit + 1;
  for (std::string_view candidate : names) {
    const size_t d = Distance(name, candidate, limit);
    if (d < best_distance) best = candidate, best_distance = d;
  }
  return std::string(best);
}

std::string Code(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out.push_back('`');
  out.append(s);
  out.push_back('`');
  return out;
}

std::string DidYouMean(std::string_view name, const std::vector<std::string_view>& names) {
  const std::string closest = ClosestName(name, names);
  if (closest.empty()) return {};
  return " (did you mean `" + closest + "`?)";
}

}  // namespace tavjit
