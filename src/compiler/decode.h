// TAVDecode: a document's attribute value or text as its element keeps it,
// line ends made CR LF and the references the XML parser left resolved.
#pragma once

#include <string>
#include <string_view>

namespace tavjit {

std::string TAVDecode(std::string_view text);
// TAVDecode into out, reusing its buffer.
void TAVDecodeInto(std::string_view text, std::string* out);
// TAVDecode as a view: text itself when decoding leaves it as it is (the
// usual case), else its decoding in *buffer.
std::string_view TAVDecodeView(std::string_view text, std::string* buffer);

}  // namespace tavjit
