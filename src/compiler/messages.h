// Every message the compiler itself raises, each once.
#pragma once

namespace tavjit::msg {

// Errors of the driver.
inline constexpr char kInitNotCalled[] = "Init method haven't been called";
inline constexpr char kExecuteSource[] = "TAVJIT::Execute";
inline constexpr char kInitSource[] = "TAVJIT::Init";
// tavjit's own: a call the specified interface leaves undefined, refused.
inline constexpr char kBusy[] =
    "Execute and Init cannot be called from an event handler while the same instance compiles";
inline constexpr char kFileDoesNotExist[] = "File doesn't exist.";
inline constexpr char kUnableToRead[] = "Unable to read file.";
inline constexpr char kNotWellFormed[] = "Not a TAV document or file is not well formed";
// tavjit's own words, beside the specified messages.
inline constexpr char kOutOfMemory[] = "out of memory";

// Errors of the validation of root and header.
inline constexpr char kNotTav[] = "This file is not a valid TAV document.";
inline constexpr char kBadVersion[] = "The file has an invalid or unsupported version number.";
inline constexpr char kBadEdition[] = "This file isn't the Korvane edition of TAV";
inline constexpr char kNoHeaderElement[] = "File doesn't contain a valid header.";
inline constexpr char kNotHeader[] = "File doesn't contain a valid header";
inline constexpr char kEmptyHeader[] = "File header doesn't contain a version.";
inline constexpr char kNoVersionElement[] = "File header doesn't contain a version element.";
inline constexpr char kNoBody[] = "File doesn't contain a valid body.";

}  // namespace tavjit::msg

#include <string>
#include <string_view>

namespace tavjit::msg {

inline std::string UnsupportedHeaderElement(std::string_view name) {
  return "Invalid or unsupported element, '" + std::string(name) + "', found in header.";
}
inline std::string UnsupportedElement(std::string_view name) {
  return "Unsupported element, '" + std::string(name) + "', found in document body.";
}
inline std::string UnsupportedAttribute(std::string_view attribute, std::string_view element) {
  return "Unsupported attribute, '" + std::string(attribute) + "', found in element '" +
         std::string(element) + "'.";
}
// Raised by attribute checking.
inline std::string RequiresValue(std::string_view attribute, std::string_view element) {
  return "The " + std::string(attribute) + " attribute in the " + std::string(element) +
         " element requires a value!";
}
inline std::string InvalidValue(std::string_view attribute, std::string_view element) {
  return std::string(attribute) + " contains an invalid value in element " + std::string(element);
}

}  // namespace tavjit::msg
