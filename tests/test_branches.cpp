// Element lines of every branch, one table per command family, and the
// agreement between the branches and the default catalogue.
#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "generator/attribute_check.h"
#include "generator/branch_table.h"
#include "generator/generator.h"

namespace tavjit {
namespace {

struct LineCase {
  std::string element;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;
  std::string line;
};

CElement MakeElement(const LineCase& c) {
  CElement e;
  e.SetElementName(c.element);
  e.SetText(c.text);
  for (const auto& [name, value] : c.attributes)
    e.Attributes().Add(name, 1, value, "", false, {}, "");
  return e;
}

void ExpectLines(const std::vector<LineCase>& cases) {
  for (const auto& c : cases) {
    CVariables variables;
    EXPECT_EQ(BuildElementLine(MakeElement(c), variables), c.line) << c.element << " " << c.text;
  }
}

const std::vector<LineCase> kControlFlow = {
    {"if", {{"expression", "  a > 1 "}}, "", "If a > 1 Then"},
    {"if", {{"expression", "\ta\t"}}, "", "If \ta\t Then"},
    {"if", {}, "", "If  Then"},
    {"else", {{"expression", "x"}}, "t", "Else"},
    {"endif", {}, "", "End If"},
    {"loop", {{"statement", " n > 0 "}}, "", "Do While n > 0"},
    {"breakloop", {}, "", "Exit Do"},
    {"endloop", {}, "", "Loop"},
    {"var", {{"name", "x"}}, "", "Dim x"},
    {"var", {{"name", "x"}}, "42", "Dim x\r\nx=42"},
    {"var", {{"name", "x"}}, "Hello", "Dim x\r\nx=\"Hello\""},
    {"var", {{"name", "x"}}, "1,5", "Dim x\r\nx=\"1,5\""},
    {"var", {{"name", "x"}}, "a\r\nb", "Dim x\r\nx=\"a\" & vbcrlf & \"b\""},
    {"var", {{"name", " x "}}, "1", "Dim  x \r\n x =1"},
    {"set", {{"variable", "x"}}, "3", "x=3"},
    {"set", {{"variable", "x"}}, "abc", "x=\"abc\""},
    {"set", {{"variable", "x"}}, "", "x=\"\""},
    {"set", {{"variable", " x"}}, " 7 ", " x= 7 "},
    {"shortexpression", {}, "   x = 1\r\ny = 2", "   x = 1\r\ny = 2"},
    {"range", {{"name", " r "}}, "", "Dim r\r\nSet r=NewRangeObject"},
    {"setrange",
     {{"name", " r "},
      {"startlineno", "1"},
      {"startcolno", "1"},
      {"endlineno", "5"},
      {"endcolno", "10"},
      {"columnsel", "False"}},
     "",
     "r.StartLineNo=1\r\nr.StartColNo=1\r\nr.EndLineNo=5\r\nr.EndColNo=10\r\nr.ColumnSel=False"},
    {"setrange",
     {{"name", "r"}, {"startlineno", " 2"}},
     "",
     "r.StartLineNo= 2\r\nr.StartColNo=\r\nr.EndLineNo=\r\nr.EndColNo=\r\nr.ColumnSel="},
};
TEST(Branches, ControlFlow) { ExpectLines(kControlFlow); }

const std::vector<LineCase> kDocumentCommands = {
    {"newdoc", {{"template", ""}}, "", "docs.Add \"\""},
    {"newdoc", {{"template", "web.htm"}}, "", "docs.Add \"web.htm\""},
    {"opendoc", {{"filename", "a.txt"}}, "", "docs.OpenDoc false, \"a.txt\""},
    {"opendoc", {{"filename", "  a \"1\".txt  "}}, "", "docs.OpenDoc false, \"a \"\"1\"\".txt\""},
    {"opendoc", {{"filename", "   "}}, "", "docs.OpenDoc"},
    {"opendoc", {{"filename", "\t"}}, "", "docs.OpenDoc false, \"\t\""},
    {"savedoc", {{"filename", ""}}, "", "docs.ActiveDocument.SaveMe"},
    {"savedoc", {{"filename", " b.txt "}}, "", "docs.ActiveDocument.SaveMe False,\"b.txt\""},
    {"saveall", {{"filename", "x"}}, "", "docs.SaveAll"},
    {"printdoc", {{"showdialog", "true"}}, "", "docs.ActiveDocument.PrintMe true"},
    {"printdoc", {{"showdialog", ""}}, "", "docs.ActiveDocument.PrintMe "},
    {"printall", {{"showdialog", "false"}}, "", "docs.PrintAll false"},
    {"showinbrowser", {}, "", "docs.ActiveDocument.ShowInBrowser"},
    {"closedoc", {}, "", "docs.ActiveDocument.CloseMe"},
    {"closeall", {}, "", "docs.CloseAll"},
    {"undo", {}, "", "docs.ActiveDocument.Undo"},
    {"redo", {}, "", "docs.ActiveDocument.Redo"},
    {"getlanguage", {{"variable", "lang"}}, "", "lang=docs.ActiveDocument.Language"},
    {"setlanguage", {{"name", "HTML"}}, "", "docs.ActiveDocument.Language=\"HTML\""},
};
TEST(Branches, DocumentCommands) { ExpectLines(kDocumentCommands); }

const std::vector<LineCase> kTextCommands = {
    {"gettext", {{"variable", "t"}}, "", "t=docs.ActiveDocument.Text"},
    {"gettext", {{"variable", " t "}}, "", " t =docs.ActiveDocument.Text"},
    {"settext", {}, "a\r\nb", "docs.ActiveDocument.Text=\"a\" & vbcrlf & \"b\""},
    {"settext", {}, "", "docs.ActiveDocument.Text=\"\""},
    {"getline", {{"variable", "s"}, {"line", "3"}}, "", "s=docs.ActiveDocument.GetLine(3)"},
    {"getline", {{"variable", ""}, {"line", ""}}, "", "=docs.ActiveDocument.GetLine()"},
    {"getseltext", {{"variable", "s"}}, "", "s=docs.ActiveDocument.SelText"},
    {"setseltext", {}, "He said \"hi\"", "docs.ActiveDocument.SelText=\"He said \"\"hi\"\"\""},
    {"getsel", {{"range", "r"}}, "", "Set r=docs.ActiveDocument.GetSel(True)"},
    {"setsel", {{"range", "r"}}, "", "docs.ActiveDocument.SetSel r"},
    {"inserttext", {}, "Hi %who%!", "docs.ActiveDocument.InsertText \"Hi %who%!\""},
    {"insertfile", {{"filename", "b.txt"}}, "", "docs.ActiveDocument.InsertFile \"b.txt\""},
    {"insertfile", {{"filename", ""}}, "", "docs.ActiveDocument.InsertFile \"\""},
    {"linecount", {{"variable", "n"}}, "", "n=docs.ActiveDocument.LineCount"},
    {"encloselines",
     {{"startstring", "/*"}, {"endstring", "*/"}, {"afterindent", "true"}},
     "",
     "docs.ActiveDocument.InsertString \"/*\",\"*/\",true"},
    {"encloselines",
     {{"startstring", " "}, {"afterindent", ""}},
     "",
     "docs.ActiveDocument.InsertString \" \",\"\","},
    {"cut", {{"variable", "x"}}, "t", "docs.ActiveDocument.Cut"},
    {"copy", {}, "", "docs.ActiveDocument.Copy"},
    {"paste", {}, "", "docs.ActiveDocument.Paste"},
};
TEST(Branches, TextCommands) { ExpectLines(kTextCommands); }

const std::vector<LineCase> kSearchCommands = {
    {"findtext",
     {{"matchcase", "true"}, {"wholewords", "false"}},
     "hello",
     "docs.ActiveDocument.PrepareFind \"hello\",true,false"},
    {"findtext",
     {{"matchcase", "True"}, {"wholewords", ""}},
     "a\"b",
     "docs.ActiveDocument.PrepareFind \"a\"\"b\",True,"},
    {"findtext", {}, "", "docs.ActiveDocument.PrepareFind \"\",,"},
    {"replacetext",
     {{"preservecase", "false"}},
     "a\r\nb",
     "docs.ActiveDocument.PrepareReplace \"a\" & vbcrlf & \"b\",false"},
    {"findnext", {{"line", "1"}}, "x", "docs.ActiveDocument.FindNext"},
    {"findprev", {}, "", "docs.ActiveDocument.FindPrev"},
    {"findmarkall", {}, "", "docs.ActiveDocument.FindMarkAll"},
    {"replacenext", {}, "", "docs.ActiveDocument.ReplaceNext"},
    {"replaceall", {{"selectiononly", "true"}}, "", "docs.ActiveDocument.ReplaceAll true"},
    {"goto", {{"line", "12"}}, "", "docs.ActiveDocument.GotoLine 12"},
    {"goto", {{"line", ""}}, "", "docs.ActiveDocument.GotoLine "},
    {"usertool", {{"index", "2"}}, "", "docs.ActiveDocument.RunUserTool 2"},
    {"funclist", {}, "", "docs.ActiveDocument.FunctionList"},
};
TEST(Branches, SearchCommands) { ExpectLines(kSearchCommands); }

const std::vector<LineCase> kDialogCommands = {
    {"msgbox", {{"buttons", "b1"}, {"icon", "i1"}}, "Hi", "MessageBox \"Hi\",\"b1\",\"i1\""},
    {"msgbox",
     {{"variable", " r "}, {"buttons", "b1"}, {"icon", "i1"}},
     "Hi",
     "r=MessageBox(\"Hi\",\"b1\",\"i1\")"},
    {"msgbox",
     {{"variable", "   "}, {"buttons", ""}, {"icon", ""}},
     "Hi",
     "MessageBox \"Hi\",\"\",\"\""},
    {"choicedlg",
     {{"variable", "answer"}, {"title", "T"}, {"oncancel", "K"}},
     "Pick",
     "answer=ChoiceDialog(\"Pick\",\"T\",\"K\")"},
    {"choicedlg",
     {{"title", "T"}, {"oncancel", "K"}},
     "a\r\nb",
     "ChoiceDialog \"a\" & vbcrlf & \"b\",\"T\",\"K\""},
    {"inputbox", {{"variable", "s"}, {"default", "x"}}, "Name", "s=InputDialog(\"Name\",\"x\")"},
    {"inputbox", {{"variable", " s "}}, "", " s =InputDialog(\"\",\"\")"},
    {"vbscript", {}, "a = 1\r\nMsgBox a", "a = 1\r\nMsgBox a"},
    {"shell", {{"filename", "f.txt"}, {"verb", "v"}}, "", "Call ShellEx(\"f.txt\",\"v\")"},
    {"shell",
     {{"variable", "r"}, {"filename", "f.txt"}, {"verb", "v"}},
     "",
     "r=ShellEx(\"f.txt\",\"v\")"},
    {"shell", {{"variable", " "}, {"filename", "f"}}, "", " =ShellEx(\"f\",\"\")"},
};
TEST(Branches, DialogCommands) { ExpectLines(kDialogCommands); }

const std::vector<LineCase> kOutputCommands = {
    {"bmtoggle", {}, "", "docs.ActiveDocument.BookmarkToggle"},
    {"bmnext", {}, "", "docs.ActiveDocument.BookmarkNext"},
    {"bmprev", {}, "", "docs.ActiveDocument.BookmarkPrev"},
    {"bmfirst", {}, "", "docs.ActiveDocument.BookmarkFirst"},
    {"bmlast", {}, "", "docs.ActiveDocument.BookmarkLast"},
    {"bmclear", {}, "", "docs.ActiveDocument.BookmarkClear"},
    {"bmcount", {{"variable", "n"}}, "", "n=docs.ActiveDocument.BookmarkCount"},
    {"outputsetvisible", {{"visible", "true"}}, "", "Output.Visible=true"},
    {"outputgetvisible", {{"variable", "v"}}, "", "v=Output.Visible"},
    {"outputclear", {}, "", "Output.Clear"},
    {"outputlinecount", {{"variable", "n"}}, "", "n=Output.LineCount"},
    {"outputgetselected", {{"variable", "s"}}, "", "s=Output.SelLine"},
    {"outputsetselected", {{"line", "3"}}, "", "Output.SelLine=3"},
    {"outputgetline", {{"line", "3"}, {"variable", "s"}}, "", "s=Output.GetLine(3)"},
    {"outputgettext", {{"variable", "t"}}, "", "t=Output.GetText"},
    {"outputaddtext", {{"line", ""}}, "done", "Output.AddText \"done\",-1"},
    {"outputaddtext", {}, "done", "Output.AddText \"done\",-1"},
    {"outputaddtext", {{"line", "5"}}, "done", "Output.AddText \"done\",5"},
    {"outputaddtext", {{"line", " "}}, "a\r\nb", "Output.AddText \"a\" & vbcrlf & \"b\", "},
};
TEST(Branches, OutputCommands) { ExpectLines(kOutputCommands); }

TEST(Branches, UnknownOrMiscasedNamesGiveAnEmptyLine) {
  ExpectLines({
      {"Goto", {{"line", "1"}}, "", ""},
      {"IF", {{"expression", "x"}}, "", ""},
      {"tavhead", {}, "", ""},
      {"", {}, "", ""},
  });
}

TEST(Branches, Declarations) {
  CVariables variables;
  EXPECT_EQ(BuildElementLine(MakeElement({"var", {{"name", "x"}}, "", ""}), variables), "Dim x");
  EXPECT_EQ(BuildElementLine(MakeElement({"range", {{"name", " r "}}, "", ""}), variables),
            "Dim r\r\nSet r=NewRangeObject");
  // A second declaration of a name keeps the first entry and still writes.
  EXPECT_EQ(BuildElementLine(MakeElement({"range", {{"name", "X"}}, "", ""}), variables),
            "Dim X\r\nSet X=NewRangeObject");
  EXPECT_EQ(BuildElementLine(MakeElement({"var", {{"name", "x"}}, "1", ""}), variables),
            "Dim x\r\nx=1");
  // Nothing else declares.
  BuildElementLine(MakeElement({"set", {{"variable", "y"}}, "1", ""}), variables);
  BuildElementLine(MakeElement({"getsel", {{"range", "z"}}, "", ""}), variables);
  ASSERT_EQ(variables.Count(), 2);
  EXPECT_EQ(variables.Item(1)->VarName(), "x");
  EXPECT_FALSE(variables.Item(1)->IsObject());
  EXPECT_EQ(variables.Item(2)->VarName(), " r ");
  EXPECT_TRUE(variables.Item(2)->IsObject());
}

TEST(Branches, EveryRowHasALineCase) {
  const auto& names = DispatchNames();
  std::set<std::string> covered;
  for (const auto* table : {&kControlFlow, &kDocumentCommands, &kTextCommands, &kSearchCommands,
                            &kDialogCommands, &kOutputCommands})
    for (const auto& c : *table) covered.insert(c.element);
  EXPECT_EQ(covered, std::set<std::string>(names.begin(), names.end()));
}

nlohmann::json LoadDefaultCatalogue() {
  std::ifstream in(TAVJIT_SOURCE_DIR "/src/catalogue/default_catalogue.json");
  return nlohmann::json::parse(in);
}

Variant ToVariant(const nlohmann::json& v) {
  if (v.is_boolean()) return Variant(v.get<bool>());
  if (v.is_number_integer()) return Variant(v.get<int32_t>());
  if (v.is_number()) return Variant(v.get<double>());
  if (v.is_string()) return Variant(v.get<std::string>());
  return Variant();
}

TEST(DefaultCatalogue, DefinesExactlyTheDispatchNames) {
  const nlohmann::json catalogue = LoadDefaultCatalogue();
  std::vector<std::string> names;
  for (const auto& e : catalogue.at("elements")) names.push_back(e.at("name").get<std::string>());
  const std::set<std::string> in_catalogue(names.begin(), names.end());
  EXPECT_EQ(in_catalogue.size(), names.size()) << "duplicate element names";
  const auto& dispatch = DispatchNames();
  const std::set<std::string> branches(dispatch.begin(), dispatch.end());
  for (const auto& n : branches)
    EXPECT_TRUE(in_catalogue.count(n)) << n << " missing from catalogue";
  for (const auto& n : in_catalogue) EXPECT_TRUE(branches.count(n)) << n << " has no branch";
  EXPECT_TRUE(in_catalogue.count("endif") && in_catalogue.count("endloop"));
}

// Each element defines exactly what its row reads: the attributes, and text
// when the line uses it.
TEST(DefaultCatalogue, DefinesWhatEachRowReads) {
  // Bound first: a loop over a member of a temporary would read freed memory.
  const auto catalogue = LoadDefaultCatalogue();
  for (const auto& e : catalogue.at("elements")) {
    const std::string name = e.at("name");
    SCOPED_TRACE(name);
    const branches::BranchRow* row = branches::FindRow(name);
    ASSERT_TRUE(row);
    EXPECT_FALSE(e.at("description").get<std::string>().empty());
    EXPECT_EQ(e.at("containstext").get<bool>(), row->ReadsText());
    std::set<std::string> defined, read;
    for (const auto& a : e.at("attributes")) {
      const std::string attr = a.at("name");
      defined.insert(attr);
      EXPECT_FALSE(a.at("description").get<std::string>().empty()) << attr;
      if (attr == "variable" || attr == "range") EXPECT_EQ(a.at("type"), 8) << attr;
    }
    for (const branches::Input& in : row->inputs)
      if (!in.attribute.empty()) read.emplace(in.attribute);
    EXPECT_EQ(defined, read);
  }
}

// A default that its own data type rejects would fail every document that
// leaves the attribute out.
TEST(DefaultCatalogue, DefaultsPassTheirOwnCheck) {
  // Bound first: a loop over a member of a temporary would read freed memory.
  const auto catalogue = LoadDefaultCatalogue();
  for (const auto& e : catalogue.at("elements")) {
    CElement element;
    element.SetElementName(e.at("name"));
    for (const auto& a : e.at("attributes")) {
      if (a.at("required").get<bool>() && ToVariant(a.at("default")).ToText().empty()) continue;
      element.Attributes().Add(a.at("name"), a.at("type"), "", a.at("arrayvalues"),
                               a.at("required"), ToVariant(a.at("default")), "");
    }
    std::string message;
    EXPECT_EQ(CheckAttribs(element, [&](const std::string& m, const CElement&) { message = m; }),
              CheckResult::kAccepted)
        << message;
  }
}

}  // namespace
}  // namespace tavjit
