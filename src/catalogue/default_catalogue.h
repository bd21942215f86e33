// The catalogue built into the library: the bytes of a catalogue file made
// at build time from default_catalogue.json.
#pragma once

#include <string_view>

namespace tavjit {
std::string_view DefaultCatalogueBytes();
}
