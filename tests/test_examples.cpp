// The bundled examples, the golden documents (one per command family, and
// the lint's) and the worked example of the README compile, with the
// built-in catalogue, to exactly the scripts beside them, and give exactly
// the lint notes beside them (F.lint, "LINE: MESSAGE" a line; none when there
// is no such file). The goldens are written by the tool and read line by
// line before they are checked in:
//   build/tavjit compile tests/golden/F.tav -o tests/golden/F.vbs 2>notes
// then the notes without "FILE:" and "note: " into F.lint.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "generator/generator.h"
#include "test_support.h"

using namespace tavtest;

TEST(Examples, CompileToTheScriptsBesideThem) {
  std::vector<fs::path> docs = Examples(), golden = Documents("tests/golden");
  ASSERT_GE(docs.size(), 5u);
  ASSERT_GE(golden.size(), 6u);
  docs.insert(docs.end(), golden.begin(), golden.end());
  std::set<std::string> used;
  for (const fs::path& doc : docs) {
    SCOPED_TRACE(doc.string());
    tavjit::CTavJIT jit;
    Events events;
    events.Attach(jit);
    jit.InitDefault();
    jit.RecordScriptBlocks(true);
    jit.EnableLint(true);
    ASSERT_TRUE(jit.Execute(doc.string())) << jit.ErrMsg();
    EXPECT_TRUE(events.seen.empty());
    EXPECT_EQ(jit.Text(), ScriptBeside(doc));
    std::string notes;
    for (const tavjit::LintFinding& f : jit.LintFindings())
      notes += std::to_string(f.line.value_or(0)) + ": " + f.message + "\n";
    EXPECT_EQ(notes, ReadFile(fs::path(doc).replace_extension(".lint").string()));
    for (const tavjit::ScriptBlock& b : jit.ScriptBlocks()) used.insert(b.element);
  }
  // Between them they give the line of every element the generator knows.
  const auto& names = tavjit::DispatchNames();
  EXPECT_EQ(used, std::set<std::string>(names.begin(), names.end()));
}

TEST(Examples, WorkedExampleGivesItsNineLines) {
  tavjit::CTavJIT jit;
  jit.InitDefault();
  ASSERT_TRUE(jit.ExecuteFromBytes(Doc("<var name=\"n\">3</var>"
                                       "<loop statement=\"n &gt; 0\">"
                                       "<inserttext>Line %n%</inserttext>"
                                       "<shortexpression>n = n - 1</shortexpression>"
                                       "</loop>")))
      << jit.ErrMsg();
  EXPECT_EQ(jit.Text(), Script({"Option Explicit", "Dim n", "n=3", "Do While n > 0",
                                "If docs.Count Then",
                                "docs.ActiveDocument.InsertText \"Line \" & n & \"\"", "End If",
                                "n = n - 1", "Loop"}));
}
