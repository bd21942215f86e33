// The bundled examples and the worked example of the README compile, with
// the built-in catalogue, to exactly the scripts beside them.
#include <gtest/gtest.h>

#include <filesystem>

#include "test_support.h"

using namespace tavtest;

TEST(Examples, CompileToTheScriptsBesideThem) {
  ASSERT_GE(Examples().size(), 5u);
  for (const fs::path& example : Examples()) {
    SCOPED_TRACE(example.string());
    tavjit::CTavJIT jit;
    Events events;
    events.Attach(jit);
    jit.InitDefault();
    ASSERT_TRUE(jit.Execute(example.string())) << jit.ErrMsg();
    EXPECT_TRUE(events.seen.empty());
    EXPECT_EQ(jit.Text(), ScriptBeside(example));
  }
}

TEST(Examples, WorkedExampleGivesItsNineLines) {
  TempDir dir;
  tavjit::CTavJIT jit;
  jit.InitDefault();
  const std::string doc = Doc(
      "<var name=\"n\">3</var>"
      "<loop statement=\"n &gt; 0\">"
      "<inserttext>Line %n%</inserttext>"
      "<shortexpression>n = n - 1</shortexpression>"
      "</loop>");
  ASSERT_TRUE(jit.Execute(dir.Write("w.tav", doc))) << jit.ErrMsg();
  EXPECT_EQ(jit.Text(), Script({"Option Explicit", "Dim n", "n=3", "Do While n > 0",
                                "If docs.Count Then",
                                "docs.ActiveDocument.InsertText \"Line \" & n & \"\"", "End If",
                                "n = n - 1", "Loop"}));
}
