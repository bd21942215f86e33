// The editor features, each a plain function of the document, a position and
// what the catalogue and the last compile say. Nothing here knows JSON or the
// protocol: protocol.cpp turns these values into messages.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

#include "lsp/document.h"
#include "lsp/scanner.h"
#include "tavjit/catalogue.hpp"
#include "tavjit/tavjit.hpp"

namespace tavjit::lsp {

// A catalogue's description with its elements found by name, ignoring case
// as the compiler does.
class Catalogue {
 public:
  Catalogue() = default;
  // nullopt (with a message) when the bytes are not a catalogue file.
  static std::optional<Catalogue> FromBytes(std::string bytes, std::string* error);

  const std::string& Bytes() const { return bytes_; }
  const CatalogueDescription& Description() const { return description_; }
  const ElementDescription* Element(std::string_view name) const;
  static const AttributeDescription* Attribute(const ElementDescription& e, std::string_view name);

 private:
  std::string bytes_;
  CatalogueDescription description_;
  std::unordered_map<std::string, size_t> by_name_;  // lower-cased name
};

// What one compile of the document gave.
struct CompileResult {
  bool ok = false;
  std::string text, errmsg;
  std::vector<tavjit::Diagnostic> events;
  std::vector<LintFinding> lint;
  std::vector<Explanation> explanations;
  std::vector<ScriptBlock> blocks;
};

// Compiles documents as `tavjit compile` compiles their files: each as if
// alone, so that values an earlier version of the document wrote into the
// catalogue do not carry over to the next.
class Compiler {
 public:
  explicit Compiler(std::string catalogue_bytes);
  CompileResult Compile(std::string_view text, bool lint);

 private:
  CTavJIT jit_;
  CompileResult* sink_ = nullptr;
};

// Editors show a document as text; a declaration of another encoding than
// UTF-8 in it would make the compiler read the editor's UTF-8 wrongly.
std::string AsUtf8Document(std::string_view text);

enum class Severity { Error = 1, Warning = 2, Information = 3, Hint = 4 };

struct RelatedPlace {
  Range range;
  std::string message;
};

struct Diagnostic {
  Range range;
  Severity severity = Severity::Error;
  std::string source;   // "tavjit" for the compiler's events, "tavjit lint" for notes
  std::string code;     // what kind of problem, for code actions
  std::string message;  // the compiler's text exactly, then any explanation
  std::vector<RelatedPlace> related;
  Span span;             // the bytes the range covers
  std::string subject;   // the element or attribute the message names
};

// The compiler's events, its explanations and the lint's notes, each with a
// range: the start tag name of the element it concerns, or the attribute's
// value; where the compiler gives a column, the name or value there.
std::vector<Diagnostic> Diagnose(const Document& doc, const Scan& scan, const Catalogue& cat,
                                 const CompileResult& result);

struct TextEdit {
  Range range;
  std::string new_text;
};

enum class CompletionKind { Field = 5, Variable = 6, Class = 7, Property = 10, Value = 12,
                            Keyword = 14, Snippet = 15, EnumMember = 20 };

struct CompletionItem {
  std::string label;
  CompletionKind kind = CompletionKind::Keyword;
  std::string detail, documentation;  // documentation is Markdown
  TextEdit edit;
  bool snippet = false;
};

std::vector<CompletionItem> Complete(const Document& doc, const Scan& scan, const Catalogue& cat,
                                     Position at);

struct Hover {
  std::string markdown;
  Range range;
};

// result: the last compile of this very text, or null when there is none.
std::optional<Hover> HoverAt(const Document& doc, const Scan& scan, const Catalogue& cat,
                             const CompileResult* result, Position at);

// Variables: var and range declare them; variable-name attributes, number
// and true-or-false values that name one, and %name% references use them.
struct Occurrence {
  Span name;
  bool declaration = false;
  bool write = false;  // a declaration, or a variable-name attribute that names what gets a value
};

// The variable named where the offset stands, with all its occurrences.
struct VariableHere {
  std::string name;  // as written there
  Span span;         // its name at the offset
  std::vector<Occurrence> occurrences;
};
std::optional<VariableHere> VariableAt(const Scan& scan, const Catalogue& cat, size_t offset);

enum class HighlightKind { Text = 1, Read = 2, Write = 3 };
struct Highlight {
  Range range;
  HighlightKind kind;
};

std::vector<Range> Definition(const Document& doc, const Scan& scan, const Catalogue& cat,
                              Position at);
std::vector<Range> References(const Document& doc, const Scan& scan, const Catalogue& cat,
                              Position at, bool include_declaration);
std::vector<Highlight> Highlights(const Document& doc, const Scan& scan, const Catalogue& cat,
                                  Position at);
struct RenameTarget {
  Range range;
  std::string placeholder;
};
std::optional<RenameTarget> PrepareRename(const Document& doc, const Scan& scan,
                                          const Catalogue& cat, Position at);
// The edits, or why the rename cannot be made.
std::variant<std::vector<TextEdit>, std::string> Rename(const Document& doc, const Scan& scan,
                                                        const Catalogue& cat, Position at,
                                                        std::string_view new_name);

enum class SymbolKind { Namespace = 3, Field = 8, Variable = 13, Struct = 23, Event = 24,
                        Operator = 25 };
struct Symbol {
  std::string name, detail;
  SymbolKind kind = SymbolKind::Struct;
  Range range, selection;
  std::vector<Symbol> children;
};
// The outline: if, loop and else with what they hold, and the declarations.
std::vector<Symbol> Outline(const Document& doc, const Scan& scan, const Catalogue& cat);

struct Fold {
  uint32_t start_line = 0, end_line = 0;
  bool comment = false;
};
std::vector<Fold> Folds(const Document& doc, const Scan& scan);

struct CodeAction {
  std::string title;
  std::vector<TextEdit> edits;
  bool preferred = false;
  std::vector<const Diagnostic*> fixes;  // the diagnostics it resolves
};
// Quick fixes for the diagnostics and tags in range: a name the catalogue
// knows for one it does not, lower case for a control-flow name, a missing
// required attribute.
std::vector<CodeAction> CodeActions(const Document& doc, const Scan& scan, const Catalogue& cat,
                                    Range range, const std::vector<Diagnostic>& diagnostics);

// Names from candidates close to name (a typing slip or another letter
// case), nearest first.
std::vector<std::string> NearNames(std::string_view name, const std::vector<std::string>& candidates);

}  // namespace tavjit::lsp
