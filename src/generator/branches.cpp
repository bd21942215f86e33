// The branch registry: the family tables joined in dispatch order and an
// exact-name index over them, both built once.
#include <stdexcept>
#include <unordered_map>

#include "generator/branch_table.h"
#include "generator/generator.h"
#include "generator/literal.h"
#include "support/text.h"

namespace tavjit {

namespace branches {

const std::string& AttrValue(const CElement& element, std::string_view name) {
  static const std::string kEmpty;
  const CAttributes::Ptr* attr = element.Attributes().Find(name);
  return attr ? (*attr)->Value() : kEmpty;
}

std::string JoinPieces(const std::vector<Piece>& pieces, const CElement& element) {
  std::string line;
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
  return line;
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

std::string BuildElementLine(const CElement& element, CVariables& variables) {
  const auto& index = GetRegistry().by_name;
  auto it = index.find(std::string_view(element.ElementName()));
  if (it == index.end()) return {};
  const BranchRow& row = *it->second;
  return row.build ? row.build(element, variables) : branches::JoinPieces(row.pieces, element);
}

const std::vector<std::string_view>& DispatchNames() { return GetRegistry().names; }

}  // namespace tavjit
