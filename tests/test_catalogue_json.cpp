// The JSON catalogue source: loading, its messages, and the round trip
// through a dump.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>

#include "catalogue/catalogue_json.h"
#include "catalogue_test_util.h"

namespace tavjit {
namespace {

using testing_util::SampleCatalogue;

CElements Load(const std::string& json) {
  CElements c;
  std::string error;
  EXPECT_TRUE(LoadCatalogueJson(json, c, &error)) << error;
  return c;
}

std::string Elements(const std::string& inner) { return "{\"elements\": [" + inner + "]}"; }

TEST(CatalogueJson, LoadsInOrderWithDefaultsForLeftOutKeys) {
  CElements c = Load(Elements(R"(
    {"name": "msgbox", "description": "d", "containstext": true, "textdescription": "td",
     "textrequired": true, "textmultiline": true, "parent": "p", "text": "t",
     "information": "i", "attributes": [
       {"name": "z", "type": 7, "required": true, "default": "ok", "value": "v",
        "arrayvalues": "ok|no", "description": "zd"},
       {"name": "a"}]},
    {"name": "goto"})"));
  ASSERT_EQ(c.Count(), 2);
  const CElement& m = *c.Item(1);
  EXPECT_EQ(m.ElementName() + m.Description() + m.TextDescription() + m.Parent() + m.Text() +
                m.Information(),
            "msgboxdtdpti");
  EXPECT_TRUE(m.ContainsText() && m.TextRequired() && m.TextAllowMultiLine());
  const CAttribute& z = *m.Attributes().Item(1);
  EXPECT_EQ(z.AttributeName() + z.Value() + z.ArrayValues() + z.Description(), "zvok|nozd");
  EXPECT_EQ(z.DataType(), 7);
  EXPECT_TRUE(z.Required());
  const CAttribute& a = *m.Attributes().Item(2);
  EXPECT_EQ(a.AttributeName(), "a");
  EXPECT_EQ(a.DataType(), 1);
  EXPECT_TRUE(a.DefaultValue().IsEmpty());
  EXPECT_FALSE(a.Required());
  const CElement& g = *c.Item(2);
  EXPECT_EQ(g.ElementName(), "goto");
  EXPECT_FALSE(g.ContainsText());
  EXPECT_EQ(g.Attributes().Count(), 0);
}

TEST(CatalogueJson, DefaultKeepsItsJsonType) {
  const struct {
    const char* json;
    Variant expected;
  } cases[] = {
      {"\"1\"", Variant("1")},         {"1", Variant(int32_t{1})},
      {"-2147483648", Variant(INT32_MIN)}, {"true", Variant(true)},
      {"1.0", Variant(1.0)},           {"-2.5e-3", Variant(-2.5e-3)},
      {"null", Variant()},
  };
  for (const auto& c : cases) {
    CElements loaded = Load(Elements(std::string(R"({"name": "e", "attributes": [{"name": "a", "default": )") +
                                     c.json + "}]}"));
    EXPECT_EQ(loaded.Item(1)->Attributes().Item(1)->DefaultValue(), c.expected) << c.json;
  }
}

TEST(CatalogueJson, ErrorsNameElementAndKey) {
  const struct {
    std::string json;
    std::vector<std::string> mentions;
  } cases[] = {
      {Elements(R"({"name": "goto", "colour": 1})"), {"element 1 \"goto\"", "\"colour\""}},
      {Elements(R"({"name": "a"}, {"name": "b", "containstext": "yes"})"),
       {"element 2 \"b\"", "\"containstext\""}},
      {Elements(R"({"description": "x"})"), {"element 1", "\"name\""}},
      {Elements(R"({"name": 5})"), {"element 1", "\"name\""}},
      {Elements(R"({"name": "e", "attributes": {}})"), {"element 1 \"e\"", "\"attributes\""}},
      {Elements(R"({"name": "e", "attributes": [{"name": "a", "type": 5.0}]})"),
       {"element 1 \"e\", attribute 1 \"a\"", "\"type\""}},
      {Elements(R"({"name": "e", "attributes": [{"name": "a", "type": 2147483648}]})"),
       {"attribute 1 \"a\"", "\"type\"", "range"}},
      {Elements(R"({"name": "e", "attributes": [{"name": "a", "default": -2147483649}]})"),
       {"attribute 1 \"a\"", "\"default\"", "range"}},
      {Elements(R"({"name": "e", "attributes": [{"name": "a", "default": [1]}]})"),
       {"attribute 1 \"a\"", "\"default\""}},
      {Elements(R"({"name": "e", "attributes": [{"name": "a"}, {"name": "b", "Value": ""}]})"),
       {"attribute 2 \"b\"", "\"Value\""}},
      {Elements(R"({"name": "Goto"}, {"name": "GOTO"})"),
       {"element 2 \"GOTO\"", "\"Goto\"", "duplicate"}},
      {Elements(R"({"name": "Straße"}, {"name": "STRASSE"})"), {"element 2", "duplicate"}},
      {Elements(R"({"name": "e", "attributes": [{"name": "é"}, {"name": "É"}]})"),
       {"element 1 \"e\", attribute 2", "duplicate"}},
      {Elements(R"({"name": "e", "text": "a", "text": "b"})"), {"element 1", "\"text\"", "twice"}},
      {R"({"elements": [], "extra": 1})", {"\"extra\""}},
      {R"({"element": []})", {"\"element\""}},
      {R"({})", {"\"elements\""}},
      {R"({"elements": [)", {"JSON"}},
  };
  for (const auto& c : cases) {
    CElements out = SampleCatalogue();
    std::string error;
    EXPECT_FALSE(LoadCatalogueJson(c.json, out, &error)) << c.json;
    EXPECT_EQ(out.Count(), 0);
    for (const std::string& m : c.mentions)
      EXPECT_NE(error.find(m), std::string::npos) << c.json << " -> " << error;
  }
}

TEST(CatalogueJson, DumpThenLoadGivesIdenticalFile) {
  CElements c = SampleCatalogue();
  // Doubles from random bit patterns must come back bit for bit.
  std::mt19937_64 rng(99);
  auto e = c.Add("doubles", "", false, "", false, false, "", "");
  for (int i = 0; i < 300; ++i) {
    uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    if (!std::isfinite(d)) continue;
    e->Attributes().Add("d" + std::to_string(i), 1, "", "", false, Variant(d), "");
  }
  e->Attributes().Add("negzero", 1, "", "", false, Variant(-0.0), "");
  const std::string bytes = c.SaveBytes();
  EXPECT_EQ(Load(DumpCatalogueJson(c)).SaveBytes(), bytes);
  EXPECT_EQ(Load(DumpCatalogueJson(Load(DumpCatalogueJson(c)))).SaveBytes(), bytes);

  std::ifstream in(TAVJIT_SOURCE_DIR "/src/catalogue/default_catalogue.json");
  CElements shipped = Load(std::string(std::istreambuf_iterator<char>(in), {}));
  EXPECT_GT(shipped.Count(), 0);
  EXPECT_EQ(Load(DumpCatalogueJson(shipped)).SaveBytes(), shipped.SaveBytes());
}

TEST(CatalogueJson, IsCatalogueFileChecksMagic) {
  EXPECT_TRUE(IsCatalogueFile(SampleCatalogue().SaveBytes()));
  EXPECT_TRUE(IsCatalogueFile(CElements().SaveBytes()));
  EXPECT_FALSE(IsCatalogueFile(DumpCatalogueJson(SampleCatalogue())));
  EXPECT_FALSE(IsCatalogueFile("TAVCAT"));
}

}  // namespace
}  // namespace tavjit
