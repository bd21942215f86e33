// Bookmarks of the active document and the host's output window.
#include "generator/branch_table.h"
#include "generator/literal.h"

namespace tavjit::branches {

namespace {

// An empty line (not even blanks) is passed to the host as -1.
std::string BuildOutputAddText(const CElement& element, CVariables&) {
  const std::string& line = AttrValue(element, "line");
  return "Output.AddText " + FixTextValue(element.Text()) + "," + (line.empty() ? "-1" : line);
}

}  // namespace

const BranchTable& OutputCommandRows() {
  static const BranchTable rows = {
      {"bmtoggle", {Lit(kActiveDocument), Lit(".BookmarkToggle")}},
      {"bmnext", {Lit(kActiveDocument), Lit(".BookmarkNext")}},
      {"bmprev", {Lit(kActiveDocument), Lit(".BookmarkPrev")}},
      {"bmfirst", {Lit(kActiveDocument), Lit(".BookmarkFirst")}},
      {"bmlast", {Lit(kActiveDocument), Lit(".BookmarkLast")}},
      {"bmclear", {Lit(kActiveDocument), Lit(".BookmarkClear")}},
      {"bmcount",
       {Verbatim("variable", kSyntaxError), Lit("="), Lit(kActiveDocument), Lit(".BookmarkCount")}},
      {"outputsetvisible", {Lit("Output.Visible="), Verbatim("visible", kSyntaxError)}},
      {"outputgetvisible", {Verbatim("variable", kSyntaxError), Lit("=Output.Visible")}},
      {"outputclear", {Lit("Output.Clear")}},
      {"outputlinecount", {Verbatim("variable", kSyntaxError), Lit("=Output.LineCount")}},
      {"outputgetselected", {Verbatim("variable", kSyntaxError), Lit("=Output.SelLine")}},
      {"outputsetselected", {Lit("Output.SelLine="), Verbatim("line", kSyntaxError)}},
      {"outputgetline",
       {Verbatim("variable", kSyntaxError), Lit("=Output.GetLine("), Verbatim("line", kScriptStops),
        Lit(")")}},
      {"outputgettext", {Verbatim("variable", kSyntaxError), Lit("=Output.GetText")}},
      {"outputaddtext",
       BuildOutputAddText,
       {TextInput, Attr("line")},
       kNone,
       {Lit("Output.AddText "), QuotedText, Lit(","), Verbatim("line")}},
  };
  return rows;
}

}  // namespace tavjit::branches
