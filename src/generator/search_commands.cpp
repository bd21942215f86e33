// Find and replace, go to line, user tools and the function list.
#include "generator/branch_table.h"

namespace tavjit::branches {

const BranchTable& SearchCommandRows() {
  static const BranchTable rows = {
      {"findtext",
       {Lit(kActiveDocument), Lit(".PrepareFind "), QuotedText, Lit(","), Verbatim("matchcase"),
        Lit(","), Verbatim("wholewords", kSyntaxError)}},
      {"replacetext",
       {Lit(kActiveDocument), Lit(".PrepareReplace "), QuotedText, Lit(","),
        Verbatim("preservecase", kSyntaxError)}},
      {"findnext", {Lit(kActiveDocument), Lit(".FindNext")}},
      {"findprev", {Lit(kActiveDocument), Lit(".FindPrev")}},
      {"findmarkall", {Lit(kActiveDocument), Lit(".FindMarkAll")}},
      {"replacenext", {Lit(kActiveDocument), Lit(".ReplaceNext")}},
      {"replaceall",
       {Lit(kActiveDocument), Lit(".ReplaceAll "), Verbatim("selectiononly", kScriptStops)}},
      {"goto", {Lit(kActiveDocument), Lit(".GotoLine "), Verbatim("line", kScriptStops)}},
      {"usertool", {Lit(kActiveDocument), Lit(".RunUserTool "), Verbatim("index", kScriptStops)}},
      {"funclist", {Lit(kActiveDocument), Lit(".FunctionList")}},
  };
  return rows;
}

}  // namespace tavjit::branches
