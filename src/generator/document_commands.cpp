// Whole-document commands: create, open, save, print, close, undo/redo and
// the document language.
#include "generator/branch_table.h"
#include "generator/literal.h"
#include "support/text.h"

namespace tavjit::branches {

namespace {

// A file name of blanks alone counts as none: the call then has no
// arguments at all.
std::string BuildOpenDoc(const CElement& element, CVariables&) {
  const std::string_view file = TrimSpaces(AttrValue(element, "filename"));
  if (file.empty()) return "docs.OpenDoc";
  return "docs.OpenDoc false, " + FixTextValue(file);
}

std::string BuildSaveDoc(const CElement& element, CVariables&) {
  const std::string_view file = TrimSpaces(AttrValue(element, "filename"));
  std::string line(kActiveDocument);
  line += ".SaveMe";
  if (!file.empty()) line += " False," + FixTextValue(file);
  return line;
}

}  // namespace

const BranchTable& DocumentCommandRows() {
  static const BranchTable rows = {
      {"newdoc", {Lit("docs.Add "), Quoted("template")}},
      {"opendoc",
       BuildOpenDoc,
       {Attr("filename")},
       kNone,
       {Lit("docs.OpenDoc false, "), Quoted("filename")}},
      {"savedoc",
       BuildSaveDoc,
       {Attr("filename")},
       kNone,
       {Lit(kActiveDocument), Lit(".SaveMe False,"), Quoted("filename")}},
      {"saveall", {Lit("docs.SaveAll")}},
      {"printdoc", {Lit(kActiveDocument), Lit(".PrintMe "), Verbatim("showdialog", kScriptStops)}},
      {"printall", {Lit("docs.PrintAll "), Verbatim("showdialog", kScriptStops)}},
      {"showinbrowser", {Lit(kActiveDocument), Lit(".ShowInBrowser")}},
      {"closedoc", {Lit(kActiveDocument), Lit(".CloseMe")}},
      {"closeall", {Lit("docs.CloseAll")}},
      {"undo", {Lit(kActiveDocument), Lit(".Undo")}},
      {"redo", {Lit(kActiveDocument), Lit(".Redo")}},
      {"getlanguage",
       {Verbatim("variable", kSyntaxError), Lit("="), Lit(kActiveDocument), Lit(".Language")}},
      {"setlanguage", {Lit(kActiveDocument), Lit(".Language="), Quoted("name")}},
  };
  return rows;
}

}  // namespace tavjit::branches
