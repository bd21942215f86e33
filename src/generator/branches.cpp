// The branch registry: the family tables joined in dispatch order and an
// exact-name index over them, both built once; and the rows' own work.
#include <stdexcept>
#include <unordered_map>

#include "generator/branch_table.h"
#include "generator/generator.h"
#include "generator/literal.h"
#include "support/text.h"

namespace tavjit {

namespace branches {

// An ASCII name as the catalogue writes it is that attribute's key folded;
// rows name attributes that way.
const std::string& AttrValue(const CElement& element, std::string_view name) {
  static const std::string kEmpty;
  for (const CAttributes::Ptr& a : element.Attributes())
    if (a->AttributeName() == name && IsAscii(name)) return a->Value();
  const CAttributes::Ptr* attr = element.Attributes().Find(name);
  return attr ? (*attr)->Value() : kEmpty;
}

BranchRow::BranchRow(std::string_view n, std::vector<Piece> p, Role r)
    : name(n), pieces(std::move(p)), role(r) {
  for (const Piece& piece : pieces) {
    Input in;
    switch (piece.kind) {
      case PieceKind::kLit: continue;
      case PieceKind::kVerbatim:
      case PieceKind::kTrimmed:
      case PieceKind::kQuoted: in = Input{piece.arg, piece.if_empty}; break;
      case PieceKind::kQuotedText:
      case PieceKind::kVerbatimText: in = TextInput; break;
    }
    bool seen = false;
    for (const Input& known : inputs) seen = seen || known.attribute == in.attribute;
    if (!seen) inputs.push_back(in);
  }
}

std::string BranchRow::Line(const CElement& element, CVariables& variables) const {
  if (build) return build(element, variables);
  std::string line;
  AppendLine(element, variables, &line);
  return line;
}

void BranchRow::AppendLine(const CElement& element, CVariables& variables,
                           std::string* out) const {
  if (build) {
    out->append(build(element, variables));
    return;
  }
  std::string& line = *out;
  for (const Piece& p : pieces) {
    switch (p.kind) {
      case PieceKind::kLit: line += p.arg; break;
      case PieceKind::kVerbatim: line += AttrValue(element, p.arg); break;
      case PieceKind::kTrimmed: line += TrimSpaces(AttrValue(element, p.arg)); break;
      case PieceKind::kQuoted: AppendTextValue(line, AttrValue(element, p.arg)); break;
      case PieceKind::kQuotedText: AppendTextValue(line, element.Text()); break;
      case PieceKind::kVerbatimText: line += element.Text(); break;
    }
  }
}

bool BranchRow::ReadsText() const {
  for (const Input& in : inputs)
    if (in.attribute.empty()) return true;
  return false;
}

}  // namespace branches

namespace {

using branches::BranchRow;

struct Registry {
  std::vector<std::string_view> names;
  std::unordered_map<std::string_view, const BranchRow*> by_name;
};

const Registry& GetRegistry() {
  static const Registry registry = [] {
    Registry r;
    for (const auto* table : {&branches::ControlFlowRows(), &branches::DocumentCommandRows(),
                              &branches::TextCommandRows(), &branches::SearchCommandRows(),
                              &branches::DialogCommandRows(), &branches::OutputCommandRows()}) {
      for (const BranchRow& row : *table) {
        // Names are compared exactly; the first row of a name would win, so
        // a second one is a mistake in the tables.
        if (!r.by_name.emplace(row.name, &row).second)
          throw std::logic_error("duplicate branch: " + std::string(row.name));
        r.names.push_back(row.name);
      }
    }
    return r;
  }();
  return registry;
}

}  // namespace

const BranchRow* branches::FindRow(std::string_view name) {
  const auto& index = GetRegistry().by_name;
  auto it = index.find(name);
  return it == index.end() ? nullptr : it->second;
}

std::string BuildElementLine(const CElement& element, CVariables& variables) {
  const BranchRow* row = branches::FindRow(element.ElementName());
  return row ? row->Line(element, variables) : std::string();
}

const std::vector<std::string_view>& DispatchNames() { return GetRegistry().names; }

}  // namespace tavjit
