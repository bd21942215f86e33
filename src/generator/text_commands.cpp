// Text and selection commands on the active document.
#include "generator/branch_table.h"

namespace tavjit::branches {

const BranchTable& TextCommandRows() {
  static const BranchTable rows = {
      {"gettext", {Verbatim("variable"), Lit("="), Lit(kActiveDocument), Lit(".Text")}},
      {"settext", {Lit(kActiveDocument), Lit(".Text="), QuotedText}},
      {"getline",
       {Verbatim("variable"), Lit("="), Lit(kActiveDocument), Lit(".GetLine("), Verbatim("line"),
        Lit(")")}},
      {"getseltext", {Verbatim("variable"), Lit("="), Lit(kActiveDocument), Lit(".SelText")}},
      {"setseltext", {Lit(kActiveDocument), Lit(".SelText="), QuotedText}},
      {"getsel",
       {Lit("Set "), Verbatim("range"), Lit("="), Lit(kActiveDocument), Lit(".GetSel(True)")}},
      {"setsel", {Lit(kActiveDocument), Lit(".SetSel "), Verbatim("range")}},
      {"inserttext", {Lit(kActiveDocument), Lit(".InsertText "), QuotedText}},
      {"insertfile", {Lit(kActiveDocument), Lit(".InsertFile "), Quoted("filename")}},
      {"linecount", {Verbatim("variable"), Lit("="), Lit(kActiveDocument), Lit(".LineCount")}},
      {"encloselines",
       {Lit(kActiveDocument), Lit(".InsertString "), Quoted("startstring"), Lit(","),
        Quoted("endstring"), Lit(","), Verbatim("afterindent")}},
      {"cut", {Lit(kActiveDocument), Lit(".Cut")}},
      {"copy", {Lit(kActiveDocument), Lit(".Copy")}},
      {"paste", {Lit(kActiveDocument), Lit(".Paste")}},
  };
  return rows;
}

}  // namespace tavjit::branches
