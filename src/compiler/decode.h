// TAVDecode: a document's attribute value or text as its element keeps it,
// line ends made CR LF and the references the XML parser left resolved.
#pragma once

#include <string>
#include <string_view>

namespace tavjit {

std::string TAVDecode(std::string_view text);
// TAVDecode into out, reusing its buffer.
void TAVDecodeInto(std::string_view text, std::string* out);

}  // namespace tavjit
