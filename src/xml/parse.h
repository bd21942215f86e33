// The two parses behind Document::Parse, for the XML layer's own files. The
// streaming parse takes documents without a document type declaration and
// answers NeedsTree for one that has it; the tree parse takes every document,
// entities included.
#pragma once

#include <string_view>
#include <vector>

#include "xml/arena.h"
#include "xml/document.h"

namespace tavjit::xml {

enum class ParseResult { Ok, NotWellFormed, NeedsTree, OutOfMemory };
// problems, when given, gets why a document was refused (Document::Parse).
ParseResult ParseStreaming(std::string_view bytes, Arena* arena,
                           std::vector<Problem>* problems = nullptr);
ParseResult ParseWithTree(std::string_view bytes, Arena* arena,
                          std::vector<Problem>* problems = nullptr);

}  // namespace tavjit::xml
