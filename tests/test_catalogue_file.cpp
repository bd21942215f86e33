// The property bag and the catalogue file: the byte format, loading what is
// there and keeping what was, and saving atomically.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <iterator>
#include <random>

#include "catalogue/property_bag.h"
#include "catalogue/records.h"
#include "catalogue_test_util.h"
#include "test_support.h"

namespace tavjit {
namespace {

using testing_util::Block;
using testing_util::Entries;
using testing_util::SampleCatalogue;
using tavtest::ReadFile;
using tavtest::TempDir;
namespace fs = std::filesystem;

CElements Loaded(const std::string& bytes) {
  CElements c;
  c.LoadBytes(bytes);
  return c;
}

// The loading rules applied literally, every index from 1 to the count: the
// reference for the loader, which visits only the indices that matter. Counts
// are capped at `cap`, above every index the test bags name.
void LiteralLoad(const std::string& bytes, CElements& out, int32_t cap = INT32_MAX) {
  PropertyBag bag;
  if (!bag.SetContents(bytes)) return;
  const int32_t n = bag.ReadProperty("ElementCount", int32_t{0}).ToInt32().value_or(0);
  if (n == 0) return;
  out.Clear();
  for (int32_t i = 1; i <= std::min(n, cap); ++i) {
    const std::string is = std::to_string(i);
    auto text = [&](const std::string& k) { return bag.ReadProperty(k, std::string()).ToText(); };
    auto truth = [&](const std::string& k) {
      return bag.ReadProperty(k, false).ToBool().value_or(false);
    };
    auto e = std::make_shared<CElement>();
    e->SetContainsText(truth("ContainsText" + is));
    e->SetDescription(text("Description" + is));
    e->SetElementName(text("ElementName" + is));
    e->SetParent(text("Parent" + is));
    e->SetText(text("Text" + is));
    e->SetTextAllowMultiLine(truth("TextMultiLine" + is));
    e->SetTextRequired(truth("TextRequired" + is));
    e->SetTextDescription(text("TextDescription" + is));
    e->SetInformation(text("Information" + is));
    const int32_t m = bag.ReadProperty("AttribCount" + is, int32_t{0}).ToInt32().value_or(0);
    for (int32_t j = 1; j <= std::min(m, cap); ++j) {
      const std::string u = is + "_" + std::to_string(j);
      try {
        e->Attributes().Add(
            text("AttribName" + u),
            bag.ReadProperty("Type" + is + "-" + std::to_string(j), int32_t{1}).ToInt32().value_or(0),
            text("Value" + u), text("ArrayValues" + u), truth("Required" + u),
            bag.ReadProperty("DefaultValue" + u, std::string()), text("Description" + u));
      } catch (const CollectionError&) {
      }
    }
    if (!out.Find(UpperKey(e->ElementName()))) out.AddObject(*e, "");
  }
}

TEST(CatalogueBag, EncodingIsFixed) {
  PropertyBag bag;
  bag.WriteProperty("A", Variant(int32_t{-2}), Variant());
  bag.WriteProperty("", Variant(), Variant());
  bag.WriteProperty("A", Variant(int32_t{258}), Variant());  // replaced in place
  bag.WriteProperty("t", Variant("hé"), Variant());
  bag.WriteProperty("b", Variant(true), Variant());
  bag.WriteProperty("d", Variant(1.0), Variant());
  static const char kExpected[] =
      "TAVCAT\x1A\n" "\x01\0\0\0" "\x05\0\0\0"
      "\x01\0\0\0" "A" "\x02" "\x02\x01\0\0"
      "\0\0\0\0" "\x00"
      "\x01\0\0\0" "t" "\x01" "\x03\0\0\0" "h\xC3\xA9"
      "\x01\0\0\0" "b" "\x03" "\x01"
      "\x01\0\0\0" "d" "\x04" "\0\0\0\0\0\0\xF0\x3F";
  const std::string expected(kExpected, sizeof kExpected - 1);
  EXPECT_EQ(bag.Contents(), expected);

  PropertyBag back;
  ASSERT_TRUE(back.SetContents(expected));
  EXPECT_EQ(back.Contents(), expected);
  // A stored Empty is present; an absent key gives the default.
  EXPECT_EQ(back.ReadProperty("", Variant(7.0)), Variant());
  EXPECT_EQ(back.ReadProperty("a", Variant(7.0)), Variant(7.0));
  EXPECT_EQ(back.ReadProperty("A", Variant()), Variant(int32_t{258}));
}

TEST(CatalogueBag, RejectsMalformedBlocksAndKeepsContents) {
  const std::string good = Block({{"k", Variant(true)}});
  std::string dup = Block({{"k", Variant(true)}, {"j", Variant(true)}});
  dup[dup.size() - 3] = 'k';
  std::string bad_bool = good;
  bad_bool.back() = 2;
  std::string version = good;
  version[8] = 2;
  std::string huge_count = good;
  huge_count[12] = '\xFF';
  const std::string cases[] = {"", good.substr(0, 15), good + '\0', dup, bad_bool, version,
                               huge_count, "TAVCAT\x1A\r" + good.substr(8)};
  for (const std::string& c : cases) {
    PropertyBag bag;
    ASSERT_TRUE(bag.SetContents(good));
    EXPECT_FALSE(bag.SetContents(c)) << ::testing::PrintToString(c);
    EXPECT_EQ(bag.Contents(), good);
  }
}

TEST(CatalogueFile, RoundTripKeepsStoredPropertiesOnly) {
  CElements source = SampleCatalogue();
  source.Item(1)->SetDisabled(true);
  source.Item(1)->SetIsComment(true);
  const std::string bytes = source.SaveBytes();
  CElements target = Loaded(Block({{"ElementCount", Variant(int32_t{1})}}));
  EXPECT_EQ(target.LoadBytes(bytes), LoadOutcome::kLoaded);
  // Equal bytes mean equal stored properties, in the same order.
  ASSERT_EQ(target.SaveBytes(), bytes);
  EXPECT_FALSE(target.Item(1)->Disabled() || target.Item(1)->IsComment());
  EXPECT_EQ(target.Item("MSGBOX")->Attributes().Item("neg")->DefaultValue(),
            Variant(int32_t{-7}));
}

// Stored values keep their type; each reader converts as a catalogue file
// needs it, the same under any locale.
TEST(CatalogueFile, ValuesConvertWhereRead) {
  const struct {
    Variant v;
    std::string text;
    std::optional<int32_t> whole;
    std::optional<bool> truth;
  } cases[] = {
      {Variant(), "", 0, false},
      {Variant(int32_t{-7}), "-7", -7, true},
      {Variant(true), "True", -1, true},
      {Variant(false), "False", 0, false},
      {Variant(2.5), "2.5", 2, true},  // whole numbers round half to even
      {Variant(-3.5), "-3.5", -4, true},
      {Variant(0.0), "0", 0, false},
      {Variant(1.5e20), "1.5E+20", std::nullopt, true},
      {Variant(-1.25e-7), "-1.25E-7", 0, true},
      {Variant(0.1 + 0.2), "0.3", 0, true},
      {Variant(" TRUE "), " TRUE ", std::nullopt, true},
      {Variant("False"), "False", std::nullopt, false},
      {Variant(" 9.7 "), " 9.7 ", 10, true},
      {Variant("-.5e+1"), "-.5e+1", -5, true},
      {Variant("0"), "0", 0, false},
      {Variant("2147483648"), "2147483648", std::nullopt, true},
      {Variant("yes"), "yes", std::nullopt, std::nullopt},
      {Variant("1e"), "1e", std::nullopt, std::nullopt},
      {Variant("1e999"), "1e999", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.v.ToText(), c.text);
    EXPECT_EQ(c.v.ToInt32(), c.whole);
    EXPECT_EQ(c.v.ToBool(), c.truth);
  }
  // A number read from a view stops at the view's end.
  EXPECT_EQ(ParseNumber(std::string_view("1e59", 3)), 1e5);
  EXPECT_EQ(ParseNumber(std::string_view("1.59", 3)), 1.5);
}

// What each file does to a loaded catalogue: only a good one replaces it,
// and one that holds fewer than no elements empties it.
TEST(CatalogueFile, OnlyAGoodFileReplacesTheCatalogue) {
  TempDir dir;
  const std::string good = SampleCatalogue().SaveBytes();
  const std::string one = Block({{"ElementCount", Variant(int32_t{1})}, {"ElementName1", Variant("x")}});
  const struct {
    const char* name;
    std::string bytes;
    LoadOutcome outcome;
    int32_t count;  // elements afterwards
  } cases[] = {
      {"missing", "", LoadOutcome::kMissing, 3},
      {"directory", "", LoadOutcome::kMissing, 3},
      {"fifo", "", LoadOutcome::kUnreadable, 3},  // must not block
      {"empty", "", LoadOutcome::kNotCatalogue, 3},
      {"json", "{\"elements\": []}", LoadOutcome::kNotCatalogue, 3},
      {"truncated", good.substr(0, good.size() - 1), LoadOutcome::kNotCatalogue, 3},
      {"zero", Block({{"ElementCount", Variant(int32_t{0})}, {"ElementName1", Variant("x")}}),
       LoadOutcome::kNoElements, 3},
      {"nocount", Block({{"ElementName1", Variant("x")}}), LoadOutcome::kNoElements, 3},
      {"badcount", Block({{"ElementCount", Variant("many")}}), LoadOutcome::kNoElements, 3},
      {"negative", Block({{"ElementCount", Variant(int32_t{-1})}, {"ElementName1", Variant("x")}}),
       LoadOutcome::kNoElements, 0},
      {"one", one, LoadOutcome::kLoaded, 1},
  };
  fs::create_directory(dir.path() / "directory");
  ASSERT_EQ(::mkfifo((dir.path() / "fifo").c_str(), 0600), 0);
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = (dir.path() / c.name).string();
    if (!fs::exists(path) && std::string(c.name) != "missing") dir.Write(c.name, c.bytes);
    CElements catalogue = Loaded(good);
    EXPECT_EQ(catalogue.LoadFile(path), c.outcome);
    EXPECT_EQ(catalogue.FileName(), path);
    EXPECT_EQ(catalogue.Count(), c.count);
    if (c.count == 3) EXPECT_EQ(catalogue.SaveBytes(), good);
  }
}

// Unnamed indices all read as an element (or attribute) named "", which only
// the first of them can file.
TEST(CatalogueFile, HugeCountsLoadOnlyWhatIsPresent) {
  const std::string bytes = Block({{"ElementCount", Variant(INT32_MAX)},
                                   {"ElementName1", Variant("a")},
                                   {"ElementName3", Variant("b")},
                                   {"AttribCount3", Variant(INT32_MAX)},
                                   {"AttribName3_2", Variant("x")},
                                   {"Type3-5", Variant(int32_t{6})},
                                   {"ElementName" + std::to_string(INT32_MAX), Variant("last")}});
  const auto start = std::chrono::steady_clock::now();
  CElements c = Loaded(bytes);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  ASSERT_EQ(c.Count(), 4);
  EXPECT_EQ(c.Item(2)->ElementName(), "");
  EXPECT_EQ(c.Item(4)->ElementName(), "last");
  const CAttributes& attrs = c.Item(3)->Attributes();
  ASSERT_EQ(attrs.Count(), 2);
  EXPECT_EQ(attrs.Item(1)->AttributeName(), "");
  EXPECT_EQ(attrs.Item(1)->DataType(), 1);
  EXPECT_EQ(attrs.Item(2)->AttributeName(), "x");
}

TEST(CatalogueFile, BoundedLoadMatchesLiteralLoop) {
  std::mt19937 rng(20240611);
  auto pick = [&](auto const& list) { return list[rng() % std::size(list)]; };
  const char* element_stems[] = {"ContainsText", "Description", "ElementName", "Parent", "Text",
                                 "TextMultiLine", "TextRequired", "TextDescription",
                                 "Information", "AttribCount"};
  const char* attrib_stems[] = {"AttribName_", "Type-", "Type_", "DefaultValue_", "Description_",
                                "Required_", "Value_", "ArrayValues_"};
  const char* indices[] = {"1", "2", "3", "4", "6", "9", "12", "0", "01", "-1", "+2"};
  const Variant values[] = {Variant("a"), Variant("A"), Variant(""), Variant("é"), Variant("É"),
                            Variant(int32_t{0}), Variant(int32_t{2}), Variant(int32_t{5}),
                            Variant(int32_t{-1}), Variant(INT32_MAX), Variant("3"), Variant(true),
                            Variant(1.5), Variant(" TRUE "), Variant("yes"), Variant()};
  const Variant counts[] = {Variant(int32_t{-1}), Variant(int32_t{0}), Variant(int32_t{3}),
                            Variant(int32_t{13}), Variant("5"), Variant(true), Variant(INT32_MAX)};
  for (int round = 0; round < 1000; ++round) {
    Entries entries{{"ElementCount", pick(counts)}};
    for (int k = rng() % 16; k > 0; --k) {
      std::string key;
      if (rng() % 2) {
        key = std::string(pick(element_stems)) + pick(indices);
      } else {
        std::string s = pick(attrib_stems);
        key = s.substr(0, s.size() - 1) + pick(indices) + s.back() + pick(indices);
      }
      entries.emplace_back(key, key.starts_with("AttribCount") ? pick(counts) : pick(values));
    }
    const std::string bytes = Block(entries);
    CElements bounded = SampleCatalogue(), literal = SampleCatalogue();
    bounded.LoadBytes(bytes);
    LiteralLoad(bytes, literal, 20);
    ASSERT_EQ(bounded.SaveBytes(), literal.SaveBytes()) << "round " << round;
  }
}

TEST(CatalogueFile, DamagedBlocksNeverCrash) {
  CElements small;
  auto e = small.Add("e", "", true, "", false, false, "", "");
  e->Attributes().Add("a", 5, "", "", true, Variant(int32_t{1}), "");
  e->Attributes().Add("b", 1, "v", "", false, Variant(0.5), "");
  small.Add("f", "", false, "", false, false, "", "");
  const std::string good = small.SaveBytes();
  const std::string before = Block({{"ElementCount", Variant(int32_t{1})}, {"ElementName1", Variant("keep")}});
  const std::string kept = Loaded(before).SaveBytes();
  for (size_t len = 0; len < good.size(); ++len) {
    CElements c = Loaded(before);
    c.LoadBytes(good.substr(0, len));
    ASSERT_EQ(c.SaveBytes(), kept) << "truncated to " << len;
  }
  // Flipped bytes may still form a bag; whatever loads must match the rules.
  std::mt19937 rng(7);
  for (size_t pos = 0; pos < good.size(); ++pos) {
    const unsigned masks[] = {0x01, 0xFF, static_cast<unsigned>(rng() & 0xFF) | 1};
    for (unsigned mask : masks) {
      std::string bad = good;
      bad[pos] = static_cast<char>(bad[pos] ^ mask);
      CElements bounded = Loaded(before), literal = Loaded(before);
      bounded.LoadBytes(bad);
      LiteralLoad(bad, literal, 12);
      ASSERT_EQ(bounded.SaveBytes(), literal.SaveBytes()) << "byte " << pos;
    }
  }
}

size_t FilesIn(const fs::path& dir) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

// Written whole under the name given or the one LoadFile was given, mode
// and links kept; a name that cannot be written fails and changes nothing.
// (A write cut short is tests/test_nothing_lost.cpp's.)
TEST(CatalogueFile, SaveFileWritesWholeBlockUnderRememberedName) {
  TempDir dir;
  CElements c = SampleCatalogue();
  EXPECT_FALSE(c.SaveFile(""));  // no name given, none remembered
  EXPECT_EQ(FilesIn(dir.path()), 0u);

  const std::string path = dir.Write("cat.bin", "old content that is longer than nothing");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  fs::create_directory(dir.path() / "sub");
  for (const char* name : {"sub", "nowhere/cat.bin", ""})
    EXPECT_FALSE(c.SaveFile((dir.path() / name).string())) << name;
  c.LoadFile((dir.path() / "missing").string());
  EXPECT_TRUE(c.SaveFile(path));
  EXPECT_EQ(ReadFile(path), c.SaveBytes());
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  c.LoadFile(path);
  c.Remove("goto");
  EXPECT_TRUE(c.SaveFile(""));
  EXPECT_EQ(ReadFile(path), c.SaveBytes());
  EXPECT_EQ(FilesIn(dir.path()), 2u);  // no temporary file left behind

  fs::create_symlink(path, dir.path() / "link");
  EXPECT_TRUE(SampleCatalogue().SaveFile((dir.path() / "link").string()));
  EXPECT_TRUE(fs::is_symlink(dir.path() / "link"));
  EXPECT_EQ(ReadFile(path), SampleCatalogue().SaveBytes());
}

}  // namespace
}  // namespace tavjit
