// The two parses behind Document::Parse, for the XML layer's own files. The
// streaming parse takes documents without a document type declaration and
// answers NeedsTree for one that has it; the tree parse takes every document,
// entities included.
#pragma once

#include <string_view>

#include "xml/arena.h"

namespace tavjit::xml {

enum class ParseResult { Ok, NotWellFormed, NeedsTree, OutOfMemory };
ParseResult ParseStreaming(std::string_view bytes, Arena* arena);
ParseResult ParseWithTree(std::string_view bytes, Arena* arena);

}  // namespace tavjit::xml
