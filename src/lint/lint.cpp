// Linter: each listed element's block read for structure, declarations,
// references and empty values; findings put in document order at the end.
#include "lint/lint.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "generator/vocabulary.h"
#include "support/text.h"

namespace tavjit::lint {

namespace {

constexpr const char* kRefused = "the interpreter refuses the whole script";

std::string Code(std::string_view s) {
  std::string code;
  code.reserve(s.size() + 2);
  code.append(1, '`').append(s).push_back('`');
  return code;
}

// What an empty slot does to the element line (quoted when it is one line).
std::string Consequence(bool refused, std::string_view line) {
  std::string s = line.empty() ? ", which leaves " : ", so its line reads " + Code(line) + ", ";
  s += refused ? "a syntax error" : "a call without its value";
  if (line.empty() && refused) s += " in its lines";
  s += refused ? std::string(": ") + kRefused : ": the script stops with an error there";
  return s;
}

bool Blank(std::string_view v) {
  for (char c : v)
    if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return false;
  return true;
}

// What makes a line more than one statement, or more than one line: a
// quote, a statement separator, a comment sign, a line break.
bool HasCodeSign(std::string_view s) {
  static constexpr auto kSigns = [] {
    std::array<bool, 256> signs{};
    signs['"'] = signs[':'] = signs['\''] = signs['\r'] = signs['\n'] = true;
    return signs;
  }();
  for (char c : s)
    if (kSigns[static_cast<unsigned char>(c)]) return true;
  return false;
}

bool IsAttribute(const CAttribute& a, std::string_view name) {
  return EqualsAsciiNoCase(a.AttributeName(), name);
}

// Script identifiers are ASCII: their case folding is lowering.
void AppendLowered(std::string* out, std::string_view name) {
  const size_t at = out->size();
  out->resize(at + name.size());
  for (size_t i = 0; i < name.size(); ++i) (*out)[at + i] = AsciiLower(name[i]);
}

std::string Lower(std::string_view name) {
  std::string s;
  AppendLowered(&s, name);
  return s;
}

bool IsControl(std::string_view element) { return element == "if" || element == "loop"; }

// How a finding names an element: "`loop`", or for the closings the
// compiler adds, "the end of the `loop`".
std::string Who(std::string_view element) {
  if (element == "endif") return "the end of the `if`";
  if (element == "endloop") return "the end of the `loop`";
  return Code(element);
}

// "a `Do`", "an `If`".
std::string A(Block kind) { return (kind == Block::kIf ? "an " : "a ") + Code(OpenKeyword(kind)); }

std::string LineSuffix(uint32_t line) {
  return line ? " at line " + std::to_string(line) : std::string();
}

// The element line without its CR LF when it is a single line.
std::string_view SingleLine(std::string_view inner) {
  if (inner.size() >= 2 && inner.substr(inner.size() - 2) == kCrLf) inner.remove_suffix(2);
  if (inner.find(kCrLf) != std::string_view::npos) return {};
  return inner;
}

uint64_t CountLines(std::string_view s) {
  uint64_t n = 0;
  for (const char* p = s.data();
       (p = static_cast<const char*>(std::memchr(p, '\n', s.data() + s.size() - p))); ++p)
    ++n;
  return n;
}

}  // namespace

uint8_t& Linter::NameFlags::operator[](std::string_view name) {
  size_t mask = slots_.size() - 1;
  size_t i = Hash(name) & mask;
  for (; slots_[i]; i = (i + 1) & mask)
    if (names_[slots_[i] - 1].first == name) return names_[slots_[i] - 1].second;
  names_.emplace_back(std::string(name), 0);
  if (names_.size() * 2 <= slots_.size()) {
    slots_[i] = static_cast<uint32_t>(names_.size());
    return names_.back().second;
  }
  // Half full: twice the slots, every name placed again.
  slots_.assign(slots_.size() * 2, 0);
  mask = slots_.size() - 1;
  for (size_t k = 0; k < names_.size(); ++k) {
    size_t j = Hash(names_[k].first) & mask;
    while (slots_[j]) j = (j + 1) & mask;
    slots_[j] = static_cast<uint32_t>(k + 1);
  }
  return names_.back().second;
}

void Linter::ForgetDefinitions() {
  // Never 0, the owner of a fresh memo, nor any lint's before.
  static std::atomic<uint64_t> owners{0};
  memo_owner_ = ++owners;
  facts_.clear();
  element_names_.clear();
}

void Linter::Reset() {
  index_ = 0;
  lines_ = 0;
  open_elements_.clear();
  blocks_.clear();
  closed_early_.clear();
  forced_.fill(0);
  scopes_.assign(1, {});
  declared_.Clear();
  pending_references_.clear();
  pending_writes_.clear();
  kept_.assign(1, std::string());
  kept_ids_.clear();
  deferred_.clear();
  continued_.clear();
  continuing_ = false;
  findings_.clear();
  late_.clear();
}

namespace {

// A finding that says the script is refused or stops says so in these
// words; it is a warning, the others notes.
Severity SeverityOf(std::string_view message) {
  return message.find("refuse") != std::string_view::npos ||
                 message.find("script stops") != std::string_view::npos
             ? Severity::Warning
             : Severity::Note;
}

}  // namespace

namespace {

LintFinding FindingAt(Place place, std::string message, Severity severity) {
  std::optional<uint32_t> line, column;
  if (place.line) line = place.line;
  if (place.column) column = place.column;
  return LintFinding{line, std::move(message), column, severity};
}

}  // namespace

void Linter::Note(const Site& site, std::string message) {
  const Severity severity = SeverityOf(message);
  findings_.push_back(FindingAt({site.line, site.column}, std::move(message), severity));
}

void Linter::NoteAt(Place place, std::string message) {
  findings_.push_back(FindingAt(place, std::move(message), Severity::Note));
}

void Linter::NoteAt(Place place, std::string message, size_t before) {
  late_.emplace_back(before, FindingAt(place, std::move(message), Severity::Note));
}

Linter::Facts& Linter::FindFacts(const CElement& e) {
  const CAttributes& attrs = e.Attributes();
  const size_t count = static_cast<size_t>(attrs.Count());
  auto [it, fresh] = facts_.try_emplace(&e);
  Facts& f = it->second;
  if (!fresh && f.name == e.ElementName() && f.attributes == count) return f;
  f = Facts{};
  f.name = *element_names_.insert(e.ElementName()).first;
  f.attributes = count;
  f.row = branches::FindRow(e.ElementName());
  const bool sets_range = f.row && f.row->role == Kind::kSetsRange;
  size_t i = 0;
  for (const auto& a : attrs) {
    const AttributeType type = TypeOf(*a);
    if (type == AttributeType::kTruth) f.truths.push_back(i);
    if (type == AttributeType::kNumber || type == AttributeType::kTruth) f.values.push_back(i);
    if (IsAttribute(*a, "variable") || IsAttribute(*a, "range") ||
        (sets_range && IsAttribute(*a, "name")))
      f.writes.emplace_back(i, IsAttribute(*a, "range") || sets_range);
    ++i;
  }
  if (f.row) {
    for (int32_t k = 1; k <= attrs.Count(); ++k) {
      for (const branches::Input& in : f.row->inputs) {
        if (in.if_empty == branches::IfEmpty::kFine || in.attribute.empty()) continue;
        const CAttributes::Ptr* found = attrs.Find(in.attribute);
        if (found && *found == attrs.Item(k)) {
          f.slots.emplace_back(static_cast<size_t>(k - 1), &in);
          break;
        }
      }
    }
  }
  if (const std::vector<branches::Piece>* form = f.row ? f.row->Form() : nullptr) {
    f.one_statement = true;
    for (const branches::Piece& p : *form) {
      switch (p.kind) {
        case branches::PieceKind::kLit:
          f.one_statement = f.one_statement && !HasCodeSign(p.arg) &&
                            p.arg.find('%') == std::string_view::npos;
          break;
        case branches::PieceKind::kVerbatim:
        case branches::PieceKind::kTrimmed:
        case branches::PieceKind::kQuoted: {
          Facts::Shown shown{SIZE_MAX, false, p.kind != branches::PieceKind::kQuoted,
                             p.kind == branches::PieceKind::kTrimmed};
          if (const CAttributes::Ptr* found = attrs.Find(p.arg))
            for (int32_t k = 1; k <= attrs.Count(); ++k)
              if (attrs.Item(k) == *found) shown.position = static_cast<size_t>(k - 1);
          if (shown.in_code && shown.position != SIZE_MAX)
            f.code_values.push_back(shown.position);
          f.shown.push_back(shown);
          f.string_values = f.string_values || !shown.in_code;
          break;
        }
        case branches::PieceKind::kQuotedText:
          f.shown.push_back({SIZE_MAX, true, false, false});
          f.string_values = true;
          break;
        case branches::PieceKind::kVerbatimText:
          f.one_statement = false;
          break;
      }
    }
    const auto& pieces = *form;
    // The first word of a line that starts with fixed text, when it ends there.
    const bool fixed_start = !pieces.empty() && pieces.front().kind == branches::PieceKind::kLit;
    std::string_view first_word;
    bool first_word_fixed = false;
    if (fixed_start) {
      size_t end;
      first_word = FirstWord(pieces.front().arg, &end);
      first_word_fixed = end < pieces.front().arg.size();
    }
    if (f.one_statement && fixed_start)
      f.no_statement = first_word_fixed && !StartsStatement(first_word);
    f.value_first = f.one_statement && pieces.size() > 1 &&
                    pieces[0].kind == branches::PieceKind::kVerbatim &&
                    pieces[1].kind == branches::PieceKind::kLit && !pieces[1].arg.empty() &&
                    !IsNameChar(pieces[1].arg[0]) && pieces[1].arg[0] != ' ' &&
                    pieces[1].arg[0] != '\t';
    if (f.value_first)
      if (const CAttributes::Ptr* found = attrs.Find(pieces[0].arg))
        for (int32_t k = 1; k <= attrs.Count(); ++k)
          if (attrs.Item(k) == *found) f.first_value = static_cast<size_t>(k - 1);
    for (const branches::Piece& p : pieces)
      f.names_document = f.names_document || (p.kind == branches::PieceKind::kLit &&
                                               p.arg.find(kActiveDocument) != std::string_view::npos);
    if (!pieces.empty()) {
      const branches::Piece& last = pieces.back();
      const size_t end = last.arg.find_last_not_of(" \t");
      f.fixed_end = last.kind == branches::PieceKind::kQuoted ||
                    last.kind == branches::PieceKind::kQuotedText ||
                    (last.kind == branches::PieceKind::kLit && end != std::string_view::npos &&
                     last.arg[end] != '_');
    }
    if (f.one_statement && !f.no_statement && !f.value_first && fixed_start) {
      bool fixed = true;
      for (const branches::Piece& p : pieces) fixed = fixed && p.kind == branches::PieceKind::kLit;
      if (fixed) {
        for (const branches::Piece& p : pieces) f.fixed_text += p.arg;
        OneStatement(f.fixed_text, &f.statements);
        f.statements_known = f.fixed_end;
      } else if (first_word_fixed) {
        if (const std::optional<Statement> s = KeywordStatement(first_word)) {
          f.statements.push_back(*s);
          f.statements_known = true;
        }
      }
    }
    f.reads_nothing = f.one_statement && f.no_statement && f.fixed_end && !f.value_first &&
                      f.code_values.empty();
    f.fixed_block = f.no_statement && f.fixed_end && f.row->role == Kind::kNone &&
                    f.truths.empty() && f.writes.empty() && f.slots.empty();
    for (const branches::Piece& p : pieces)
      f.fixed_block = f.fixed_block && p.kind == branches::PieceKind::kLit &&
                      p.arg.find('%') == std::string_view::npos;
  }
  return f;
}

Linter::Shape Linter::ShapeOf(const CElement& e, const Facts& facts,
                              std::string_view inner) const {
  if (!facts.one_statement || continuing_) return Shape::kLines;
  for (size_t position : facts.code_values)
    if (HasCodeSign(e.Attributes().Item(static_cast<int32_t>(position) + 1)->Value()))
      return Shape::kLines;
  if (facts.value_first) {
    // Its first word is the value's first: the line reads nothing unless
    // that word starts a statement.
    std::string_view v;
    if (facts.first_value != SIZE_MAX)
      v = e.Attributes().Item(static_cast<int32_t>(facts.first_value) + 1)->Value();
    size_t end;
    if (StartsStatement(FirstWord(v, &end))) return Shape::kOneStatement;
  } else if (!facts.no_statement) {
    return Shape::kOneStatement;
  }
  std::string_view head;
  if (!facts.fixed_end && Continues(inner.substr(0, inner.size() - kCrLf.size()), &head))
    return Shape::kOneStatement;
  return Shape::kNothing;
}

void Linter::Observe(const CElement& element, Place place, std::string_view block,
                     ScriptBuilder::ObserverMemo& memo) {
  Facts& facts = FactsOf(element, memo);
  if (facts.fixed_block && !continuing_) {
    // Nothing to check: no statement, no reference, no value.
    ++index_;
    if (facts.block_lines == UINT64_MAX) facts.block_lines = CountLines(block);
    lines_ += facts.block_lines;
    return;
  }
  const branches::BranchRow* row = facts.row;
  Site site{facts.name, row ? row->role : Kind::kNone, place.line, place.column, index_++};
  if (site.kind == Kind::kIf || site.kind == Kind::kLoop || site.kind == Kind::kEndif ||
      site.kind == Kind::kEndloop || site.kind == Kind::kElse)
    ObserveElements(site);

  // The frame's guard: the element line between "If docs.Count Then" and
  // "End If". Structure is checked on the element line alone; the guard
  // pairs with itself unless the line cuts through it.
  std::string_view inner = block;
  const bool guarded =
      block.size() >= kGuardHead.size() + kGuardTail.size() &&
      std::memcmp(block.data(), kGuardHead.data(), kGuardHead.size()) == 0 &&
      std::memcmp(block.data() + block.size() - kGuardTail.size(), kGuardTail.data(),
                  kGuardTail.size()) == 0 &&
      (facts.names_document ||
       ContainsNoCase(block.substr(kGuardHead.size()), kActiveDocument));  // not in the head
  if (guarded)
    inner =
        block.substr(kGuardHead.size(), block.size() - kGuardHead.size() - kGuardTail.size() + 2);
  own_.Start(site.index);
  const Shape shape = !facts.one_statement || continuing_ ? Shape::kLines
                      : facts.reads_nothing            ? Shape::kNothing
                                                       : ShapeOf(element, facts, inner);
  switch (shape) {
    case Shape::kLines: Structure(site, inner); break;
    case Shape::kOneStatement: {
      std::string_view head;
      if (facts.statements_known &&
          (facts.fixed_end || !Continues(inner.substr(0, inner.size() - kCrLf.size()), &head))) {
        for (const Statement& s : facts.statements) Apply(site, s);
        break;
      }
      Structure(site, inner, true);
      break;
    }
    case Shape::kNothing: break;
  }
  if (guarded) {
    for (Block b : own_.stack) Unpaired(b, OpenKeyword(b));
    if (!own_.contained) CheckGuard(site);
  }
  // Most definitions leave most checks nothing to look at.
  if (!facts.slots.empty()) CheckEmptySlots(element, facts, site, inner, block);
  const bool one_line = shape != Shape::kLines;
  CheckReferences(element, facts, site, block, one_line);
  if (!facts.writes.empty()) CheckWrites(element, facts, site);
  if (!facts.values.empty()) CheckValues(element, facts, site, block);
  if (element.ContainsText() || site.kind == Kind::kDeclaresVariable ||
      site.kind == Kind::kDeclaresRange)
    CheckNames(element, site);

  if (site.kind == Kind::kDeclaresVariable || site.kind == Kind::kDeclaresRange) {
    if (const CAttributes::Ptr* name = element.Attributes().Find("name")) {
      uint8_t& as = declared_[FoldCase((*name)->Value())];
      if (!(as & (kVar | kRange))) as |= site.kind == Kind::kDeclaresRange ? kRange : kVar;
    }
  }
  // One line, and the guard's two around it.
  lines_ += !one_line          ? CountLines(block)
            : facts.string_values ? (guarded ? 3 : 1) + LinesInValues(element, facts)
                                  : (guarded ? 3 : 1);
}

std::string_view Linter::ShownValue(const CElement& e, const Facts::Shown& v) const {
  if (v.text) return e.Text();
  if (v.position == SIZE_MAX) return {};
  const std::string& value = e.Attributes().Item(static_cast<int32_t>(v.position) + 1)->Value();
  return v.trimmed ? TrimSpaces(value) : std::string_view(value);
}

// Only a line break that a string literal keeps as it is: a lone LF.
uint64_t Linter::LinesInValues(const CElement& e, const Facts& facts) const {
  uint64_t n = 0;
  for (const Facts::Shown& v : facts.shown)
    if (!v.in_code) n += CountLines(ShownValue(e, v));
  return n;
}

// Pairs each endif and endloop with its if or loop, and notes an else.
void Linter::ObserveElements(Site& site) {
  if (site.kind == Kind::kIf || site.kind == Kind::kLoop) {
    open_elements_.push_back({site});
    return;
  }
  if (site.kind == Kind::kEndif || site.kind == Kind::kEndloop) {
    const Kind opener = site.kind == Kind::kEndif ? Kind::kIf : Kind::kLoop;
    // The walk lists a closing at its if's or loop's place; an `IF` in
    // another letter case gets none and stays open.
    for (size_t j = open_elements_.size(); site.column && j-- > 0;) {
      const Site& o = open_elements_[j].site;
      if (o.kind != opener || o.line != site.line || o.column != site.column) continue;
      OpenElement open = std::move(open_elements_[j]);
      open_elements_.erase(open_elements_.begin() + static_cast<std::ptrdiff_t>(j));
      site.paired = open.site.index;
      if (open.guard_cut) NoteGuardCutIf(open);
      return;
    }
    while (!open_elements_.empty()) {
      OpenElement open = std::move(open_elements_.back());
      open_elements_.pop_back();
      if (open.site.kind != opener) continue;
      site.paired = open.site.index;
      if (open.guard_cut) NoteGuardCutIf(open);
      break;
    }
    return;
  }
  if (site.kind == Kind::kElse && !open_elements_.empty() &&
      open_elements_.back().site.kind == Kind::kIf)
    open_elements_.back().has_else = true;
}

void Linter::NoteGuardCutIf(const OpenElement& open) {
  Note(open.site, [&] {
    return "`if` mentions the active document in its expression, so its `If` line is wrapped in "
           "`If docs.Count Then`/`End If` and closed at once: the condition is ignored and the "
           "elements inside run whenever a document is open" +
           std::string(open.has_else ? " (and those after its `else` whenever none is)" : "") +
           "; compute the condition into a `var` first (for example with a `shortexpression`) "
           "and test that variable in `expression`.";
  });
}

// The compiler adds the closing of an if or loop itself, but only after an
// element named exactly `if` or `loop`.
void Linter::NoteNoClosing(const OpenBlock& b) {
  Note(b.site, [&] {
    return Who(b.site.element) + " gets no closing " + Code(CloseKeyword(b.kind)) +
           ": the compiler adds one only after an element written " + Who(b.site.element) +
           ", in lower case (and only when the catalogue defines its end), so " + kRefused +
           "; write the name in lower case.";
  });
}

void Linter::Unpaired(Block kind, const char* keyword) {
  own_.contained = false;
  if (kind != Block::kIf) own_.if_only = false;
  if (!own_.keyword || (kind != Block::kIf && own_.keyword_is_if)) {
    own_.keyword = keyword;
    own_.keyword_is_if = kind == Block::kIf;
  }
}

// Keeps the current element's own pairing, to tell whether its lines keep
// their blocks to themselves.
void Linter::TrackOwn(const Statement& s) {
  switch (s.op) {
    case Op::kOpen:
      own_.stack.push_back(s.block);
      break;
    case Op::kClose:
      if (!own_.stack.empty() && own_.stack.back() == s.block)
        own_.stack.pop_back();
      else
        Unpaired(s.block, CloseKeyword(s.block));
      break;
    case Op::kElse:
    case Op::kElseIf:
      if (own_.stack.empty() || own_.stack.back() != Block::kIf)
        Unpaired(Block::kIf, s.op == Op::kElse ? "Else" : "ElseIf");
      break;
    case Op::kCase:
      if (own_.stack.empty() || own_.stack.back() != Block::kSelect)
        Unpaired(Block::kSelect, "Case");
      break;
    default:
      break;
  }
}

void Linter::CheckGuard(const Site& site) {
  if (site.element == "if") {
    // Reported at its end, once it is known whether it has an else;
    // ObserveElements has just opened it.
    open_elements_.back().guard_cut = true;
    return;
  }
  if (site.element == "loop") {
    Note(site, [&] {
      return "`loop` mentions the active document in its statement, so its `Do While` line "
             "alone is wrapped in `If docs.Count Then`/`End If` and " +
             std::string(kRefused) +
             "; declare the loop condition in a `var` first, set it with a `shortexpression` "
             "before the loop and at the end of each round, and test that variable in "
             "`statement`.";
    });
    return;
  }
  std::string message = Who(site.element) +
                        " mentions the active document, so its lines are wrapped in "
                        "`If docs.Count Then`/`End If`, ";
  if (own_.if_only) {
    message += "which pair with its own `" + std::string(own_.keyword) +
               "` instead: a condition is ignored or an `Else` belongs to another `If`";
  } else {
    message += "which cut through its `" + std::string(own_.keyword) + "`: " + kRefused;
  }
  message +=
      "; keep each block whole within one element, or compute the value that needs the "
      "document into a variable in an element of its own.";
  Note(site, std::move(message));
}

void Linter::CheckEmptySlots(const CElement& e, const Facts& facts, const Site& site,
                             std::string_view inner, std::string_view block) {
  for (const auto& [position, in] : facts.slots)
    if (Blank(e.Attributes().Item(static_cast<int32_t>(position) + 1)->Value())) {
      NoteEmptySlots(e, facts, site, inner, block);
      return;
    }
}

void Linter::NoteEmptySlots(const CElement& e, const Facts& facts, const Site& site,
                            std::string_view inner, std::string_view block) {
  const std::string_view line = SingleLine(inner);
  Deferred* deferred = nullptr;
  for (const auto& [position, in] : facts.slots) {
    const CAttributes::Ptr& a = e.Attributes().Item(static_cast<int32_t>(position) + 1);
    if (!Blank(a->Value())) continue;
    const branches::Input* slot = in;
    const bool refused = slot->if_empty == branches::IfEmpty::kSyntaxError;
    const std::string attr = Code(slot->attribute);
    // A required number written "%%" is emptied by its check, which a
    // later run may fill with the default: decided against the script.
    const bool nameless =
        TypeOf(*a) == AttributeType::kNumber && a->Required() && a->Value().empty();
    if (nameless) {
      if (!deferred) {
        deferred_.push_back({site, lines_, std::string(block), std::string(line), {}});
        deferred = &deferred_.back();
      }
      deferred->attributes.emplace_back(slot->attribute, refused);
      continue;
    }
    Note(site, [&] {
      return Who(site.element) + " has no value for " + attr + Consequence(refused, line) +
             "; give " + attr + " a value.";
    });
  }
}

void Linter::CheckReferences(const CElement& e, const Facts& facts, const Site& site,
                             std::string_view block, bool one_line) {
  // Every reference, and every true-or-false value the line shows as one,
  // has its percent signs in the block.
  if (block.find('%') == std::string_view::npos) return;
  if (one_line && facts.truths.empty()) {
    // Most are declared variables in strings, which say nothing: looked up
    // where they stand, and gathered only when one does say something.
    bool quiet = true;
    for (const Facts::Shown& v : facts.shown) {
      quiet = EachValueReference(ShownValue(e, v), v.in_code,
                                 [&](std::string_view name, bool in_code) {
                                   return !in_code && Resolve(name) == Resolution::kSpliced;
                                 });
      if (!quiet) break;
    }
    if (quiet) return;
  }
  // Each one as written, in order.
  std::vector<Local>& written = written_refs_;
  written.clear();
  // A true-or-false value given as a reference keeps its percent signs.
  for (size_t position : facts.truths) {
    const CAttributes::Ptr& a = e.Attributes().Item(static_cast<int32_t>(position) + 1);
    const std::string_view v = TrimSpaces(a->Value());
    // Only where the value reaches the script line as it is.
    if (v.size() < 2 || v.front() != '%' || v.back() != '%' ||
        block.find(v) == std::string_view::npos)
      continue;
    const std::string_view name = v.substr(1, v.size() - 2);
    if (name.empty()) {
      Note(site, [&] {
        return Who(site.element) + " gives " + Code(a->AttributeName()) +
               " as `%%`: the percent signs stay in the script and " + kRefused +
               "; write true or false.";
      });
      continue;
    }
    if (IsIdentifier(name)) written.push_back({name, 0, 0, true, a->AttributeName()});
  }
  references_.clear();
  if (one_line) {
    for (const Facts::Shown& v : facts.shown) {
      const std::string_view value = ShownValue(e, v);
      if (value.find('%') != std::string_view::npos)
        ValueReferences(value, v.in_code, &references_);
    }
    for (const Reference& r : references_) written.push_back({r.text, 0, 0, r.in_code, {}});
    block = {};
  }
  // Each line with a percent sign, in order.
  for (size_t at = block.find('%'); at != std::string_view::npos;) {
    // Back to the CR LF before the sign.
    size_t begin = 0;
    for (size_t before = at; const void* lf = LastByte(block.data(), '\n', before);) {
      before = static_cast<size_t>(static_cast<const char*>(lf) - block.data());
      if (before > 0 && block[before - 1] == '\r') {
        begin = before + 1;
        break;
      }
    }
    size_t end = block.find(kCrLf, at);
    if (end == std::string_view::npos) end = block.size();
    at = end == block.size() ? std::string_view::npos : block.find('%', end);
    References(block.substr(begin, end - begin), &references_);
    for (const Reference& r : references_) written.push_back({r.text, 0, 0, r.in_code, {}});
  }
  // Most are declared variables in strings, which say nothing.
  bool quiet = true;
  for (const Local& w : written)
    quiet = quiet && !w.in_code && Resolve(w.text) == Resolution::kSpliced;
  if (!quiet) NoteReferences(site);
}

void Linter::NoteReferences(const Site& site) {
  const std::vector<Local>& written = written_refs_;
  // One for each name, folded: the first as written, in code if any is.
  std::vector<Local>& refs = locals_;
  refs.clear();
  folded_.clear();
  auto folded = [this](const Local& r) {
    return std::string_view(folded_).substr(r.folded_at, r.folded_size);
  };
  for (const Local& w : written) {
    const size_t at = folded_.size();
    AppendLowered(&folded_, w.text);
    const std::string_view name = std::string_view(folded_).substr(at);
    Local* seen = nullptr;
    for (Local& r : refs)
      if (folded(r) == name) seen = &r;
    if (!seen) {
      refs.push_back({w.text, at, w.text.size(), w.in_code, w.truth_attribute});
      continue;
    }
    folded_.resize(at);
    if (seen->truth_attribute.empty()) seen->in_code = seen->in_code || w.in_code;
  }

  for (const Local& r : refs) {
    // The first declaration of a name decides at once.
    const Resolution how = Resolve(folded(r));
    if (how == Resolution::kSpliced && !r.in_code && r.truth_attribute.empty()) continue;
    const PendingReference p{{site.element, site.line, site.column}, Keep(r.text),
                             Keep(folded(r)), Keep(r.truth_attribute), r.in_code};
    if (how != Resolution::kUndeclared)
      ReportReference(p, how);
    else
      pending_references_.push_back(p);
  }
}

void Linter::CheckWrites(const CElement& e, const Facts& facts, const Site& site) {
  for (const auto& [position, range] : facts.writes) {
    std::string_view name = e.Attributes().Item(static_cast<int32_t>(position) + 1)->Value();
    while (!name.empty() && (name.front() == ' ' || name.front() == '\t')) name.remove_prefix(1);
    while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
    // Most are declared; what is not an identifier is never reported.
    if (name.empty() || DeclaredAs(name) || !IsIdentifier(name)) continue;
    const std::string& folded = FoldName(name);
    pending_writes_.push_back(
        {{site.element, site.line, site.column}, Keep(name), Keep(folded), 0, range});
  }
}

// A number or truth value that is a name is a variable the script reads.
void Linter::CheckValues(const CElement& e, const Facts& facts, const Site& site,
                         std::string_view block) {
  for (size_t position : facts.values) {
    const CAttributes::Ptr& a = e.Attributes().Item(static_cast<int32_t>(position) + 1);
    const std::string_view v = TrimSpaces(a->Value());
    // Most are numbers, or true or false.
    if (v.empty() || !IsIdentifier(v)) continue;
    if (TypeOf(*a) == AttributeType::kTruth &&
        (EqualsAsciiNoCase(v, "true") || EqualsAsciiNoCase(v, "false")))
      continue;
    if (DeclaredAs(v) || block.find(v) == std::string_view::npos) continue;
    const std::string& folded = FoldName(v);
    pending_writes_.push_back({{site.element, site.line, site.column}, Keep(v), Keep(folded),
                               Keep(a->AttributeName()), false});
  }
}

// What a declaration may not be named, and a text the element needs.
void Linter::CheckNames(const CElement& e, const Site& site) {
  if (e.ContainsText() && e.TextRequired() && Blank(e.Text()))
    Note(site, [&] {
      return Who(site.element) +
             " has no text, which its catalogue entry requires: its line "
             "is written without one; give it its text.";
    });
  if (site.kind != Kind::kDeclaresVariable && site.kind != Kind::kDeclaresRange) return;
  const CAttributes::Ptr* attr = e.Attributes().Find("name");
  if (!attr) return;
  const std::string_view name = TrimSpaces((*attr)->Value());
  if (IsReservedWord(name)) {
    Note(site, [&] {
      return Who(site.element) + " declares " + Code(name) + ", a word VBScript reserves: `Dim " +
             std::string(name) +
             "` is a syntax error, so the interpreter refuses the whole script; choose "
             "another name.";
    });
    return;
  }
  for (std::string_view host : kHostNames)
    if (EqualsAsciiNoCase(name, host))
      Note(site, [&] {
        return Who(site.element) + " declares " + Code(name) + ", which names the editor's " +
               Code(host) +
               " for the script: the interpreter refuses a second definition of a name "
               "(\"Name redefined\") and nothing runs; choose another name.";
      });
}

Linter::Resolution Linter::Resolve(std::string_view name) const {
  // The name before any dot, hashed as it is looked for.
  size_t dot = 0;
  uint64_t h = NameFlags::kHashStart;
  for (; dot < name.size() && name[dot] != '.'; ++dot) h = NameFlags::HashStep(h, name[dot]);
  const uint8_t as = declared_.Get(name.substr(0, dot), NameFlags::HashEnd(h));
  if (dot == name.size()) dot = std::string_view::npos;
  if (!(as & (kVar | kRange))) return Resolution::kUndeclared;
  if (dot == std::string_view::npos) return Resolution::kSpliced;
  if (!(as & kRange)) return Resolution::kNotRange;
  const std::string_view property = name.substr(dot + 1);
  for (std::string_view p : kRangeProperties)
    if (EqualsAsciiNoCase(p, property)) return Resolution::kSpliced;
  return Resolution::kBadProperty;
}

const std::string& Linter::FoldName(std::string_view name) {
  folded_name_.clear();
  AppendLowered(&folded_name_, name);
  return folded_name_;
}

uint32_t Linter::Keep(std::string_view s) {
  if (s.empty()) return 0;
  if (const auto it = kept_ids_.find(s); it != kept_ids_.end()) return it->second;
  const auto id = static_cast<uint32_t>(kept_.size());
  kept_ids_.emplace(kept_.emplace_back(s), id);
  return id;
}

void Linter::ReportReference(const PendingReference& pending, Resolution how) {
  const Site site = pending.site.Full();
  const std::string text(Kept(pending.text));
  const std::string truth_attribute(Kept(pending.truth_attribute));
  const bool in_code = pending.in_code;
  const std::string who = Who(site.element);
  const std::string ref = Code("%" + text + "%");
  const std::string bare = Code(text);
  const std::string_view base = std::string_view(text).substr(0, text.find('.'));
  if (!truth_attribute.empty()) {
    const std::string attr = Code(truth_attribute);
    if (how == Resolution::kSpliced) {
      Note(site, [&] {
        return who + " gives " + attr + " as " + ref +
               ": a true-or-false value keeps its percent signs and is then spliced like "
               "text, so the editor gets the string `\" & " +
               text +
               " & \"` instead of the "
               "value of " +
               bare + "; write " + Code(truth_attribute + "=\"" + text + "\"") +
               " without the percent signs.";
      });
    } else {
      Note(site, [&] {
        return who + " gives " + attr + " as " + ref + ", and no `var` or `range` declares " +
               bare + ": the percent signs stay in the script and " + kRefused +
               "; write true or false, or the name of a declared variable without "
               "percent signs.";
      });
    }
    return;
  }
  if (how == Resolution::kSpliced) {
    if (!in_code) return;
    Note(site, [&] {
      return who + " writes " + ref +
             " in script code, outside any string: there the compiler still splices it as "
             "`\" & " +
             text + " & \"`, which is text and not the variable; write " + bare +
             " without the percent signs.";
    });
    return;
  }
  std::string why;
  switch (how) {
    case Resolution::kNotRange:
      why = Code(base) + " is declared by a `var`, not a `range`";
      break;
    case Resolution::kBadProperty:
      why =
          "a range has only the properties startlineno, startcolno, endlineno, endcolno and "
          "columnsel";
      break;
    default:
      why = "no `var` or `range` declares " + Code(base);
      if (Dimmed(base)) why += " (a `Dim` in script code does not count)";
      break;
  }
  if (in_code) {
    Note(site, [&] {
      return who + " writes " + ref + " in script code, and " + why +
             ": the percent signs stay and " + kRefused + "; write " + bare + " without them.";
    });
  } else {
    Note(site, [&] {
      return who + " uses " + ref + ", but " + why + ", so the text keeps " + ref +
             " as written; " +
             (how == Resolution::kUndeclared
                  ? "declare " + Code(base) + " with a " +
                        (base.size() < text.size() ? "`range`" : "`var`") + " or correct the name."
                  : std::string("correct the reference."));
    });
  }
}

// ---- Block structure and declarations ----

void Linter::Structure(const Site& site, std::string_view lines, bool one_statement) {
  // Without a colon or a comment sign each line is one statement.
  one_statement = one_statement || (lines.find(':') == std::string_view::npos &&
                                    lines.find('\'') == std::string_view::npos);
  for (size_t pos = 0; pos < lines.size();) {
    size_t end = lines.find(kCrLf, pos);
    if (end == std::string_view::npos) end = lines.size();
    const std::string_view line = lines.substr(pos, end - pos);
    pos = end + 2;
    std::string_view head;
    if (Continues(line, &head)) {
      if (!continuing_) continued_site_ = site;
      continuing_ = true;
      continued_.append(head).push_back(' ');
      continue;
    }
    if (continuing_) {
      continued_.append(line);
      Logical(continued_site_, continued_);
      continued_.clear();
      continuing_ = false;
    } else {
      Logical(site, line, one_statement);
    }
  }
}

void Linter::Logical(const Site& site, std::string_view line, bool one_statement) {
  if (one_statement)
    OneStatement(line, &statements_);
  else
    Statements(line, &statements_);
  for (const Statement& s : statements_) Apply(site, s);
}

void Linter::Apply(const Site& site, const Statement& s) {
  if (site.index == own_.index) TrackOwn(s);
  switch (s.op) {
    case Op::kOpen:
      blocks_.push_back({s.block, false, site});
      if (IsScope(s.block)) scopes_.emplace_back();
      break;
    case Op::kClose:
      Close(site, s.block);
      break;
    case Op::kElse:
    case Op::kElseIf:
      ElseOf(site, s.op == Op::kElse);
      break;
    case Op::kCase:
      if (blocks_.empty() || blocks_.back().kind != Block::kSelect)
        Note(site, [&] {
          return Who(site.element) + " writes `Case` outside a `Select Case` block: " + kRefused +
                 "; move it into one.";
        });
      break;
    case Op::kExit:
      ExitOf(site, s.block);
      break;
    case Op::kDeclare:
      Declare(site, s.names);
      break;
  }
}

void Linter::PopBlock() {
  if (IsScope(blocks_.back().kind) && scopes_.size() > 1) scopes_.pop_back();
  blocks_.pop_back();
}

namespace {

// "the `loop` at line 3", or "the `Do` block of the `vbscript` at line 3".
std::string BlockAt(Block kind, std::string_view element, uint32_t line) {
  if (IsControl(element)) return "the " + Code(element) + LineSuffix(line);
  return "the " + Code(OpenKeyword(kind)) + " block of the " + Code(element) + LineSuffix(line);
}

}  // namespace

void Linter::Close(const Site& site, Block kind) {
  // Made only for a finding: most closings have none.
  auto closer = [kind] { return Code(CloseKeyword(kind)); };
  if (site.kind == Kind::kEndif || site.kind == Kind::kEndloop) {
    // The compiler's own closing: it belongs to one if or loop.
    size_t j = blocks_.size();
    while (j-- > 0)
      if (blocks_[j].site.index == site.paired && blocks_[j].kind == kind) break;
    if (j == static_cast<size_t>(-1)) {
      if (!closed_early_.count(site.paired))
        Note(site, [&] {
          return Who(site.element) + " finds no open " + Code(OpenKeyword(kind)) +
                 " block for its " + closer() + ": " + kRefused + ".";
        });
      return;
    }
    for (size_t k = j + 1; k < blocks_.size(); ++k) {
      const OpenBlock& b = blocks_[k];
      if (b.site.kind == Kind::kIf || b.site.kind == Kind::kLoop) {
        NoteNoClosing(b);
        continue;
      }
      Note(b.site, [&] {
        return Who(b.site.element) + " opens " + A(b.kind) + " block that is still open at " +
               Who(site.element) + LineSuffix(site.line) +
               ": blocks must close in the order they open, so " + kRefused +
               "; add the matching " + Code(CloseKeyword(b.kind)) + " before it.";
      });
      ++forced_[static_cast<size_t>(b.kind)];
    }
    while (blocks_.size() > j) PopBlock();
    return;
  }

  if (!blocks_.empty() && blocks_.back().kind == kind) {
    const OpenBlock& top = blocks_.back();
    if (top.site.kind == Kind::kIf || top.site.kind == Kind::kLoop) {
      Note(site, [&] {
        return Who(site.element) + " writes " + closer() + ", which closes " +
               BlockAt(kind, top.site.element, top.site.line) +
               " early: its own end then has nothing to close and " + kRefused + "; remove the " +
               closer() + ".";
      });
      closed_early_.insert(top.site.index);
    }
    PopBlock();
    return;
  }
  size_t j = blocks_.size();
  while (j-- > 0)
    if (blocks_[j].kind == kind) break;
  if (j == static_cast<size_t>(-1)) {
    // The closing of a block already reported and put aside says nothing new.
    if (forced_[static_cast<size_t>(kind)] > 0) {
      --forced_[static_cast<size_t>(kind)];
      return;
    }
    Note(site, [&] {
      return Who(site.element) + " writes " + closer() + " with no open " +
             Code(OpenKeyword(kind)) + " block: " + kRefused + "; remove it or add the " +
             Code(OpenKeyword(kind)) + " it closes.";
    });
    return;
  }
  const OpenBlock& top = blocks_.back();
  Note(site, [&] {
    return Who(site.element) + " writes " + closer() + " while " +
           BlockAt(top.kind, top.site.element, top.site.line) +
           " is still open: blocks must close in the order they open, so " + kRefused +
           "; close that block first.";
  });
  while (blocks_.size() > j) {
    const OpenBlock& b = blocks_.back();
    if (b.site.kind == Kind::kIf || b.site.kind == Kind::kLoop)
      closed_early_.insert(b.site.index);
    else if (blocks_.size() - 1 > j)
      ++forced_[static_cast<size_t>(b.kind)];
    PopBlock();
  }
}

void Linter::ElseOf(const Site& site, bool is_else) {
  const std::string keyword = is_else ? "`Else`" : "`ElseIf`";
  const bool element = site.element == "else" && is_else;
  if (!blocks_.empty() && blocks_.back().kind == Block::kIf) {
    OpenBlock& top = blocks_.back();
    if (!top.saw_else) {
      if (is_else) top.saw_else = true;
      return;
    }
    const std::string where = BlockAt(top.kind, top.site.element, top.site.line);
    Note(site, [&] {
      return (element
                  ? "`else` is a second `else` of " + where
                  : Who(site.element) + " writes " + keyword + " after the `Else` of " + where) +
             ": " + kRefused + "; keep only one.";
    });
    return;
  }
  bool in_if = false;
  for (const OpenBlock& b : blocks_) in_if = in_if || b.kind == Block::kIf;
  if (!in_if) {
    Note(site, [&] {
      return element ? std::string("`else` stands outside any `if`: ") + kRefused +
                           "; move it inside the `if` it belongs to."
                     : Who(site.element) + " writes " + keyword +
                           " outside any `If` block: " + kRefused +
                           "; remove it or move it into an `If` block.";
    });
    return;
  }
  const OpenBlock& top = blocks_.back();
  const std::string where = BlockAt(top.kind, top.site.element, top.site.line);
  Note(site, [&] {
    return (element ? "`else` stands inside " + where + " instead of directly inside an `if`"
                    : Who(site.element) + " writes " + keyword + " inside " + where +
                          " instead of directly inside an `If` block") +
           ": " + kRefused + "; move it out of that block.";
  });
}

void Linter::ExitOf(const Site& site, Block kind) {
  for (size_t k = blocks_.size(); k-- > 0;) {
    if (blocks_[k].kind == kind) return;
    if (IsScope(blocks_[k].kind)) break;
  }
  const std::string statement = Code(std::string("Exit ") + OpenKeyword(kind));
  if (site.element == "breakloop" && kind == Block::kDo) {
    Note(site, [&] {
      return "`breakloop` stands outside any `loop`, so its " + statement +
             " has no loop to leave: " + kRefused + "; move it inside a `loop`.";
    });
    return;
  }
  Note(site, [&] {
    return Who(site.element) + " writes " + statement + " outside any " + Code(OpenKeyword(kind)) +
           (IsScope(kind) ? "" : " loop") + ": " + kRefused + "; remove it or move it inside one.";
  });
}

void Linter::Declare(const Site& site, std::string_view list) {
  DeclaredNames(list, &names_);
  for (std::string_view name : names_) {
    std::string folded = Lower(name);
    declared_[folded] |= kDim;
    auto [it, fresh] = scopes_.back().try_emplace(std::move(folded), site);
    if (fresh) continue;
    const Site& first = it->second;
    const bool declarations = (site.element == "var" || site.element == "range") &&
                              (first.element == "var" || first.element == "range");
    const std::string where =
        first.index == site.index
            ? "first declared by the same element"
            : "first declared by the " + Code(first.element) + LineSuffix(first.line);
    if (declarations) {
      Note(site, [&] {
        return Who(site.element) + " declares " + Code(name) + " again (" + where +
               "): the script gets a second `Dim " + std::string(name) +
               "`, so the interpreter refuses it with \"Name redefined\" and nothing runs; "
               "keep one declaration and change the value with `set`.";
      });
    } else {
      Note(site, [&] {
        return Who(site.element) + " declares " + Code(name) + " again (" + where +
               "): a second declaration of one name makes the interpreter refuse the whole "
               "script with \"Name redefined\"; remove one of them.";
      });
    }
  }
}

std::vector<LintFinding> Linter::Finish(std::string_view text) {
  // Those made while the elements were observed (with the walk's, made
  // late), in the order of their lines; the rest are made here.
  const size_t observed = findings_.size();
  if (continuing_) {
    const std::string line = std::move(continued_);
    continuing_ = false;
    Logical(continued_site_, line);
  }
  for (const OpenBlock& b : blocks_) {
    if (b.site.kind == Kind::kIf || b.site.kind == Kind::kLoop) {
      NoteNoClosing(b);
      continue;
    }
    Note(b.site, [&] {
      return Who(b.site.element) + " opens " + A(b.kind) +
             " block that is never closed: " + kRefused + "; add the matching " +
             Code(CloseKeyword(b.kind)) + ".";
    });
  }
  for (const OpenElement& open : open_elements_)
    if (open.guard_cut) NoteGuardCutIf(open);
  for (const PendingReference& r : pending_references_)
    ReportReference(r, Resolve(Kept(r.folded)));
  for (const PendingWrite& pending : pending_writes_) {
    if (DeclaredAs(Kept(pending.folded))) continue;
    const Site site = pending.site.Full();
    const std::string_view name = Kept(pending.name), value_of = Kept(pending.value_of);
    if (!value_of.empty()) {
      Note(site, [&] {
        return Who(site.element) + " gives " + Code(value_of) + " as " + Code(name) +
               ", which nothing declares: a value that is not a number or true or false "
               "is the name of a variable, so under \"Option Explicit\" the script "
               "stops with \"Variable is undefined\" when it gets there; declare " +
               Code(name) + " with a `var`, or correct the value.";
      });
      continue;
    }
    const bool range = pending.range;
    std::string verb;
    if (site.element == "set")
      verb = "assigns to";
    else if (site.element == "getsel")
      verb = "stores the selection in";
    else if (range)
      verb = "uses the range";
    else
      verb = "stores its answer in";
    Note(site, [&] {
      return Who(site.element) + " " + verb + " " + Code(name) +
             ", which nothing declares: under \"Option Explicit\" the script stops with "
             "\"Variable is undefined\" when it gets there; declare " +
             Code(name) + " with a " + (range ? "`range`" : "`var`") + " first.";
    });
  }

  // Values a later run filled in again: compare each such element's first
  // block with the lines the stored script has in its place.
  size_t pos = text.find(kCrLf);  // after "Option Explicit"
  pos = pos == std::string_view::npos ? text.size() : pos + 2;
  uint64_t at = 0;
  for (const Deferred& d : deferred_) {
    while (at < d.first_line && pos < text.size()) {
      const size_t e = text.find(kCrLf, pos);
      pos = e == std::string_view::npos ? text.size() : e + 2;
      ++at;
    }
    if (at != d.first_line) break;
    std::string_view first = d.block;
    if (d.first_line == 0)
      first.remove_prefix(std::min(first.find_first_not_of(' '), first.size()));
    if (text.substr(pos, first.size()) != first) continue;
    for (const auto& [attribute, refused] : d.attributes) {
      std::string message = Who(d.site.element) + " gives " + Code(attribute) +
                            " as `%%`, a reference without a name" +
                            Consequence(refused, d.element_line) +
                            "; write a number or the name of a variable.";
      Note(d.site, std::move(message));
    }
  }

  if (!late_.empty()) {
    // The walk's notes among those observed, each where it was made.
    std::vector<LintFinding> all;
    all.reserve(findings_.size() + late_.size());
    auto late = late_.begin();
    for (size_t i = 0; i <= findings_.size(); ++i) {
      for (; late != late_.end() && late->first <= i; ++late) all.push_back(std::move(late->second));
      if (i < findings_.size()) all.push_back(std::move(findings_[i]));
    }
    findings_ = std::move(all);
  }
  // In the order of their lines, stable: those made while observing mostly
  // are already, and the few made at the end are merged in.
  auto by_line = [](const LintFinding& a, const LintFinding& b) {
    return a.line.value_or(UINT32_MAX) < b.line.value_or(UINT32_MAX);
  };
  const auto made_at_end =
      findings_.begin() + static_cast<std::ptrdiff_t>(observed + late_.size());
  if (std::is_sorted(findings_.begin(), made_at_end, by_line)) {
    std::stable_sort(made_at_end, findings_.end(), by_line);
    std::inplace_merge(findings_.begin(), made_at_end, findings_.end(), by_line);
  } else {
    std::stable_sort(findings_.begin(), findings_.end(), by_line);
  }
  std::vector<LintFinding> out = std::move(findings_);
  Reset();
  return out;
}

}  // namespace tavjit::lint
