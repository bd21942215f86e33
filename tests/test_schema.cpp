// The schema and the reference derived from a catalogue. The schema is run
// through xmllint and held against the compiler: each case says what both
// make of a document, so every place where they part is a listed decision.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <optional>

#include "tavjit/catalogue.hpp"
#include "test_support.h"

using namespace tavtest;

namespace {

// xmllint's exit status: 0 valid, 3 invalid; anything else means the
// schema itself is broken.
int Xmllint(const std::string& schema, const std::string& doc) {
  const std::string cmd =
      "xmllint --noout --schema '" + schema + "' '" + doc + "' >/dev/null 2>&1";
  const int status = std::system(cmd.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Accepted: compiled, and not a single warning on the way.
bool CompilerAccepts(const std::string& catalogue, const std::string& path) {
  tavjit::CTavJIT jit;
  Events events;
  events.Attach(jit);
  jit.InitFromBytes(catalogue);
  return jit.Execute(path) && events.seen.empty();
}

std::string Built(const std::string& json) {
  std::string error;
  std::optional<std::string> bytes = tavjit::BuildCatalogue(json, &error);
  EXPECT_TRUE(bytes) << error;
  return bytes.value_or("");
}

struct Case {
  std::string doc;
  bool schema, compiler;
};

void CheckCases(const std::string& catalogue, const std::vector<Case>& cases) {
  TempDir dir;
  std::string error;
  std::optional<std::string> schema = tavjit::CatalogueSchema(catalogue, &error);
  ASSERT_TRUE(schema) << error;
  const std::string xsd = dir.Write("tav.xsd", *schema);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.doc);
    const std::string path = dir.Write("case.tav", c.doc);
    EXPECT_EQ(Xmllint(xsd, path), c.schema ? 0 : 3);
    EXPECT_EQ(CompilerAccepts(catalogue, path), c.compiler);
  }
}

std::string Root(const std::string& attributes) {
  return "<tav " + attributes + "><tavhead><version>1</version></tavhead><tavbody/></tav>";
}

}  // namespace

TEST(Schema, ValidatesEveryExample) {
  TempDir dir;
  const std::string xsd =
      dir.Write("tav.xsd", *tavjit::CatalogueSchema(tavjit::DefaultCatalogue(), nullptr));
  ASSERT_GE(Examples().size(), 5u);
  for (const fs::path& example : Examples()) EXPECT_EQ(Xmllint(xsd, example.string()), 0) << example;
}

TEST(Schema, AgreesWithTheCompilerWhereDocumented) {
  CheckCases(tavjit::DefaultCatalogue(), {
      // Numbers, and variables in their place.
      {Doc("<goto line=\" -1.5e3 \"/>"), true, true},
      {Doc("<goto line=\"%n%\"/><goto line=\" %n% \"/><goto line=\"abc\"/>"), true, true},
      {Doc("<goto line=\"1x\"/>"), false, false},
      {Doc("<goto line=\"a b\"/>"), false, false},
      {Doc("<goto line=\"%r.startlineno%\"/>"), false, false},
      {Doc("<goto line=\"\"/>"), true, true},  // takes its default
      {Doc("<getline variable=\"x\" line=\"\"/>"), false, false},
      {Doc("<getline variable=\"x\"/>"), false, false},
      // Truth values and variable names.
      {Doc("<printdoc showdialog=\"FALSE\"/><printdoc showdialog=\"maybe\"/>"), true, true},
      {Doc("<printdoc showdialog=\"no way\"/>"), false, false},
      {Doc("<var name=\"x_1\"/>"), true, true},
      {Doc("<var name=\"1x\"/>"), false, false},
      // Unknown and misplaced names: the compiler warns, the schema rejects.
      {Doc("<frobnicate/>"), false, false},
      {Doc("<goto lin=\"1\"/>"), false, false},
      {Doc("<endif/>"), false, false},
      {Doc("<goto/>", "<version>1</version><keywords/>"), false, false},
      {Doc("<if expression=\"x\"><goto/><else/><loop statement=\"y\"><cut/></loop></if>"), true,
       true},
      // Root and header.
      {Root("version=\"1.0\" edition=\" KORVANE \""), true, true},
      {Root("version=\"1.00\" edition=\"korvane\""), false, false},
      {Root("version=\"1.0\" edition=\"other\""), false, false},
      {Doc("", "<author>me</author>"), false, false},
      // Stricter than the compiler, as docs/schema.md lists.
      {Doc("<GOTO line=\"1\"/>"), false, true},
      {Doc("<else/>"), false, true},
      {Doc("<goto>ignored</goto>"), false, true},
      {Doc("<printdoc showdialog=\"true|false\"/>"), false, true},
      {Root("version=\"1.0\" edition=\"korvane\" extra=\"1\""), false, true},
      // Looser: a number too large for a double; a namespace declaration;
      // xml:space, which the parser reads and the compiler then warns about.
      {Doc("<goto line=\"1e999\"/>"), true, false},
      {Doc("<inserttext xml:space=\"preserve\"> a </inserttext>"), true, false},
      {Doc("<goto xmlns:p=\"urn:p\" line=\"1\"/>"), true, false},
  });
}

TEST(Schema, ChoiceListsItsValues) {
  const std::string catalogue = Built(R"({"elements": [{"name": "pick", "attributes": [
      {"name": "mode", "type": 7, "required": true, "arrayvalues": "a|b|c"},
      {"name": "extra", "type": 7, "arrayvalues": "x||y"}]}]})");
  CheckCases(catalogue, {
      {Doc("<pick mode=\"b\" extra=\"\"/>"), true, true},
      {Doc("<pick mode=\"a\" extra=\"y\"/>"), true, true},
      {Doc("<pick mode=\"d\"/>"), false, false},
      {Doc("<pick mode=\"\"/>"), false, false},
      {Doc("<pick mode=\"a\" extra=\"z\"/>"), false, false},
      {Doc("<pick mode=\"B\"/>"), false, true},
      {Doc("<pick mode=\"a|b\"/>"), false, true},
  });
}

TEST(Schema, RefusesWhatItCannotWrite) {
  std::string error;
  EXPECT_FALSE(tavjit::CatalogueSchema("{}", &error));
  EXPECT_EQ(error, "not a catalogue file");
  EXPECT_FALSE(tavjit::CatalogueSchema(Built(R"({"elements": [{"name": "2nd"}]})"), &error));
  EXPECT_EQ(error, "element name '2nd' is not an XML name");
  EXPECT_FALSE(tavjit::CatalogueReference("{}", &error));
}

// Any XML name the schema can write; descriptions keep their line breaks as
// plain LF, whatever the catalogue wrote.
TEST(Schema, NamesAndDescriptionsAsWritten) {
  const std::string catalogue = Built(R"({"elements": [
      {"name": "_x", "description": "one\r\ntwo\rthree\r", "attributes": [{"name": "ü-1.a"}]},
      {"name": "über"}]})");
  const std::string xsd = tavjit::CatalogueSchema(catalogue, nullptr).value_or("");
  EXPECT_NE(xsd.find("<xs:documentation>one\ntwo\nthree\n</xs:documentation>"), std::string::npos);
  CheckCases(catalogue, {{Doc("<_x ü-1.a=\"\"/><über/>"), true, true}});
}

TEST(Reference, ElementsMdIsUpToDate) {
  const std::string path = std::string(TAVJIT_SOURCE_DIR) + "/docs/elements.md";
  EXPECT_TRUE(tavjit::CatalogueReference(tavjit::DefaultCatalogue(), nullptr) == ReadFile(path))
      << path << " is out of date; regenerate it with\n"
      << "  build/tavjit catalogue docs > docs/elements.md";
}

TEST(Reference, ExamplesAreCompiled) {
  const std::string reference = *tavjit::CatalogueReference(
      Built(R"({"elements": [{"name": "goto", "description": "Go | there.", "attributes": [
          {"name": "line", "type": 5, "required": true, "description": "Line."},
          {"name": "how", "type": 7, "required": true, "default": "b", "arrayvalues": "a|b"}]},
        {"name": "pick", "attributes": [{"name": "mode", "type": 7, "required": true}]}]})"),
      nullptr);
  EXPECT_NE(reference.find("## `goto`\n\nGo | there.\n\n"
                           "| Attribute | Type | Required | Default | Description |\n"
                           "|---|---|---|---|---|\n"
                           "| `line` | number or variable | yes |  | Line. |\n"
                           "| `how` | one of `a`, `b` | no | `b` |  |\n\n"
                           "No text.\n\n"
                           "```xml\n<goto line=\"1\" how=\"a\"/>\n```\n\n"
                           "gives\n\n```vb\nOption Explicit\nIf docs.Count Then\n"
                           "docs.ActiveDocument.GotoLine 1\nEnd If\n```\n"),
            std::string::npos)
      << reference;
  EXPECT_NE(reference.find("```xml\n<pick mode=\"\"/>\n```\n\nThe compiler rejects this "
                           "example: The mode attribute in the pick element requires a value!\n"),
            std::string::npos)
      << reference;
}

#ifdef TAVJIT_TOOL
TEST(Reference, ToolPrintsTheCheckedInReference) {
  TempDir dir;
  const std::string out = (dir.path() / "out.md").string();
  ASSERT_EQ(std::system(("'" TAVJIT_TOOL "' catalogue docs > '" + out + "'").c_str()), 0);
  EXPECT_TRUE(ReadFile(out) == ReadFile(std::string(TAVJIT_SOURCE_DIR) + "/docs/elements.md"));
}
#endif
