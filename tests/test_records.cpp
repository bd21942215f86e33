// The keyed collections: positions, keys without regard to case, failures
// the callers rely on, and copies that share nothing.
#include <gtest/gtest.h>

#include "catalogue/records.h"

namespace tavjit {
namespace {

TEST(Records, PositionsKeysAndRemoval) {
  CVariables vars;
  auto x = vars.Add("x", false), two = vars.Add("2", true), y = vars.Add("Straße", false);
  EXPECT_EQ(vars.Item(1), x);
  EXPECT_EQ(vars.Item("2"), two);  // digits are a key, not a position
  EXPECT_THROW(vars.Item("1"), CollectionError);
  EXPECT_EQ(vars.Item("STRASSE"), y);
  for (int32_t bad : {0, 4, -1}) EXPECT_THROW(vars.Item(bad), CollectionError) << bad;
  EXPECT_THROW(vars.Add("X", true), CollectionError);
  EXPECT_THROW(vars.Remove(4), CollectionError);
  vars.Remove(1);
  EXPECT_EQ(vars.Item(1), two);
  vars.Remove("strasse");
  EXPECT_EQ(vars.Count(), 1);
  EXPECT_EQ(vars.Item("2"), two);  // the index follows the shift
  EXPECT_TRUE(vars.TryAdd("x", true));
}

TEST(Records, KeysIgnoreCase) {
  const struct {
    const char* first;
    const char* second;
    bool same;
  } cases[] = {
      {"name", "NAME", true},   {"Straße", "STRASSE", true}, {"É", "é", true},
      {"Σίσυφος", "ΣΊΣΥΦΟΣ", true}, {"𐐀", "𐐨", true},           {"e", "é", false},
      {"a", "a ", false},
  };
  for (const auto& c : cases) {
    CVariables vars;
    vars.Add(c.first, false);
    EXPECT_EQ(vars.TryAdd(c.second, true) == nullptr, c.same) << c.second;
    // Element keys are the upper-cased name, and still meet every case form.
    CElements elements;
    elements.Add(c.first, "", false, "", false, false, "", "");
    EXPECT_EQ(elements.Find(c.second) != nullptr, c.same) << c.second;
  }
}

TEST(Records, AddObjectFilesAnIndependentCopy) {
  CElement source;
  source.SetElementName("var");
  source.SetIsComment(true);
  source.Attributes().Add("name", 8, "v", "", true, Variant(int32_t{3}), "");
  CElements list;
  list.AddObject(source, "");
  EXPECT_THROW(list.AddObject(source, ""), CollectionError);  // under VAR again
  list.AddObject(source, "K1");
  const CElement& copy = *list.Item("k1");
  EXPECT_EQ(copy.Key(), "K1");
  EXPECT_TRUE(copy.IsComment());
  EXPECT_EQ(copy.Attributes().Item("NAME")->DefaultValue(), Variant(int32_t{3}));
  source.Attributes().Item(1)->SetValue("changed");
  EXPECT_EQ(copy.Attributes().Item(1)->Value(), "v");
  source.SetKey("K2");
  list.AddObject(source, "");  // the source's own key
  EXPECT_EQ(list.Item("K2")->Key(), "K2");
  EXPECT_EQ(list.GetVariableNames(), (std::vector<std::string>{"v", "v", "changed"}));
  EXPECT_TRUE(list.GetVariableNames(true).empty());
}

}  // namespace
}  // namespace tavjit
