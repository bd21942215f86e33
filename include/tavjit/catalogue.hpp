// Catalogue tooling: the built-in catalogue, the JSON catalogue source, and
// what can be derived from a catalogue (an XML Schema, a Markdown reference).
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "tavjit/tavjit.hpp"

namespace tavjit {

// The bytes of the built-in catalogue file.
TAVJIT_API std::string DefaultCatalogue();

// True when bytes start like a catalogue file (as opposed to a JSON source).
TAVJIT_API bool LooksLikeCatalogueFile(std::string_view bytes);

// Turns a JSON catalogue source into catalogue-file bytes; nullopt with a
// message naming the element and key when the source is wrong.
TAVJIT_API std::optional<std::string> BuildCatalogue(std::string_view json, std::string* error);

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

// Replaces path with bytes atomically: written beside it, then renamed, so a
// failure (or a killed process) leaves the earlier file as it was.
TAVJIT_API bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                                    std::string* error);

}  // namespace tavjit
