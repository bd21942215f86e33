// Value helpers and attribute checking. TAVDecode and FixTextValue are held
// against their literal replacements in test_differential.cpp.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/attribute_check.h"
#include "generator/splice.h"

namespace tavjit {
namespace {

TEST(Values, ValidVarName) {
  struct Case {
    std::string text;
    bool valid;
  } cases[] = {
      {"count", true}, {"my_var2", true}, {"", true},     {"_x", true},
      {"X9", true},    {"2nd", false},    {"a-b", false}, {"n\xC3\xA9v", false},
      {"a b", false},  {" a", false},     {"%a%", false}, {"a.b", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ValidVarName(c.text), c.valid) << c.text;
}

TEST(Values, ContainVariableValue) {
  struct Case {
    std::string text;
    bool result;
  } cases[] = {
      {" %n% ", true}, {"n", true},      {"%%", true},     {"  n  ", true},
      {"%n", false},   {"n%", false},    {"%a b%", false}, {"%1x%", false},
      {"1x", false},   {"% n %", false}, {"%%%", false},   {"\t%n%", false},
  };
  for (const auto& c : cases) EXPECT_EQ(ContainVariableValue(c.text), c.result) << c.text;
  EXPECT_EQ(ContainVariableValue("%"), std::nullopt);
  EXPECT_EQ(ContainVariableValue("  %  "), std::nullopt);
}

CVariables Declare(std::vector<std::pair<std::string, bool>> vars) {
  CVariables list;
  for (auto& [name, is_object] : vars) list.Add(name, is_object);
  return list;
}

TEST(Values, FixVariables) {
  struct Case {
    std::vector<std::pair<std::string, bool>> vars;
    std::string in, out;
  } cases[] = {
      {{{"n", false}, {"r", true}},
       "\"Found %n% lines from %R.StartLineNo%\"",
       "\"Found \" & n & \" lines from \" & r.startlineno & \"\""},
      {{{"n", false}}, "x=\"%x%\"\r\n", "x=\"%x%\"\r\n"},
      {{{"x", false}}, "\"%X%\"", "\"\" & x & \"\""},
      {{{"Who", false}}, "%who% %WHO%", "\" & Who & \" \" & Who & \""},
      // Simple case folding: capital sharp s meets sharp s; dotted capital I is no i.
      {{{"\xC3\x9F", false}, {"i", false}}, "%\xE1\xBA\x9E%%\xC4\xB0%", "\" & \xC3\x9F & \"%\xC4\xB0%"},
      // Properties belong to range variables only.
      {{{"n", false}}, "%n.startlineno%", "%n.startlineno%"},
      {{{"r", true}},
       "%r.startcolno%%r.endcolno%%r.startlineno%%r.endlineno%%R.COLUMNSEL%%r%%r.text%",
       "\" & r.startcolno & \"\" & r.endcolno & \"\" & r.startlineno & \"\" & r.endlineno & "
       "\"\" & r.columnsel & \"\" & r & \"%r.text%"},
      // Variables are substituted in the order they were declared.
      {{{"a", false}, {"b", false}}, "%a%b%", "\" & a & \"b%"},
      {{{"b", false}, {"a", false}}, "%a%b%", "%a\" & b & \""},
      // Only the blanks at the very start and end of the whole script go.
      {{}, "   x = 1  \r\n   y  ", "x = 1  \r\n   y"},
      {{}, "\tx\r\n", "\tx\r\n"},
      {{{"v", false}}, "%v% \r\n", "\" & v & \" \r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(FixVariables(c.in, Declare(c.vars)), c.out) << c.in;
}

struct AttrDef {
  std::string name;
  int32_t type;
  bool required;
  Variant default_value;
  std::string value;
  std::string array_values;
};

CElement MakeElement(const std::string& name, const std::vector<AttrDef>& attrs) {
  CElement e;
  e.SetElementName(name);
  for (const auto& a : attrs)
    e.Attributes().Add(a.name, a.type, a.value, a.array_values, a.required, a.default_value, "");
  return e;
}

struct Checked {
  bool ok;
  std::vector<std::string> messages;
};

Checked Check(CElement& e) {
  Checked r;
  r.ok = CheckAttribs(e, [&](const std::string& msg, const CElement&) {
           r.messages.push_back(msg);
         }) == CheckResult::kAccepted;
  return r;
}

TEST(Values, CheckAttribsByDataType) {
  const std::string kMissing = "The line attribute in the goto element requires a value!";
  const std::string kInvalid = "line contains an invalid value in element goto";
  struct Case {
    int32_t type;
    bool required;
    Variant def;
    std::string array, value;
    std::string stored;   // the value afterwards
    std::string message;  // empty when accepted
  } cases[] = {
      // Defaults: only for required attributes, in their text form.
      {5, true, int32_t{1}, "", "", "1", ""},
      {6, true, false, "", "", "False", ""},
      {1, true, "abc", "", "", "abc", ""},
      {5, true, 2.5, "", "", "2.5", ""},
      {5, true, Variant(), "", "", "", kMissing},
      {5, true, "", "", "", "", kMissing},
      {5, false, int32_t{7}, "", "", "", ""},
      {5, true, int32_t{1}, "", "4", "4", ""},
      // Numbers, variable names and references.
      {5, false, {}, "", "12", "12", ""},
      {5, false, {}, "", " -1.5e3 ", " -1.5e3 ", ""},
      {5, false, {}, "", ".5", ".5", ""},
      {5, false, {}, "", "%count%", "count", ""},
      {5, false, {}, "", " %n% ", " n ", ""},
      {5, false, {}, "", "abc", "abc", ""},
      {5, false, {}, "", "1abc", "1abc", kInvalid},
      {5, false, {}, "", "1e", "1e", kInvalid},
      {5, false, {}, "", "1,5", "1,5", kInvalid},
      {5, false, {}, "", "0x10", "0x10", kInvalid},
      // Written as numbers, but past what a number holds: no numbers.
      {5, false, {}, "", "1e999", "1e999", kInvalid},
      {5, false, {}, "", std::string(400, '9'), std::string(400, '9'), kInvalid},
      {5, false, {}, "", std::string(300, '9'), std::string(300, '9'), ""},
      {5, false, {}, "", "%a b%", "%a b%", kInvalid},
      // Truth values: the words in any case, or a variable.
      {6, false, {}, "", "TRUE", "TRUE", ""},
      {6, false, {}, "", "False", "False", ""},
      {6, false, {}, "", "true|false", "true|false", ""},
      {6, false, {}, "", "%flag%", "%flag%", ""},
      {6, false, {}, "", "flag", "flag", ""},
      {6, false, {}, "", "1", "1", kInvalid},
      // Choices, without regard to case; no variables.
      {7, false, {}, "a|b|c", "B", "B", ""},
      {7, false, {}, "a|b|c", "a|b", "a|b", ""},
      {7, false, {}, "a|b|c", "d", "d", kInvalid},
      {7, false, {}, "a|b|c", "%a%", "%a%", kInvalid},
      // Variable names.
      {8, false, {}, "", "x_1", "x_1", ""},
      {8, false, {}, "", "1x", "1x", kInvalid},
      {8, false, {}, "", "x y", "x y", kInvalid},
      {8, false, {}, "", "%x%", "%x%", kInvalid},
      // Any other type is free text.
      {1, false, {}, "", "%", "%", ""},
      {0, false, {}, "", "1 2 %x", "1 2 %x", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE("type " + std::to_string(c.type) + " value '" + c.value + "'");
    CElement e = MakeElement("goto", {{"line", c.type, c.required, c.def, c.value, c.array}});
    Checked r = Check(e);
    EXPECT_EQ(r.ok, c.message.empty());
    EXPECT_EQ(r.messages,
              c.message.empty() ? std::vector<std::string>{} : std::vector<std::string>{c.message});
    EXPECT_EQ(e.Attributes().Item("line")->Value(), c.stored);
    // A second check finds nothing new to change.
    Checked again = Check(e);
    EXPECT_EQ(again.ok, r.ok);
    EXPECT_EQ(e.Attributes().Item("line")->Value(), c.stored);
  }
}

TEST(Values, CheckAttribsLonePercentIsUnexaminableWithoutReport) {
  for (int32_t type : {5, 6}) {
    for (std::string value : {"%", " % "}) {
      CElement e = MakeElement("goto", {{"line", type, false, {}, value, ""}});
      bool reported = false;
      EXPECT_EQ(CheckAttribs(e, [&](const std::string&, const CElement&) { reported = true; }),
                CheckResult::kUnexaminable);
      EXPECT_FALSE(reported);
    }
  }
}

TEST(Values, CheckAttribsStopsAtFirstBadValue) {
  CElement e = MakeElement("findtext", {{"matchcase", 6, false, {}, "true", ""},
                                        {"wholewords", 6, false, {}, "maybe yes", ""},
                                        {"count", 5, true, int32_t{3}, "", ""}});
  Checked r = Check(e);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.messages,
            std::vector<std::string>{"wholewords contains an invalid value in element findtext"});
  // The attribute after the bad one is neither checked nor defaulted.
  EXPECT_EQ(e.Attributes().Item("count")->Value(), "");
}

}  // namespace
}  // namespace tavjit
