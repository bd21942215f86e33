// TAVDecode in one pass over the text.
#include "compiler/decode.h"

#include <utility>

#include "generator/vocabulary.h"

namespace tavjit {

namespace {

// The next CR, LF or '&' at or after i (find_first_of is slow on long texts).
size_t NextSpecial(std::string_view text, size_t i) {
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '\r' || c == '\n' || c == '&') return i;
  }
  return std::string_view::npos;
}

}  // namespace

std::string_view TAVDecodeView(std::string_view text, std::string* buffer) {
  if (NextSpecial(text, 0) == std::string_view::npos) return text;
  TAVDecodeInto(text, buffer);
  return *buffer;
}

std::string TAVDecode(std::string_view text) {
  std::string out;
  TAVDecodeInto(text, &out);
  return out;
}

// The ten replacements (line ends to CR LF; then &#10; &#9; &#160; &quot;
// &gt; &lt; &amp;, in that order) in one pass: each reference starts with
// '&' and ends at the first ';', so no two matches overlap, and no
// replacement produces text that a later one would match.
void TAVDecodeInto(std::string_view text, std::string* out_ptr) {
  std::string& out = *out_ptr;
  out.clear();
  if (NextSpecial(text, 0) == std::string_view::npos) {
    out.append(text);
    return;
  }
  static constexpr std::pair<std::string_view, std::string_view> kRefs[] = {
      {"&#10;", kCrLf}, {"&#9;", "\t"}, {"&#160;", " "}, {"&quot;", "\""},
      {"&gt;", ">"},      {"&lt;", "<"},  {"&amp;", "&"}};
  out.reserve(text.size() + 16);
  for (size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (c == '\r') {
      out.append(kCrLf);
      i += (i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
    } else if (c == '\n') {
      out.append(kCrLf);
      ++i;
    } else if (c == '&') {
      bool replaced = false;
      for (const auto& [from, to] : kRefs) {
        if (text.compare(i, from.size(), from) == 0) {
          out.append(to);
          i += from.size();
          replaced = true;
          break;
        }
      }
      if (!replaced) out.push_back(text[i++]);
    } else {
      size_t next = NextSpecial(text, i);
      if (next == std::string_view::npos) next = text.size();
      out.append(text.substr(i, next - i));
      i = next;
    }
  }
}

}  // namespace tavjit
