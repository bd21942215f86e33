// What a catalogue lets a document write, as the schema and the reference
// describe it: which elements a document may use and where, what each
// attribute accepts, and what an attribute that is left out gets.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"

namespace tavjit::shape {

// The entries of a choice, in catalogue order, without empty entries and
// repeats.
std::vector<std::string> ChoiceValues(const CAttribute& attr);

// The type in words, for people: "number or variable", "one of: a, b".
std::string KindInWords(const CAttribute& attr);

// The value an element gets when the document leaves the attribute out and
// no earlier element of the same name gave it: the catalogue's preset
// value, else for a required attribute its default. Empty when none.
std::string ValueWhenLeftOut(const CAttribute& attr);

// A document must write the attribute (with a value that is not empty).
inline bool MustBeWritten(const CAttribute& attr) {
  return attr.Required() && ValueWhenLeftOut(attr).empty();
}

// A sample value of the attribute's type for examples.
std::string SampleValue(const CAttribute& attr);

// The elements a header may hold, each with what it is for; version is the
// one a header must have.
struct HeaderElement {
  std::string_view name, description;
};
inline constexpr HeaderElement kHeaderElements[] = {
    {"version", "The version of the macro."},
    {"author", "Who wrote the macro."},
    {"company", "The company the macro comes from."},
    {"description", "What the macro does."},
    {"email", "An e-mail address for the macro."},
    {"web", "A web address for the macro."},
};
inline constexpr std::string_view kHeaderVersion = "version";

// Where a catalogue element may stand in a document.
struct Placement {
  std::vector<CElements::Ptr> steps;  // in tavbody, if and loop
  CElements::Ptr if_element, else_element, loop_element;  // null when absent
};

// Every element a document may write, in catalogue order: all but the
// closing elements that only the walk adds. else stands only inside if
// when the catalogue has both.
Placement PlaceElements(const CElements& catalogue);

// True for a name that XML allows as an element or attribute name without
// a prefix.
bool IsXmlName(std::string_view name);

}  // namespace tavjit::shape
