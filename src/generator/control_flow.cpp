// Control flow and variables: if/else/endif, loops, declarations and
// assignments, range objects.
#include <array>

#include "generator/branch_table.h"
#include "generator/literal.h"
#include "generator/numeric_text.h"
#include "support/text.h"

namespace tavjit::branches {

namespace {

// Numbers are assigned as they are written, anything else as a string.
std::string AssignedValue(const std::string& text) {
  return IsNumericText(text) ? text : FixTextValue(text);
}

// A name declared again keeps its first entry in the variable list; the
// element's lines are written all the same.
std::string BuildVar(const CElement& element, CVariables& variables) {
  const std::string& name = AttrValue(element, "name");
  variables.TryAdd(name, false);
  std::string line = "Dim " + name;
  if (!element.Text().empty())
    line.append(kCrLf).append(name).append("=").append(AssignedValue(element.Text()));
  return line;
}

std::string BuildSet(const CElement& element, CVariables&) {
  return AttrValue(element, "variable") + "=" + AssignedValue(element.Text());
}

std::string BuildRange(const CElement& element, CVariables& variables) {
  const std::string& name = AttrValue(element, "name");
  variables.TryAdd(name, true);
  const std::string n(TrimSpaces(name));
  return "Dim " + n + std::string(kCrLf) + "Set " + n + "=NewRangeObject";
}

std::string BuildSetRange(const CElement& element, CVariables&) {
  struct Member {
    std::string_view attr, property;
  };
  static constexpr std::array<Member, 5> kMembers = {{
      {"startlineno", ".StartLineNo="},
      {"startcolno", ".StartColNo="},
      {"endlineno", ".EndLineNo="},
      {"endcolno", ".EndColNo="},
      {"columnsel", ".ColumnSel="},
  }};
  const std::string_view n = TrimSpaces(AttrValue(element, "name"));
  std::string lines;
  for (const Member& m : kMembers) {
    if (!lines.empty()) lines.append(kCrLf);
    lines.append(n).append(m.property).append(AttrValue(element, m.attr));
  }
  return lines;
}

}  // namespace

const BranchTable& ControlFlowRows() {
  static const BranchTable rows = {
      {"if", {Lit("If "), Trimmed("expression", kSyntaxError), Lit(" Then")}, kIf},
      {"else", {Lit("Else")}, kElse},
      {"endif", {Lit("End If")}, kEndif},
      {"loop", {Lit("Do While "), Trimmed("statement", kSyntaxError)}, kLoop},
      {"breakloop", {Lit("Exit Do")}},
      {"endloop", {Lit("Loop")}, kEndloop},
      {"var", BuildVar, {Attr("name", kSyntaxError), TextInput}, kDeclaresVariable},
      // A number is assigned bare, but holds nothing a string literal would
      // read otherwise: no sign, reference or line break.
      {"set",
       BuildSet,
       {Attr("variable", kSyntaxError), TextInput},
       kNone,
       {Verbatim("variable", kSyntaxError), Lit("="), QuotedText}},
      {"shortexpression", {VerbatimText}},
      {"range", BuildRange, {Attr("name", kSyntaxError)}, kDeclaresRange},
      {"setrange",
       BuildSetRange,
       {Attr("name", kSyntaxError), Attr("startlineno", kSyntaxError),
        Attr("startcolno", kSyntaxError), Attr("endlineno", kSyntaxError),
        Attr("endcolno", kSyntaxError), Attr("columnsel", kSyntaxError)},
       kSetsRange},
  };
  return rows;
}

}  // namespace tavjit::branches
