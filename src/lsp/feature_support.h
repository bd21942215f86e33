// What several features share: the variables a document declares, and the
// Markdown that explains an element or an attribute.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "lsp/features.h"

namespace tavjit::lsp {

// A var or range element's name, in document order.
struct Declaration {
  std::string name;  // as written, blanks around removed
  Span span;
  bool range = false;
  int element = -1;
};
std::vector<Declaration> Declarations(const Scan& scan, const Catalogue& cat);

// The catalogue element a start tag names, when the tag stands in the body.
const ElementDescription* BodyElement(const Scan& scan, const Catalogue& cat, const Tag& tag);

// The properties a range variable's references may name.
inline constexpr std::string_view kRangeProperties[] = {"startlineno", "startcolno", "endlineno",
                                                        "endcolno", "columnsel"};

std::string ElementMarkdown(const ElementDescription& e);
std::string AttributeMarkdown(const ElementDescription& e, const AttributeDescription& a);

// Text as it reads once XML's five named references are resolved, for
// showing values (an outline's "loop n < 3").
std::string Readable(std::string_view raw);

// Blanks at the ends removed, as attribute checking trims.
Span Trimmed(const Scan& scan, Span s);

}  // namespace tavjit::lsp
