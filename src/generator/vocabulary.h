// The fixed words of TAV and of the script a document becomes, each once:
// what the generator writes, what the builder and the lint look for, and the
// edition a document names.
#pragma once

#include <array>
#include <string_view>

namespace tavjit {

// The edition of TAV this compiler reads (compared trimmed, in lower case).
inline constexpr std::string_view kEdition = "korvane";

// Line breaks inside the compiler and in the script.
inline constexpr std::string_view kCrLf = "\r\n";
// What a script that is not empty starts with.
inline constexpr std::string_view kScriptHead = "Option Explicit\r\n";

// The open document. An element line that mentions it, in any letter case,
// stands between the two halves of the active-document guard.
inline constexpr std::string_view kActiveDocument = "docs.ActiveDocument";
inline constexpr std::string_view kGuardHead = "If docs.Count Then\r\n";
inline constexpr std::string_view kGuardTail = "\r\nEnd If\r\n";

// The names the editor gives its scripts, which a script cannot declare
// again: its objects and the global functions the commands call.
inline constexpr std::array<std::string_view, 7> kHostNames = {
    "docs", "Output", "NewRangeObject", "ChoiceDialog", "MessageBox", "InputDialog", "ShellEx"};

// A splice ends a string literal, concatenates a variable and opens the
// next literal: kCloseLiteral + name + kOpenLiteral.
inline constexpr std::string_view kCloseLiteral = "\" & ";
inline constexpr std::string_view kOpenLiteral = " & \"";

// The properties of a range variable that a reference may name, in the
// order they are spliced.
inline constexpr std::array<std::string_view, 5> kRangeProperties = {
    "startcolno", "endcolno", "startlineno", "endlineno", "columnsel"};

// The characters of a variable name, and of a script identifier.
constexpr bool IsNameChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

}  // namespace tavjit
