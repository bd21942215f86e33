// Catalogue tooling: the built-in catalogue, the JSON catalogue source, and
// what can be derived from a catalogue (an XML Schema, a Markdown reference).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tavjit/tavjit.hpp"

namespace tavjit {

// The bytes of the built-in catalogue file.
TAVJIT_API std::string DefaultCatalogue();

// True when bytes start like a catalogue file (as opposed to a JSON source).
TAVJIT_API bool LooksLikeCatalogueFile(std::string_view bytes);

// Turns a JSON catalogue source into catalogue-file bytes; nullopt with a
// message naming the element and key when the source is wrong.
TAVJIT_API std::optional<std::string> BuildCatalogue(std::string_view json, std::string* error);

// What in a catalogue will not work as its author meant, each starting with
// its JSON path in the catalogue's source ("elements[2].attributes[0].type:
// ..."): types that are none, names that are not XML names or that the
// compiler has no line for, defaults the compiler never reads, an empty
// element list. nullopt when the bytes are not a catalogue file.
TAVJIT_API std::optional<std::vector<std::string>> CatalogueWarnings(
    std::string_view catalogue_bytes, std::string* error);

// The JSON source form of catalogue-file bytes; building it again gives back
// identical bytes. nullopt when the bytes are not a catalogue file.
TAVJIT_API std::optional<std::string> DumpCatalogue(std::string_view bytes, std::string* error);

// A W3C XML Schema (no target namespace) of the documents a catalogue
// accepts, descriptions included as documentation. nullopt when the bytes are
// not a catalogue file or a name in it is not an XML name.
TAVJIT_API std::optional<std::string> CatalogueSchema(std::string_view catalogue_bytes,
                                                      std::string* error);

// A Markdown reference of a catalogue's elements for macro authors, each with
// an example compiled by the library. nullopt when the bytes are not a
// catalogue file.
TAVJIT_API std::optional<std::string> CatalogueReference(std::string_view catalogue_bytes,
                                                         std::string* error);

// What a catalogue says about one attribute, for editors that complete and
// explain documents.
struct AttributeDescription {
  std::string name;
  // The catalogue's data type: 5 number, 6 true or false, 7 choice,
  // 8 variable name, anything else free text.
  int32_t type = 1;
  std::vector<std::string> choices;  // a choice's entries, in catalogue order
  std::string type_in_words;         // "number or variable", "one of: a, b"
  bool required = false;
  // What an element that leaves the attribute out gets, unless an earlier
  // element of the same name gave it; empty when nothing.
  std::string value_when_left_out;
  bool must_be_written = false;  // required, and nothing fills it in
  std::string description;
};

struct ElementDescription {
  // Where a document may write the element.
  enum class Place { Body, InsideIf, Nowhere };
  std::string name, description, information;
  Place place = Place::Body;
  bool contains_text = false, text_required = false, text_multi_line = false;
  std::string text_description;
  std::vector<AttributeDescription> attributes;
};

struct HeaderElementDescription {
  std::string name, description;
  bool required = false;
};

struct CatalogueDescription {
  std::vector<ElementDescription> elements;       // in catalogue order
  std::vector<HeaderElementDescription> header;  // what a header may hold
};

// The elements and attributes of catalogue-file bytes, as plain values.
// nullopt with a message when the bytes are not a catalogue file.
TAVJIT_API std::optional<CatalogueDescription> DescribeCatalogue(std::string_view catalogue_bytes,
                                                                 std::string* error);

// Replaces path with bytes atomically: written beside it, then renamed, so a
// failure (or a killed process) leaves the earlier file as it was.
TAVJIT_API bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                                    std::string* error);

}  // namespace tavjit
