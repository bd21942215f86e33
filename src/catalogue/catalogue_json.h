// The JSON catalogue source: a readable form of a catalogue file.
//   {"elements": [{"name": "goto", "description": "", "containstext": false,
//     "textdescription": "", "textrequired": false, "textmultiline": false,
//     "parent": "", "text": "", "information": "",
//     "attributes": [{"name": "line", "type": 5, "required": true,
//       "default": 1, "value": "", "arrayvalues": "", "description": ""}]}]}
#pragma once

#include <string>
#include <string_view>

#include "catalogue/records.h"

namespace tavjit {

// Fills out (emptied first) from a JSON source, keeping element and
// attribute order. Returns false with a message naming the element and key
// on bad input; out is then left empty.
bool LoadCatalogueJson(std::string_view json, CElements& out, std::string* error);

// The JSON source form of a catalogue; building it again gives back an
// identical catalogue file.
std::string DumpCatalogueJson(const CElements& catalogue);

// True when the bytes look like a binary catalogue file (by its magic).
bool IsCatalogueFile(std::string_view bytes);

// Loads catalogue-file bytes into out; false, with a message, when they are
// not a catalogue file at all.
bool LoadCatalogueFileBytes(std::string_view bytes, CElements& out, std::string* error);

}  // namespace tavjit
