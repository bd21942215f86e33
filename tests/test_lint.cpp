// The lint through the public interface with the built-in catalogue: each
// hazard gives one finding on the right line, its near twin none, and the
// compile's own output is the same with the lint on and off.
#include <gtest/gtest.h>

#include <filesystem>

#include "catalogue/records.h"
#include "test_support.h"

using namespace tavtest;

namespace {

// Bodies start on line 5 of a Doc().
struct Hazard {
  const char* what;
  std::string body;
  uint32_t line;
  std::string fragment;  // part of the one finding's message
  std::string twin;      // alike, but runs as meant: no finding
};

const std::vector<Hazard>& Hazards() {
  static const std::vector<Hazard> hazards = {
      {"loop statement uses the active document",
       "<var name=\"found\"/>\n"
       "<loop statement=\"docs.ActiveDocument.FindNext\"><breakloop/></loop>",
       6, "`loop` mentions the active document in its statement",
       "<var name=\"found\"/>\n"
       "<shortexpression>found = docs.ActiveDocument.FindNext</shortexpression>\n"
       "<loop statement=\"found\"><breakloop/></loop>"},
      {"if expression uses the active document",
       "<if expression=\"docs.ActiveDocument.LineCount &gt; 3\"><cut/><else/><copy/></if>", 5,
       "the condition is ignored and the elements inside run whenever a document is open (and "
       "those after its `else` whenever none is)",
       "<var name=\"c\"/>\n<shortexpression>c = docs.ActiveDocument.LineCount</shortexpression>\n"
       "<if expression=\"c &gt; 3\"><cut/><else/><copy/></if>"},
      {"script lines cut by the guard",
       "<vbscript>If docs.ActiveDocument.LineCount &gt; 3 Then</vbscript>\n<cut/>\n"
       "<vbscript>End If</vbscript>",
       5, "`vbscript` mentions the active document, so its lines are wrapped",
       "<vbscript>If docs.ActiveDocument.LineCount &gt; 3 Then\ndocs.ActiveDocument.Cut\nEnd If"
       "</vbscript>"},
      {"two var of one name", "<var name=\"n\">1</var>\n<var name=\"N\">2</var>", 6,
       "`var` declares `N` again (first declared by the `var` at line 5)",
       "<var name=\"n\">1</var>\n<set variable=\"N\">2</set>"},
      {"var and range of one name", "<var name=\"r\"/>\n<range name=\"r\"/>", 6,
       "\"Name redefined\"", "<var name=\"r\"/>\n<range name=\"r2\"/>"},
      {"var and a script's Dim of one name", "<var name=\"n\"/>\n<vbscript>Dim n</vbscript>", 6,
       "\"Name redefined\"; remove one of them", "<var name=\"n\"/>\n<vbscript>Dim m</vbscript>"},
      {"truth value as a reference",
       "<var name=\"mc\">1</var>\n<findtext matchcase=\"%mc%\">x</findtext>", 6,
       "the editor gets the string `\" & mc & \"` instead of the value of `mc`",
       "<var name=\"mc\">1</var>\n<findtext matchcase=\"mc\">x</findtext>"},
      {"truth value as an undeclared reference", "<printdoc showdialog=\"%ask%\"/>", 5,
       "`printdoc` gives `showdialog` as `%ask%`, and no `var` or `range` declares `ask`",
       "<printdoc showdialog=\"false\"/>"},
      {"reference in script code",
       "<var name=\"n\">1</var>\n<shortexpression>n = %n% + 1</shortexpression>", 6,
       "`shortexpression` writes `%n%` in script code",
       "<var name=\"n\">1</var>\n<shortexpression>n = n + 1</shortexpression>"},
      {"reference in a vbscript's code", "<var name=\"n\"/>\n<vbscript>MsgBox %n%</vbscript>", 6,
       "splices it as `\" & n & \"`",
       "<var name=\"n\"/>\n<vbscript>MsgBox \"%n%\" ' %n% here is a comment</vbscript>"},
      {"reference in an if expression",
       "<var name=\"n\"/>\n<if expression=\"%n% &gt; 0\"><cut/></if>", 6,
       "`if` writes `%n%` in script code",
       "<var name=\"n\"/>\n<if expression=\"n &gt; 0\"><cut/></if>"},
      {"empty afterindent", "<encloselines afterindent=\" \"/>", 5,
       "its line reads `docs.ActiveDocument.InsertString \"\",\"\", `, a syntax error",
       "<encloselines afterindent=\"true\"/>"},
      {"empty if expression", "<if expression=\" \"><cut/></if>", 5,
       "`if` has no value for `expression`, so its line reads `If  Then`",
       "<if expression=\"1\"><cut/></if>"},
      {"nameless line of getline", "<var name=\"s\"/>\n<getline variable=\"s\" line=\"%%\"/>", 6,
       "`getline` gives `line` as `%%`, a reference without a name, so its line reads "
       "`s=docs.ActiveDocument.GetLine()`",
       "<var name=\"s\"/>\n<getline variable=\"s\" line=\"%s%\"/>"},
      {"query into an undeclared variable", "<linecount variable=\"total\"/>", 5,
       "`linecount` stores its answer in `total`, which nothing declares",
       "<vbscript>Dim total</vbscript>\n<linecount variable=\"total\"/>"},
      {"selection into an undeclared range", "<getsel range=\"r\"/>", 5,
       "declare `r` with a `range` first", "<range name=\"r\"/>\n<getsel range=\"r\"/>"},
      // The sign that closes a reference opens none: `s` is no reference.
      {"reference to an undeclared name", "<inserttext>Hello %who%s% all</inserttext>", 5,
       "so the text keeps `%who%` as written",
       "<inserttext>Hello %who%s% all</inserttext>\n<var name=\"who\"/>"},
      {"range property of a plain variable", "<var name=\"n\"/>\n<msgbox>%n.startlineno%</msgbox>",
       6, "`n` is declared by a `var`, not a `range`",
       "<range name=\"n\"/>\n<msgbox>%N.StartLineNo%</msgbox>"},
      {"breakloop outside a loop", "<breakloop/>", 5, "`breakloop` stands outside any `loop`",
       "<loop statement=\"1\"><if expression=\"2\"><breakloop/></if></loop>"},
      {"else inside a loop of an if",
       "<if expression=\"1\">\n<loop statement=\"2\"><else/></loop>\n</if>", 6,
       "`else` stands inside the `loop` at line 6 instead of directly inside an `if`",
       "<if expression=\"1\">\n<loop statement=\"2\"/><else/>\n</if>"},
      {"block opened and never closed", "<vbscript>For i = 1 To 3</vbscript>", 5,
       "opens a `For` block that is never closed",
       "<vbscript>For i = 1 To 3</vbscript>\n<cut/>\n<vbscript>Next</vbscript>"},
      {"block still open at the end of an if",
       "<if expression=\"1\">\n<vbscript>Do</vbscript>\n</if>\n<vbscript>Loop</vbscript>", 6,
       "still open at the end of the `if` at line 5",
       "<vbscript>Do</vbscript>\n<if expression=\"1\"><cut/></if>\n<vbscript>Loop</vbscript>"},
      {"script closing an if early", "<if expression=\"1\">\n<vbscript>End If</vbscript>\n</if>", 6,
       "closes the `if` at line 5 early",
       "<if expression=\"1\">\n<vbscript>If a Then _\n  b = 1\nIf c Then\nd = 1 : End "
       "If</vbscript>\n"
       "</if>"},
  };
  return hazards;
}

struct Compiled {
  bool result = false;
  std::string errmsg;
  std::vector<tavjit::LintFinding> lint;
};

class Lint : public ::testing::Test {
 protected:
  Lint() {
    jit_.InitDefault();
    jit_.EnableLint(true);
  }
  Compiled Compile(const std::string& doc) {
    Compiled c;
    c.result = jit_.Execute(dir_.Write("doc.tav", doc));
    c.errmsg = jit_.ErrMsg();
    c.lint = jit_.LintFindings();
    return c;
  }

  std::string Describe(const std::vector<tavjit::LintFinding>& lint) {
    std::string s;
    for (const auto& f : lint) s += std::to_string(f.line.value_or(0)) + ": " + f.message + "\n";
    return s;
  }

  TempDir dir_;
  tavjit::CTavJIT jit_;
};

TEST_F(Lint, EachHazardGivesOneFindingAndItsTwinNone) {
  for (const Hazard& h : Hazards()) {
    SCOPED_TRACE(h.what);
    Compiled bad = Compile(Doc(h.body));
    ASSERT_TRUE(bad.result) << bad.errmsg;
    ASSERT_EQ(bad.lint.size(), 1u) << Describe(bad.lint);
    EXPECT_EQ(bad.lint[0].line, h.line);
    EXPECT_NE(bad.lint[0].message.find(h.fragment), std::string::npos) << bad.lint[0].message;

    Compiled good = Compile(Doc(h.twin));
    ASSERT_TRUE(good.result) << good.errmsg;
    EXPECT_TRUE(good.lint.empty()) << Describe(good.lint);
  }
}

TEST_F(Lint, FindingsFollowTheDocumentAndOnlyACompiledOne) {
  // Several findings come in document order, the closing ones at their
  // opener's line.
  Compiled c =
      Compile(Doc("<inserttext>%a%</inserttext>\n<linecount variable=\"b\"/>\n"
                  "<if expression=\"1\">\n<vbscript>Do</vbscript>\n</if>"));
  ASSERT_EQ(c.lint.size(), 3u) << Describe(c.lint);
  EXPECT_EQ(c.lint[0].line, 5u);
  EXPECT_EQ(c.lint[1].line, 6u);
  EXPECT_EQ(c.lint[2].line, 8u);

  // A failed compile has none, nor a later clean one, nor one with the lint off.
  EXPECT_FALSE(Compile(Doc("<linecount variable=\"b\"/>\n<goto line=\"x y\"/>")).result);
  EXPECT_TRUE(jit_.LintFindings().empty());
  EXPECT_TRUE(Compile(Doc("<cut/>")).lint.empty());
  jit_.EnableLint(false);
  EXPECT_TRUE(Compile(Doc("<linecount variable=\"b\"/>")).lint.empty());
  jit_.EnableLint(true);
  EXPECT_EQ(Compile(Doc("<linecount variable=\"b\"/>")).lint.size(), 1u);
}

// A line that starts with a value starts with that value's first word: a name
// that is a keyword opens a block.
TEST_F(Lint, ALineThatStartsWithAValueIsReadFromItsFirstWord) {
  Compiled c = Compile(Doc("<inputbox variable=\"Do\">x</inputbox>"));
  EXPECT_NE(Describe(c.lint).find("`inputbox` opens a `Do` block"), std::string::npos)
      << Describe(c.lint);
}

// A note about the document stays a note whatever words the document's own
// values bring into it.
TEST_F(Lint, ACarriedValueThatSaysRefusedIsStillANote) {
  Compiled c = Compile(Doc("<msgbox buttons=\"the interpreter refuses\">a</msgbox>\n"
                           "<msgbox>b</msgbox>"));
  ASSERT_EQ(c.lint.size(), 1u) << Describe(c.lint);
  EXPECT_NE(c.lint[0].message.find("leaves out `buttons`"), std::string::npos);
  EXPECT_EQ(c.lint[0].severity, tavjit::Severity::Note);
}

// What the lint knows of a definition lasts until a catalogue is loaded: the
// same element may then hold a number where it held text.
TEST(LintCatalogue, ALoadedCatalogueIsReadAfresh) {
  auto catalogue = [](int32_t line_type) {
    tavjit::CElements cat;
    cat.Add("goto", "", false, "", false, false, "", "")
        ->Attributes().Add("line", line_type, "", "", false, tavjit::Variant(), "");
    return cat.SaveBytes();
  };
  tavjit::CTavJIT jit;
  jit.EnableLint(true);
  for (const auto& [type, findings] : {std::pair{5, 1u}, {1, 0u}, {5, 1u}}) {
    jit.InitFromBytes(catalogue(type));
    ASSERT_TRUE(jit.ExecuteFromBytes(Doc("<goto line=\"x\"/>")));
    EXPECT_EQ(jit.LintFindings().size(), findings) << type;
  }
}

}  // namespace
