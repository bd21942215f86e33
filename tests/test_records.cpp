// The records and their keyed collections.
#include <gtest/gtest.h>

#include "catalogue/records.h"

namespace tavjit {
namespace {

CAttributes::Ptr AddAttr(CAttributes& attrs, const std::string& name, std::string value = "") {
  return attrs.Add(name, 1, std::move(value), "", false, Variant(), "");
}

TEST(Records, ItemByPositionOrKeyAndRemoveShifts) {
  CAttributes attrs;
  auto a = AddAttr(attrs, "alpha"), b = AddAttr(attrs, "beta"), c = AddAttr(attrs, "gamma");
  EXPECT_EQ(attrs.Item(1), a);
  EXPECT_EQ(attrs.Item("Beta"), b);
  EXPECT_EQ(attrs.Item("GAMMA"), c);
  for (int32_t bad : {0, 4, -1}) EXPECT_THROW(attrs.Item(bad), CollectionError) << bad;
  EXPECT_THROW(attrs.Item("delta"), CollectionError);
  EXPECT_THROW(attrs.Remove(4), CollectionError);
  attrs.Remove(1);
  EXPECT_EQ(attrs.Item(1), b);
  EXPECT_EQ(attrs.Item(2), c);
  EXPECT_THROW(attrs.Item("alpha"), CollectionError);
  attrs.Remove("Gamma");
  EXPECT_EQ(attrs.Count(), 1);
  EXPECT_EQ(attrs.Item("beta"), b);  // the index follows the shift
}

TEST(Records, DigitTextIsAKeyNotAPosition) {
  CVariables vars;
  vars.Add("x", false);
  auto two = vars.Add("2", true);
  EXPECT_EQ(vars.Item("2"), two);
  EXPECT_EQ(vars.Item(2), two);
  EXPECT_EQ(vars.Item(1)->VarName(), "x");
  EXPECT_THROW(vars.Item("1"), CollectionError);
}

TEST(Records, KeysIgnoreCase) {
  const struct {
    const char* first;
    const char* second;
    bool same;
  } cases[] = {
      {"name", "NAME", true},   {"Straße", "STRASSE", true}, {"É", "é", true},
      {"Σίσυφος", "ΣΊΣΥΦΟΣ", true}, {"e", "é", false},         {"a", "a ", false},
  };
  for (const auto& c : cases) {
    CVariables vars;
    vars.Add(c.first, false);
    if (c.same) {
      EXPECT_THROW(vars.Add(c.second, true), CollectionError) << c.second;
      EXPECT_EQ(vars.Count(), 1);
      EXPECT_EQ(vars.Item(c.second)->VarName(), c.first);
    } else {
      EXPECT_NO_THROW(vars.Add(c.second, true)) << c.second;
      EXPECT_EQ(vars.Count(), 2);
    }
    // Element keys are the upper-cased name, and still meet every case form.
    CElements elements;
    elements.Add(c.first, "", false, "", false, false, "", "");
    EXPECT_EQ(elements.Find(c.second) != nullptr, c.same) << c.second;
  }
}

TEST(Records, ItemSharesTheRecordAndFreshValuesHold) {
  CElements elements;
  auto e = elements.Add("var", "", false, "", false, false, "", "");
  EXPECT_EQ(e->Key(), "");
  EXPECT_EQ(e->Attributes().Count(), 0);
  AddAttr(e->Attributes(), "name");
  elements.Item("VAR")->Attributes().Item("NAME")->SetValue("v");
  EXPECT_EQ(e->Attributes().Item(1)->Value(), "v");
  EXPECT_EQ(CAttribute().DefaultValue().ToText(), "");
  EXPECT_EQ(CAttribute().DataType(), 0);
}

TEST(Records, AddObjectCopiesUnderTheRightKey) {
  CElement source;
  source.SetElementName("msgbox");
  source.SetIsComment(true);
  source.SetDisabled(true);
  source.SetInformation("i");
  source.Attributes().Add("n", 5, "1", "", true, Variant(int32_t{3}), "");

  CElements list;
  list.AddObject(source, "");
  EXPECT_EQ(list.Item("MSGBOX")->Key(), "");
  EXPECT_THROW(list.AddObject(source, ""), CollectionError);
  list.AddObject(source, "K1");
  const CElement& copy = *list.Item("k1");
  EXPECT_EQ(copy.Key(), "K1");
  EXPECT_TRUE(copy.IsComment() && copy.Disabled());
  EXPECT_EQ(copy.Information(), "i");
  EXPECT_EQ(copy.Attributes().Item("N")->DefaultValue(), Variant(int32_t{3}));

  source.Attributes().Item(1)->SetValue("changed");
  EXPECT_EQ(copy.Attributes().Item(1)->Value(), "1");
  source.SetKey("K2");
  list.AddObject(source, "");  // the source's own key
  EXPECT_EQ(list.Item("K2")->Key(), "K2");
  EXPECT_THROW(list.AddObject(source, ""), CollectionError);
  EXPECT_EQ(list.Count(), 3);
}

TEST(Records, GetVariableNames) {
  CElements list;
  EXPECT_TRUE(list.GetVariableNames().empty());
  auto add = [&](const std::string& tag, const std::string& name) {
    CElement e;
    e.SetElementName(tag);
    AddAttr(e.Attributes(), "name", name);
    list.AddObject(e, "K" + std::to_string(list.Count() + 1));
  };
  for (int i = 1; i <= 101; ++i) add("var", "v" + std::to_string(i));
  add("var", "");       // empty names are skipped
  add("Var", "upper");  // the tag is compared exactly
  add("range", "r");
  add("var", "v1");  // repeats are kept
  std::vector<std::string> names = list.GetVariableNames();
  ASSERT_EQ(names.size(), 102u);
  EXPECT_EQ(names[0], "v1");
  EXPECT_EQ(names[100], "v101");
  EXPECT_EQ(names[101], "v1");
  EXPECT_EQ(list.GetVariableNames(true), std::vector<std::string>{"r"});

  CElement nameless;
  nameless.SetElementName("range");
  list.AddObject(nameless, "K999");
  EXPECT_THROW(list.GetVariableNames(true), CollectionError);
}

TEST(Records, ClearEmptiesButHeldRecordsLive) {
  CElements list;
  list.Clear();
  auto e = list.Add("if", "", false, "", false, false, "", "");
  list.Add("endif", "", false, "", false, false, "", "");
  int seen = 0;
  for (const auto& r : list) seen += r->ElementName() == (seen == 0 ? "if" : "endif");
  EXPECT_EQ(seen, 2);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(e->ElementName(), "if");
  EXPECT_TRUE(list.begin() == list.end());
  list.Add("IF", "", false, "", false, false, "", "");  // its key is free again
}

}  // namespace
}  // namespace tavjit
