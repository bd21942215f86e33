// The lines that only other catalogues reach, and the agreement between the
// rows and the default catalogue.
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

// The golden documents give every element's line (test_examples.cpp). These
// values reach a line only through a catalogue whose types let them by:
// blank or missing names and values.
TEST(Branches, ValuesThatOnlyOtherCataloguesLetThrough) {
  const LineCase cases[] = {
      {"if", {}, "", "If  Then"},
      {"var", {{"name", " x "}}, "1", "Dim  x \r\n x =1"},
      {"set", {{"variable", " x"}}, " 7 ", " x= 7 "},
      {"range", {{"name", " r "}}, "", "Dim r\r\nSet r=NewRangeObject"},
      {"setrange",
       {{"name", " r "}, {"startlineno", " 2"}},
       "",
       "r.StartLineNo= 2\r\nr.StartColNo=\r\nr.EndLineNo=\r\nr.EndColNo=\r\nr.ColumnSel="},
      {"gettext", {{"variable", " t "}}, "", " t =docs.ActiveDocument.Text"},
      {"getline", {{"variable", ""}, {"line", ""}}, "", "=docs.ActiveDocument.GetLine()"},
      {"printdoc", {{"showdialog", ""}}, "", "docs.ActiveDocument.PrintMe "},
      {"findtext", {}, "", "docs.ActiveDocument.PrepareFind \"\",,"},
      {"msgbox", {{"variable", " r "}, {"buttons", "b"}}, "Hi", "r=MessageBox(\"Hi\",\"b\",\"\")"},
      {"msgbox", {{"variable", "   "}}, "Hi", "MessageBox \"Hi\",\"\",\"\""},
      {"choicedlg", {{"variable", " a "}}, "", "a=ChoiceDialog(\"\",\"\",\"\")"},
      {"inputbox", {{"variable", " s "}}, "", " s =InputDialog(\"\",\"\")"},
      {"shell", {{"variable", " "}, {"filename", "f"}}, "", " =ShellEx(\"f\",\"\")"},
      // Row names are matched exactly.
      {"Goto", {{"line", "1"}}, "", ""},
  };
  for (const auto& c : cases) {
    CVariables variables;
    EXPECT_EQ(BuildElementLine(MakeElement(c), variables), c.line) << c.element;
  }
}

// The lint reads a built line by its form: with every value given, the form
// is the very line.
TEST(Branches, FormsAreTheirLines) {
  for (const std::string_view name : DispatchNames()) {
    const branches::BranchRow& row = *branches::FindRow(name);
    if (row.form.empty()) continue;
    LineCase given{std::string(name), {}, "t", ""};
    for (const branches::Input& in : row.inputs)
      if (!in.attribute.empty())
        given.attributes.emplace_back(in.attribute, "v" + std::to_string(given.attributes.size()));
    CVariables variables;
    EXPECT_EQ(branches::BranchRow(name, row.form).Line(MakeElement(given), variables),
              BuildElementLine(MakeElement(given), variables))
        << name;
  }
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
