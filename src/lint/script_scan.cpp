// Just enough of VBScript: statements, continuations, references and
// declarations, read line by line.
#include "lint/script_scan.h"

#include <array>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <utility>

#include "support/text.h"

namespace tavjit::lint {

namespace {

Statement Of(Op op, Block block = Block::kIf, std::string_view names = {}) {
  Statement s;
  s.op = op;
  s.block = block;
  s.names = names;
  return s;
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

size_t SkipBlanks(std::string_view s, size_t pos) {
  while (pos < s.size() && IsBlank(s[pos])) ++pos;
  return pos;
}

// The word (letters, digits, "_") at pos, after blanks; *end is set past it.
std::string_view WordAt(std::string_view s, size_t pos, size_t* end) {
  pos = SkipBlanks(s, pos);
  size_t e = pos;
  while (e < s.size() && IsNameChar(s[e])) ++e;
  *end = e;
  return s.substr(pos, e - pos);
}

// Compares with a lower-case keyword, ignoring ASCII case.
bool Is(std::string_view word, std::string_view keyword) { return EqualsAsciiNoCase(word, keyword); }

// Position just past the first whole word equal to keyword outside string
// literals, at or after pos; npos when there is none.
size_t FindWord(std::string_view s, size_t pos, std::string_view keyword, size_t* start = nullptr) {
  bool in_str = false;
  for (size_t i = pos; i < s.size(); ++i) {
    const char c = s[i];
    if (in_str) {
      if (c == '"') in_str = false;
      continue;
    }
    if (c == '"') {
      in_str = true;
      continue;
    }
    if (!IsNameChar(c) || (i > 0 && IsNameChar(s[i - 1]))) continue;
    size_t e = i;
    while (e < s.size() && IsNameChar(s[e])) ++e;
    if (Is(s.substr(i, e - i), keyword)) {
      if (start) *start = i;
      return e;
    }
    i = e - 1;
  }
  return std::string_view::npos;
}

void AddExit(std::string_view stmt, size_t after_exit, std::vector<Statement>* out) {
  size_t end;
  std::string_view w = WordAt(stmt, after_exit, &end);
  if (Is(w, "do"))
    out->push_back(Of(Op::kExit, Block::kDo));
  else if (Is(w, "for"))
    out->push_back(Of(Op::kExit, Block::kFor));
  else if (Is(w, "sub"))
    out->push_back(Of(Op::kExit, Block::kSub));
  else if (Is(w, "function"))
    out->push_back(Of(Op::kExit, Block::kFunction));
  else if (Is(w, "property"))
    out->push_back(Of(Op::kExit, Block::kProperty));
}

// The statements of a single-line If after its Then: only exits matter.
void SingleLineIf(std::string_view rest, std::vector<Statement>* out) {
  size_t pos = 0;
  while (true) {
    size_t else_start = std::string_view::npos;
    const size_t else_end = FindWord(rest, pos, "else", &else_start);
    std::string_view part = rest.substr(
        pos, else_end == std::string_view::npos ? std::string_view::npos : else_start - pos);
    size_t end;
    if (Is(WordAt(part, 0, &end), "exit")) AddExit(part, end, out);
    if (else_end == std::string_view::npos) return;
    pos = else_end;
  }
}

std::optional<Block> ProcedureWord(std::string_view w, std::string_view stmt, size_t end) {
  if (Is(w, "sub")) return Block::kSub;
  if (Is(w, "function")) return Block::kFunction;
  if (Is(w, "class")) return Block::kClass;
  if (Is(w, "property")) {
    size_t e;
    std::string_view kind = WordAt(stmt, end, &e);
    if (Is(kind, "get") || Is(kind, "let") || Is(kind, "set")) return Block::kProperty;
  }
  return std::nullopt;
}

// Keywords that make a statement what it is by themselves.
struct Keyword {
  std::string_view word;
  Op op;
  Block block;
};
constexpr Keyword kKeywords[] = {  // by first letter
    {"case", Op::kCase, Block::kIf},        {"class", Op::kOpen, Block::kClass},
    {"do", Op::kOpen, Block::kDo},          {"else", Op::kElse, Block::kIf},
    {"elseif", Op::kElseIf, Block::kIf},    {"for", Op::kOpen, Block::kFor},
    {"function", Op::kOpen, Block::kFunction}, {"loop", Op::kClose, Block::kDo},
    {"next", Op::kClose, Block::kFor},      {"sub", Op::kOpen, Block::kSub},
    {"while", Op::kOpen, Block::kWhile},    {"wend", Op::kClose, Block::kWhile},
    {"with", Op::kOpen, Block::kWith},
};

// Where the table's keywords with each first letter start, a to z and past z.
constexpr auto kKeywordsFrom = [] {
  std::array<uint8_t, 27> from{};
  for (size_t letter = 0, k = 0; letter < from.size(); ++letter) {
    while (k < std::size(kKeywords) && kKeywords[k].word[0] < 'a' + static_cast<int>(letter)) ++k;
    from[letter] = static_cast<uint8_t>(k);
  }
  return from;
}();

// The table's keywords that start with the lower-case letter.
std::span<const Keyword> KeywordsFrom(char first) {
  if (first < 'a' || first > 'z') return {};
  const size_t letter = static_cast<size_t>(first - 'a');
  return {kKeywords + kKeywordsFrom[letter], kKeywords + kKeywordsFrom[letter + 1]};
}

// What "End" closes, by the word after it.
constexpr std::pair<std::string_view, Block> kEnds[] = {
    {"if", Block::kIf},         {"select", Block::kSelect},     {"with", Block::kWith},
    {"sub", Block::kSub},       {"function", Block::kFunction}, {"property", Block::kProperty},
    {"class", Block::kClass},
};

// "If": a block when nothing follows its Then, else a single-line If.
void IfStatement(std::string_view stmt, size_t end, std::vector<Statement>* out) {
  const size_t then_end = FindWord(stmt, end, "then");
  if (then_end == std::string_view::npos) return;
  std::string_view rest = stmt.substr(then_end);
  if (SkipBlanks(rest, 0) == rest.size())
    out->push_back(Of(Op::kOpen, Block::kIf));
  else
    SingleLineIf(rest, out);
}

// "Public" or "Private" (and "Default"): a procedure, a constant or variables.
void Visibility(std::string_view stmt, size_t end, std::vector<Statement>* out) {
  size_t e;
  std::string_view next = WordAt(stmt, end, &e);
  if (Is(next, "default")) next = WordAt(stmt, e, &e);
  if (auto b = ProcedureWord(next, stmt, e))
    out->push_back(Of(Op::kOpen, *b));
  else if (Is(next, "const"))
    out->push_back(Of(Op::kDeclare, Block::kIf, stmt.substr(e)));
  else
    out->push_back(Of(Op::kDeclare, Block::kIf, stmt.substr(end)));
}

// The keywords are two to eight letters long and start with one of a few
// letters: most words are ruled out at once.
bool MaybeKeyword(std::string_view w) {
  if (w.size() < 2 || w.size() > 8) return false;
  switch (AsciiLower(w[0])) {
    case 'c': case 'd': case 'e': case 'f': case 'i': case 'l':
    case 'n': case 'p': case 'r': case 's': case 'w': return true;
    default: return false;
  }
}

// Classifies one statement by its first word; false when the rest of the
// line is a comment.
bool Classify(std::string_view stmt, std::vector<Statement>* out) {
  size_t end;
  const std::string_view w = WordAt(stmt, 0, &end);
  // Most statements start with a name that is no keyword.
  if (!MaybeKeyword(w)) return true;
  if (const std::optional<Statement> s = KeywordStatement(w)) {
    out->push_back(*s);
    return true;
  }
  const char first = AsciiLower(w[0]);
  // The others, by their first letter: a name is compared with few.
  size_t e;
  switch (first) {
    case 'i':
      if (Is(w, "if")) IfStatement(stmt, end, out);
      break;
    case 'e':
      if (Is(w, "exit")) {
        AddExit(stmt, end, out);
      } else if (Is(w, "end")) {
        const std::string_view what = WordAt(stmt, end, &e);
        for (const auto& [word, block] : kEnds)
          if (Is(what, word)) out->push_back(Of(Op::kClose, block));
      }
      break;
    case 'd':
    case 'c':
      if (Is(w, "dim") || Is(w, "const"))
        out->push_back(Of(Op::kDeclare, Block::kIf, stmt.substr(end)));
      break;
    case 's':
      if (Is(w, "select") && Is(WordAt(stmt, end, &e), "case"))
        out->push_back(Of(Op::kOpen, Block::kSelect));
      break;
    case 'p':
      if (Is(w, "property")) {
        if (auto b = ProcedureWord(w, stmt, end)) out->push_back(Of(Op::kOpen, *b));
      } else if (Is(w, "public") || Is(w, "private")) {
        Visibility(stmt, end, out);
      }
      break;
    case 'r':
      if (Is(w, "rem")) return false;
      break;
    default:
      break;
  }
  return true;
}

}  // namespace

void Statements(std::string_view line, std::vector<Statement>* out) {
  out->clear();
  // One statement and no comment, the usual line.
  if (line.find(':') == std::string_view::npos && line.find('\'') == std::string_view::npos) {
    Classify(line, out);
    return;
  }
  size_t start = 0;
  for (size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (c == '"') {
      // A string runs to the next quote (a doubled one closes and reopens).
      i = line.find('"', i + 1);
      if (i == std::string_view::npos) break;
    } else if (c == '\'') {
      Classify(line.substr(start, i - start), out);
      return;
    } else if (c == ':') {
      if (!Classify(line.substr(start, i - start), out)) return;
      start = i + 1;
    }
  }
  Classify(line.substr(start), out);
}

std::string_view FirstWord(std::string_view s, size_t* end) { return WordAt(s, 0, end); }

std::optional<Statement> KeywordStatement(std::string_view word) {
  if (!MaybeKeyword(word)) return std::nullopt;
  for (const Keyword& k : KeywordsFrom(AsciiLower(word[0])))
    if (Is(word, k.word)) return Of(k.op, k.block);
  return std::nullopt;
}

bool StartsStatement(std::string_view word) {
  if (!MaybeKeyword(word)) return false;
  if (KeywordStatement(word)) return true;
  for (std::string_view w :
       {"if", "exit", "end", "dim", "const", "select", "property", "public", "private", "rem"})
    if (Is(word, w)) return true;
  return false;
}

void OneStatement(std::string_view line, std::vector<Statement>* out) {
  out->clear();
  Classify(line, out);
}

bool Continues(std::string_view line, std::string_view* head) {
  size_t end = line.size();
  while (end > 0 && IsBlank(line[end - 1])) --end;
  if (end < 2 || line[end - 1] != '_' || !IsBlank(line[end - 2])) return false;
  const size_t last = end - 1;
  // The "_" must be code, not inside a string or a comment.
  bool in_str = false;
  for (size_t i = 0; i < last; ++i) {
    const char c = line[i];
    if (in_str) {
      if (c == '"') in_str = false;
    } else if (c == '"') {
      in_str = true;
    } else if (c == '\'') {
      return false;
    }
  }
  if (in_str) return false;
  *head = line.substr(0, last);
  return true;
}

bool IsIdentifier(std::string_view s) {
  if (s.empty() || (s[0] >= '0' && s[0] <= '9')) return false;
  for (char c : s)
    if (!IsNameChar(c)) return false;
  return true;
}

void DeclaredNames(std::string_view list, std::vector<std::string_view>* names) {
  names->clear();
  int depth = 0;
  bool in_str = false, expect_name = true;
  for (size_t i = 0; i < list.size(); ++i) {
    const char c = list[i];
    if (in_str) {
      if (c == '"') in_str = false;
      continue;
    }
    if (c == '"') {
      in_str = true;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ',' && depth == 0) {
      expect_name = true;
    } else if (expect_name && IsNameChar(c)) {
      size_t e = i;
      while (e < list.size() && IsNameChar(list[e])) ++e;
      std::string_view name = list.substr(i, e - i);
      if (IsIdentifier(name)) names->push_back(name);
      expect_name = false;
      i = e - 1;
    } else if (!IsBlank(c)) {
      expect_name = false;
    }
  }
}

bool IsReferenceName(std::string_view gap) {
  const size_t dot = gap.find('.');
  return dot == std::string_view::npos
             ? IsIdentifier(gap)
             : IsIdentifier(gap.substr(0, dot)) && IsIdentifier(gap.substr(dot + 1));
}

namespace {

// Adds each reference to a list.
struct AddTo {
  std::vector<Reference>* out;
  bool operator()(std::string_view name, bool in_code) const {
    out->push_back({name, in_code});
    return true;
  }
};

}  // namespace

void References(std::string_view line, std::vector<Reference>* out) {
  out->clear();
  SignPairs<AddTo> pairs{line, AddTo{out}};
  bool in_str = false;
  if (line.find('\'') == std::string_view::npos) {
    // No comment: only the quotes before each sign matter, found by jumps.
    const char* const s = line.data();
    const char* const end = s + line.size();
    const char* scanned = s;
    for (const char* p = static_cast<const char*>(std::memchr(s, '%', line.size())); p;
         p = static_cast<const char*>(std::memchr(p + 1, '%', static_cast<size_t>(end - p - 1)))) {
      for (const char* q; (q = static_cast<const char*>(
                               std::memchr(scanned, '"', static_cast<size_t>(p - scanned))));
           scanned = q + 1)
        in_str = !in_str;
      scanned = p + 1;
      pairs.At(static_cast<size_t>(p - s), !in_str);
    }
    return;
  }
  static constexpr auto kSigns = [] {
    std::array<bool, 256> signs{};
    signs['"'] = signs['%'] = signs['\''] = true;
    return signs;
  }();
  for (size_t i = 0; i < line.size(); ++i) {
    while (i < line.size() && !kSigns[static_cast<unsigned char>(line[i])]) ++i;
    if (i == line.size()) break;
    const char c = line[i];
    if (c == '"') {
      in_str = !in_str;
      continue;
    }
    if (c == '\'' && !in_str) break;
    if (c != '%') continue;
    pairs.At(i, !in_str);
  }
}

void ValueReferences(std::string_view value, bool in_code, std::vector<Reference>* out) {
  EachValueReference(value, in_code, AddTo{out});
}

const char* OpenKeyword(Block b) {
  switch (b) {
    case Block::kIf:
      return "If";
    case Block::kDo:
      return "Do";
    case Block::kWhile:
      return "While";
    case Block::kFor:
      return "For";
    case Block::kSelect:
      return "Select Case";
    case Block::kWith:
      return "With";
    case Block::kSub:
      return "Sub";
    case Block::kFunction:
      return "Function";
    case Block::kProperty:
      return "Property";
    case Block::kClass:
      return "Class";
  }
  return "";
}

const char* CloseKeyword(Block b) {
  switch (b) {
    case Block::kIf:
      return "End If";
    case Block::kDo:
      return "Loop";
    case Block::kWhile:
      return "Wend";
    case Block::kFor:
      return "Next";
    case Block::kSelect:
      return "End Select";
    case Block::kWith:
      return "End With";
    case Block::kSub:
      return "End Sub";
    case Block::kFunction:
      return "End Function";
    case Block::kProperty:
      return "End Property";
    case Block::kClass:
      return "End Class";
  }
  return "";
}

bool IsScope(Block b) {
  return b == Block::kSub || b == Block::kFunction || b == Block::kProperty || b == Block::kClass;
}

bool IsReservedWord(std::string_view s) {
  static constexpr std::string_view kWords[] = {
      "and",     "as",       "boolean", "byref",   "byte",     "byval",  "call",     "case",
      "class",   "const",    "currency", "debug",  "dim",      "do",     "double",   "each",
      "else",    "elseif",   "empty",   "end",     "endif",    "enum",   "eqv",      "erase",
      "error",   "event",    "exit",    "explicit", "false",   "for",    "function", "get",
      "goto",    "if",       "imp",     "implements", "in",    "integer", "is",      "let",
      "like",    "long",     "loop",    "lset",    "me",       "mod",    "new",      "next",
      "not",     "nothing",  "null",    "on",      "option",   "optional", "or",     "paramarray",
      "preserve", "private", "property", "public", "raiseevent", "redim", "rem",     "resume",
      "rset",    "select",   "set",     "shared",  "single",   "static", "stop",     "sub",
      "then",    "to",       "true",    "type",    "typeof",   "until",  "variant",  "wend",
      "while",   "with",     "xor"};
  if (s.size() > 12) return false;
  for (std::string_view w : kWords)
    if (EqualsAsciiNoCase(w, s)) return true;
  return false;
}

}  // namespace tavjit::lint
