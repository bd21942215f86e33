// The driver, the validation of root and header, and the document walk,
// through the public class with a small catalogue written by SaveFile.
#include <gtest/gtest.h>

#include "catalogue/records.h"
#include "test_support.h"

using tavjit::CElements;
using tavjit::CTavJIT;
using tavjit::Variant;
using namespace tavtest;

namespace {

// A catalogue with a few elements of known lines. "custom" has no branch and
// gives an empty line.
std::string WriteTestCatalogue(const TempDir& dir) {
  CElements cat;
  cat.Add("if", "", false, "", false, false, "", "")
      ->Attributes().Add("expression", 1, "", "", true, Variant(), "");
  cat.Add("else", "", false, "", false, false, "", "");
  cat.Add("loop", "", false, "", false, false, "", "")
      ->Attributes().Add("statement", 1, "", "", true, Variant(), "");
  cat.Add("endif", "", false, "", false, false, "", "");
  cat.Add("endloop", "", false, "", false, false, "", "");
  auto var = cat.Add("var", "", true, "", false, false, "", "");
  var->Attributes().Add("name", 8, "", "", true, Variant(), "");
  cat.Add("inserttext", "", true, "", false, false, "", "");
  cat.Add("goto", "", false, "", false, false, "", "")
      ->Attributes().Add("line", 5, "", "", true, Variant(int32_t{1}), "");
  cat.Add("custom", "", false, "", false, false, "", "");
  std::string path = (dir.path() / "test.tavcat").string();
  cat.SaveFile(path);
  return path;
}

struct Outcome {
  bool result;
  std::string errmsg;
  std::vector<std::string> events;
  std::string text;
};

class CompilerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    events_.Attach(jit_);
    jit_.Init(WriteTestCatalogue(dir_));
  }
  Outcome Run(const std::string& bytes) {
    events_.seen.clear();
    std::string path = dir_.Write("doc.tav", bytes);
    bool r = jit_.Execute(path);
    return {r, jit_.ErrMsg(), events_.seen, jit_.Text()};
  }
  TempDir dir_;
  CTavJIT jit_;
  Events events_;
};

const std::string kGoodHead = "<tavhead><version>1</version></tavhead>";

std::string Root(const std::string& attrs, const std::string& inner) {
  return "<tav " + attrs + ">" + inner + "</tav>";
}
const std::string kAttrs = "version=\"1.0\" edition=\"korvane\"";
const std::string kBody = "<tavbody/>";

TEST_F(CompilerTest, ValidationOutcomes) {
  struct Case {
    std::string doc;
    bool result;
    std::string errmsg;
    std::vector<std::string> events;
  } cases[] = {
      {Root(kAttrs, kGoodHead + kBody), true, "", {}},
      {"<TAV version=\"1.0\" edition=\"korvane\"/>", false,
       "This file is not a valid TAV document.", {"E:This file is not a valid TAV document."}},
      {Root("version=\"1.00\" edition=\"korvane\"", ""), false,
       "The file has an invalid or unsupported version number.",
       {"E:The file has an invalid or unsupported version number."}},
      {Root("version=\"1.0 \" edition=\"korvane\"", ""), false,
       "The file has an invalid or unsupported version number.",
       {"E:The file has an invalid or unsupported version number."}},
      {Root("version=\"1.0\" edition=\" Korvane \"", kGoodHead + kBody), true, "", {}},
      {Root("version=\"1.0\" edition=\"KORVANE\"", kGoodHead + kBody), true, "", {}},
      {Root("version=\"1.0\" edition=\"korvane2\"", ""), false,
       "This file isn't the Korvane edition of TAV", {"E:This file isn't the Korvane edition of TAV"}},
      // No message where a required attribute or the body is missing.
      {Root("edition=\"korvane\"", ""), false, "", {}},
      {Root("version=\"1.0\"", ""), false, "", {}},
      {Root(kAttrs, kGoodHead), false, "", {}},
      {Root(kAttrs, kGoodHead + "text<!-- c -->"), false, "", {}},
      {Root(kAttrs, "<!-- only -->text"), false, "File doesn't contain a valid header.",
       {"E:File doesn't contain a valid header."}},
      {Root(kAttrs, "<body/>"), false, "File doesn't contain a valid header",
       {"E:File doesn't contain a valid header"}},
      {Root(kAttrs, "<tavhead/>" + kBody), false, "File header doesn't contain a version.",
       {"E:File header doesn't contain a version."}},
      {Root(kAttrs, "<tavhead>just text</tavhead>" + kBody), false,
       "File header doesn't contain a version element.",
       {"E:File header doesn't contain a version element."}},
      {Root(kAttrs, "<tavhead><version/><author/><web/><extra>x</extra></tavhead>" + kBody), true,
       "", {"W:Invalid or unsupported element, 'extra', found in header."}},
      {Root(kAttrs, "<tavhead><Version/></tavhead>" + kBody), false,
       "File header doesn't contain a version element.",
       {"W:Invalid or unsupported element, 'Version', found in header.",
        "E:File header doesn't contain a version element."}},
      {Root(kAttrs, std::string(kGoodHead) + "<tavBody/>"), false,
       "File doesn't contain a valid body.", {"E:File doesn't contain a valid body."}},
      {Root(kAttrs, "<!--c-->" + std::string(kGoodHead) + "text<?pi x?>" + kBody +
                        "<tavhead/><junk/>"),
       true, "", {}},
      {"<tav", false, "Not a TAV document or file is not well formed",
       {"E:Not a TAV document or file is not well formed"}},
      {"", false, "Not a TAV document or file is not well formed",
       {"E:Not a TAV document or file is not well formed"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.doc);
    Outcome o = Run(c.doc);
    EXPECT_EQ(o.result, c.result);
    EXPECT_EQ(o.errmsg, c.errmsg);
    EXPECT_EQ(o.events, c.events);
  }
}

TEST(CompilerDriver, ExecuteBeforeInitRaisesAndChangesNothing) {
  CTavJIT jit;
  Events events;
  events.Attach(jit);
  for (bool from_bytes : {false, true}) {
    try {
      from_bytes ? jit.ExecuteFromBytes(Doc("")) : jit.Execute("whatever.tav");
      FAIL() << "no error raised";
    } catch (const tavjit::ExecuteError& e) {
      EXPECT_EQ(e.Number(), static_cast<int32_t>(0x80040066u));
      EXPECT_EQ(e.Source(), "TAVJIT::Execute");
      EXPECT_EQ(e.Description(), "Init method haven't been called");
    }
  }
  EXPECT_EQ(jit.ErrMsg(), "");
  EXPECT_EQ(jit.Text(), "");
  EXPECT_TRUE(events.seen.empty());
}

TEST_F(CompilerTest, BytesInMemoryCompileAsTheirFileWould) {
  for (const std::string& bytes :
       {Doc("<var name=\"x\">1</var><else/>"), Doc("<unknown/><goto line=\"x y\"/>"),
        std::string("<tav"), std::string()}) {
    SCOPED_TRACE(bytes);
    const Outcome from_file = Run(bytes);
    events_.seen.clear();
    const bool result = jit_.ExecuteFromBytes(bytes);
    EXPECT_EQ(result, from_file.result);
    EXPECT_EQ(jit_.ErrMsg(), from_file.errmsg);
    EXPECT_EQ(events_.seen, from_file.events);
    EXPECT_EQ(jit_.Text(), from_file.text);
  }
}

TEST_F(CompilerTest, WalkWarningsAndOrder) {
  struct Case {
    std::string body;
    std::string text;
    std::vector<std::string> events;
  } cases[] = {
      {"", "", {}},
      {"<!-- c --> text <else/>", Script({"Option Explicit", "Else"}), {}},
      {"<if expression=\"a\"><else/><custom/></if>",
       Script({"Option Explicit", "If a Then", "Else", "", "End If"}), {}},
      {"<if expression=\"a\"/>", Script({"Option Explicit", "If a Then", "End If"}), {}},
      {"<endif/><endloop/>",
       "",
       {"W:Unsupported element, 'endif', found in document body.",
        "W:Unsupported element, 'endloop', found in document body."}},
      {"<unknown><else/></unknown><else/>", Script({"Option Explicit", "Else"}),
       {"W:Unsupported element, 'unknown', found in document body."}},
      // Catalogue look-ups ignore case; the walk's own name tests do not.
      {"<IF expression=\"a\"><Else/></IF>", Script({"Option Explicit", "If a Then", "Else"}), {}},
      {"<ENDIF/>", Script({"Option Explicit", "End If"}), {}},
      {"<loop statement=\"x\" bogus=\"1\" other=\"2\"/>",
       Script({"Option Explicit", "Do While x", "Loop"}),
       {"W:Unsupported attribute, 'bogus', found in element 'loop'.",
        "W:Unsupported attribute, 'other', found in element 'loop'."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    Outcome o = Run(Doc(c.body));
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.text, c.text);
    EXPECT_EQ(o.events, c.events);
  }
}

TEST_F(CompilerTest, HandlersSeeTextOfTheLastRunThatCompleted) {
  // Until a run of this compile completes, Text is the previous compile's.
  std::vector<std::string> seen_text;
  jit_.OnWarningMessage([&](const std::string&) { seen_text.push_back(jit_.Text()); });
  jit_.OnErrorMessage([&](const std::string&) { seen_text.push_back(jit_.Text()); });
  const std::string before = Run(Doc("<else/>")).text;
  const std::string after_var = Script({"Option Explicit", "Dim x", "x=1"});
  // The if's run covers its children, not the End If that follows them.
  const std::string after_if =
      Script({"Option Explicit", "Dim x", "x=1", "If \" & x & \" Then", "Else"});
  Outcome o = Run(Doc("<unknown/><var name=\"x\">1</var><unknown/>"
                      "<if expression=\"%x%\"><else/></if><unknown/><goto line=\"1abc\"/>"));
  EXPECT_FALSE(o.result);
  EXPECT_EQ(seen_text, (std::vector<std::string>{before, after_var, after_if, after_if}));
  EXPECT_EQ(o.text, after_if);
}

// With carry-over off, each compile starts from the values the catalogue
// file stored, in texts and attributes alike.
TEST(CompilerDriver, WithoutCarryOverEachCompileStartsFromStoredValues) {
  CElements cat;
  cat.Add("var", "", true, "", false, false, "", "5")
      ->Attributes().Add("name", 1, "v", "", false, Variant(), "");
  cat.Add("goto", "", false, "", false, false, "", "")
      ->Attributes().Add("line", 1, "9", "", false, Variant(), "");
  CTavJIT jit;
  jit.InitFromBytes(cat.SaveBytes());
  jit.SetCarryOver(false);
  ASSERT_TRUE(jit.ExecuteFromBytes(Doc("<var name=\"w\">1</var><goto line=\"7\"/>")));
  ASSERT_TRUE(jit.ExecuteFromBytes(Doc("<var/><goto/>")));
  EXPECT_EQ(jit.Text(), Script({"Option Explicit", "Dim v", "If docs.Count Then",
                                "docs.ActiveDocument.GotoLine 9", "End If"}));
}

// A choice matches an entry without regard to case, letter by letter, in
// any script; a value with bars must match neighbouring entries.
TEST(CompilerDriver, ChoicesIgnoreCaseLetterByLetter) {
  CElements cat;
  cat.Add("pick", "", false, "", false, false, "", "")
      ->Attributes().Add("mode", 7, "", "é|Straße|b", true, Variant("b"), "");
  CTavJIT jit;
  jit.InitFromBytes(cat.SaveBytes());
  for (const auto& [value, ok] : std::initializer_list<std::pair<const char*, bool>>{
           {"É", true}, {"STRAßE", true}, {"straße|B", true}, {"STRASSE", false},
           {"éa", false}, {"é|b", false}, {"ß", false}})
    EXPECT_EQ(jit.ExecuteFromBytes(Doc("<pick mode=\"" + std::string(value) + "\"/>")), ok) << value;
}

TEST(CompilerWalk, MissingCatalogueMakesEveryElementUnsupported) {
  TempDir dir;
  CTavJIT jit;
  Events events;
  events.Attach(jit);
  jit.Init((dir.path() / "none.tavcat").string());
  ASSERT_TRUE(jit.Execute(dir.Write("d.tav", Doc("<else/><cut/>"))));
  EXPECT_EQ(jit.Text(), "");
  EXPECT_EQ(events.seen, (std::vector<std::string>{
                             "W:Unsupported element, 'else', found in document body.",
                             "W:Unsupported element, 'cut', found in document body."}));
}

// What each element yields: off by default; after a compile the lines of
// Text, variables spliced; after a failure the blocks listed before it.
TEST(CompilerScriptBlocks, EachListedElementWithItsLines) {
  TempDir dir;
  CTavJIT jit;
  jit.Init(WriteTestCatalogue(dir));
  const std::string doc = Doc("<loop statement=\"n\">\n<inserttext>%n%</inserttext></loop>\n"
                              "<var name=\"n\">3</var>\n<goto line=\"x y\"/>");
  ASSERT_FALSE(jit.ExecuteFromBytes(doc));
  EXPECT_TRUE(jit.ScriptBlocks().empty());
  jit.RecordScriptBlocks(true);
  using B = std::tuple<uint32_t, std::string, std::string>;
  const std::string kGuard = "If docs.Count Then\r\ndocs.ActiveDocument.InsertText ";
  auto blocks = [&] {
    std::vector<B> out;
    for (const tavjit::ScriptBlock& b : jit.ScriptBlocks()) out.emplace_back(b.line, b.element, b.block);
    return out;
  };
  ASSERT_FALSE(jit.ExecuteFromBytes(doc));
  EXPECT_EQ(blocks(), (std::vector<B>{{5, "loop", "Do While n\r\n"},
                                      {6, "inserttext", kGuard + "\"%n%\"\r\nEnd If\r\n"},
                                      {5, "endloop", "Loop\r\n"},
                                      {7, "var", "Dim n\r\nn=3\r\n"}}));
  ASSERT_TRUE(jit.ExecuteFromBytes(doc.substr(0, doc.find("<goto")) + "</tavbody></tav>"));
  EXPECT_EQ(std::get<2>(blocks()[1]), kGuard + "\"\" & n & \"\"\r\nEnd If\r\n");
  EXPECT_EQ(blocks().size(), 4u);
}

}  // namespace
