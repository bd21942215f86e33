// Script string literals: text between double quotes, each inner quote
// doubled, each CR LF written as a concatenation with vbcrlf.
#pragma once

#include <string>
#include <string_view>

namespace tavjit {

std::string FixTextValue(std::string_view text);
// FixTextValue appended to out.
void AppendTextValue(std::string& out, std::string_view text);

}  // namespace tavjit
