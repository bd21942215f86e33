// FixTextValue in one pass over the text.
#include "generator/literal.h"

namespace tavjit {

// Doubling the quotes and breaking out at each CR LF in one pass: the two
// replacements never meet, since neither's text contains the other's.
void AppendTextValue(std::string& out, std::string_view text) {
  out.push_back('"');
  for (size_t i = 0; i < text.size();) {
    size_t next = i;
    while (next < text.size() && text[next] != '"' && text[next] != '\r') ++next;
    if (next == text.size()) next = std::string_view::npos;
    if (next == std::string_view::npos) {
      out.append(text.substr(i));
      break;
    }
    out.append(text.substr(i, next - i));
    if (text[next] == '"') {
      out.append("\"\"");
      i = next + 1;
    } else if (next + 1 < text.size() && text[next + 1] == '\n') {
      out.append("\" & vbcrlf & \"");
      i = next + 2;
    } else {
      out.push_back('\r');
      i = next + 1;
    }
  }
  out.push_back('"');
}

std::string FixTextValue(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  AppendTextValue(out, text);
  return out;
}

}  // namespace tavjit
