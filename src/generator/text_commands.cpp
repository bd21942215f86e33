// Text and selection commands on the active document.
#include "generator/branch_table.h"

namespace tavjit::branches {

const BranchTable& TextCommandRows() {
  static const BranchTable rows = {
      {"gettext",
       {Verbatim("variable", kSyntaxError), Lit("="), Lit(kActiveDocument), Lit(".Text")}},
      {"settext", {Lit(kActiveDocument), Lit(".Text="), QuotedText}},
      {"getline",
       {Verbatim("variable", kSyntaxError), Lit("="), Lit(kActiveDocument), Lit(".GetLine("),
        Verbatim("line", kScriptStops), Lit(")")}},
      {"getseltext",
       {Verbatim("variable", kSyntaxError), Lit("="), Lit(kActiveDocument), Lit(".SelText")}},
      {"setseltext", {Lit(kActiveDocument), Lit(".SelText="), QuotedText}},
      {"getsel",
       {Lit("Set "), Verbatim("range", kSyntaxError), Lit("="), Lit(kActiveDocument),
        Lit(".GetSel(True)")}},
      {"setsel", {Lit(kActiveDocument), Lit(".SetSel "), Verbatim("range", kScriptStops)}},
      {"inserttext", {Lit(kActiveDocument), Lit(".InsertText "), QuotedText}},
      {"insertfile", {Lit(kActiveDocument), Lit(".InsertFile "), Quoted("filename")}},
      {"linecount",
       {Verbatim("variable", kSyntaxError), Lit("="), Lit(kActiveDocument), Lit(".LineCount")}},
      {"encloselines",
       {Lit(kActiveDocument), Lit(".InsertString "), Quoted("startstring"), Lit(","),
        Quoted("endstring"), Lit(","), Verbatim("afterindent", kSyntaxError)}},
      {"cut", {Lit(kActiveDocument), Lit(".Cut")}},
      {"copy", {Lit(kActiveDocument), Lit(".Copy")}},
      {"paste", {Lit(kActiveDocument), Lit(".Paste")}},
  };
  return rows;
}

}  // namespace tavjit::branches
