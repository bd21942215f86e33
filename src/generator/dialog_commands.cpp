// Dialogs, embedded script and the shell: calls of the host's global
// functions rather than of a document.
#include "generator/branch_table.h"
#include "generator/literal.h"
#include "support/text.h"

namespace tavjit::branches {

namespace {

// With a variable the function's result is assigned; without one the
// function is called as a statement, arguments without parentheses.
std::string DialogCall(std::string_view function, const CElement& element, std::string_view arg2,
                       std::string_view arg3) {
  const std::string_view variable = TrimSpaces(AttrValue(element, "variable"));
  const std::string args = FixTextValue(element.Text()) + "," +
                           FixTextValue(AttrValue(element, arg2)) + "," +
                           FixTextValue(AttrValue(element, arg3));
  if (variable.empty()) return std::string(function) + " " + args;
  return std::string(variable) + "=" + std::string(function) + "(" + args + ")";
}

std::string BuildChoiceDlg(const CElement& element, CVariables&) {
  return DialogCall("ChoiceDialog", element, "title", "oncancel");
}

std::string BuildMsgBox(const CElement& element, CVariables&) {
  return DialogCall("MessageBox", element, "buttons", "icon");
}

// The variable is tested untrimmed: a name of blanks still takes the result.
std::string BuildShell(const CElement& element, CVariables&) {
  const std::string& variable = AttrValue(element, "variable");
  std::string line = variable.empty() ? std::string("Call ") : variable + "=";
  return line + "ShellEx(" + FixTextValue(AttrValue(element, "filename")) + "," +
         FixTextValue(AttrValue(element, "verb")) + ")";
}

// A DialogCall row: what it reads, and its form. call: "=" and the
// function's name and parenthesis, as the line with a variable has them.
BranchRow DialogRow(std::string_view name, BuildFn build, std::string_view call,
                    std::string_view arg2, std::string_view arg3) {
  return {name,
          build,
          {Attr("variable"), TextInput, Attr(arg2), Attr(arg3)},
          kNone,
          {Trimmed("variable"), Lit(call), QuotedText, Lit(","), Quoted(arg2), Lit(","),
           Quoted(arg3), Lit(")")}};
}

}  // namespace

const BranchTable& DialogCommandRows() {
  static const BranchTable rows = {
      DialogRow("choicedlg", BuildChoiceDlg, "=ChoiceDialog(", "title", "oncancel"),
      DialogRow("msgbox", BuildMsgBox, "=MessageBox(", "buttons", "icon"),
      {"inputbox",
       {Verbatim("variable", kSyntaxError), Lit("=InputDialog("), QuotedText, Lit(","),
        Quoted("default"), Lit(")")}},
      {"vbscript", {VerbatimText}},
      {"shell",
       BuildShell,
       {Attr("variable"), Attr("filename"), Attr("verb")},
       kNone,
       {Verbatim("variable"), Lit("=ShellEx("), Quoted("filename"), Lit(","), Quoted("verb"),
        Lit(")")}},
  };
  return rows;
}

}  // namespace tavjit::branches
