// The property bag and the catalogue file: the byte format, loading what is
// there and keeping what was, and saving atomically.
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <chrono>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>

#include "catalogue/property_bag.h"
#include "catalogue/records.h"
#include "catalogue_test_util.h"

namespace tavjit {
namespace {

using testing_util::Block;
using testing_util::Entries;
using testing_util::SampleCatalogue;
namespace fs = std::filesystem;

struct TempDir {
  std::string path;
  TempDir() {
    char tmpl[] = "/tmp/tavjit-cat-XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() { fs::remove_all(path); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
  size_t Count() const {
    return static_cast<size_t>(std::distance(fs::directory_iterator(path), fs::directory_iterator()));
  }
};

void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

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
  source.Item(1)->SetKey("K1");
  const std::string bytes = source.SaveBytes();

  CElements target;
  target.Add("old", "", false, "", false, false, "", "");
  target.LoadBytes(bytes);
  // Equal bytes mean equal stored properties, in the same order.
  ASSERT_EQ(target.SaveBytes(), bytes);
  for (const auto& e : target) {
    EXPECT_EQ(e->Key(), "");
    EXPECT_FALSE(e->Disabled() || e->IsComment());
  }
  EXPECT_EQ(target.Item(1)->ElementName(), "goto");
  EXPECT_EQ(target.Item("msgbox")->Attributes().Item(1)->DefaultValue(), Variant("ok"));
  EXPECT_EQ(target.Item("MSGBOX")->Attributes().Item("neg")->DefaultValue().type(),
            Variant::Type::Int);
}

// One element whose keys are all absent but for those given.
TEST(CatalogueFile, AbsentKeysAndConversions) {
  struct Case {
    Entries entries;
    std::function<void(const CElement&)> check;
  };
  auto attr = [](const CElement& e) { return e.Attributes().Item(1); };
  const Case cases[] = {
      {{{"ElementName1", Variant("x")}},
       [](const CElement& e) {
         EXPECT_EQ(e.ElementName(), "x");
         EXPECT_EQ(e.Description() + e.Parent() + e.Text() + e.Information(), "");
         EXPECT_FALSE(e.ContainsText() || e.TextRequired() || e.TextAllowMultiLine());
         EXPECT_EQ(e.Attributes().Count(), 0);
       }},
      {{{"AttribCount1", Variant(int32_t{1})}, {"AttribName1_1", Variant("a")}},
       [&](const CElement& e) {
         EXPECT_EQ(attr(e)->DataType(), 1);
         EXPECT_EQ(attr(e)->DefaultValue(), Variant(std::string()));
         EXPECT_FALSE(attr(e)->Required());
       }},
      // Keys are exact: wrong separator or case is another key.
      {{{"AttribCount1", Variant(int32_t{1})}, {"Type1_1", Variant(int32_t{5})},
        {"description1", Variant("d")}, {"ElementName01", Variant("z")}},
       [&](const CElement& e) {
         EXPECT_EQ(attr(e)->DataType(), 1);
         EXPECT_EQ(e.Description(), "");
         EXPECT_EQ(e.ElementName(), "");
       }},
      {{{"ElementName1", Variant(int32_t{5})}, {"ContainsText1", Variant(" TRUE ")},
        {"TextRequired1", Variant("yes")}, {"TextMultiLine1", Variant(2.5)}},
       [](const CElement& e) {
         EXPECT_EQ(e.ElementName(), "5");
         EXPECT_TRUE(e.ContainsText());
         EXPECT_FALSE(e.TextRequired());
         EXPECT_TRUE(e.TextAllowMultiLine());
       }},
      // A Type that does not convert leaves the fresh 0, not the default 1.
      {{{"AttribCount1", Variant("2")}, {"Type1-1", Variant("x")}, {"Type1-2", Variant(2.5)},
        {"AttribName1_2", Variant("b")}, {"Required1_2", Variant(int32_t{-1})},
        {"DefaultValue1_2", Variant(false)}},
       [](const CElement& e) {
         ASSERT_EQ(e.Attributes().Count(), 2);
         EXPECT_EQ(e.Attributes().Item(1)->DataType(), 0);
         EXPECT_EQ(e.Attributes().Item(2)->DataType(), 2);
         EXPECT_TRUE(e.Attributes().Item(2)->Required());
         EXPECT_EQ(e.Attributes().Item(2)->DefaultValue(), Variant(false));
       }},
      {{{"AttribCount1", Variant(true)}},  // True is -1: no attributes
       [](const CElement& e) { EXPECT_EQ(e.Attributes().Count(), 0); }},
  };
  for (const Case& c : cases) {
    Entries entries = c.entries;
    entries.insert(entries.begin(), {"ElementCount", Variant("1")});
    CElements loaded = Loaded(Block(entries));
    ASSERT_EQ(loaded.Count(), 1);
    c.check(*loaded.Item(1));
  }
}

TEST(CatalogueFile, FirstOfDuplicateNamesStays) {
  CElements c = Loaded(Block({{"ElementCount", Variant(int32_t{4})},
                              {"ElementName1", Variant("Goto")},
                              {"AttribCount1", Variant(int32_t{2})},
                              {"AttribName1_1", Variant("é")},
                              {"AttribName1_2", Variant("É")},
                              {"ElementName2", Variant("GOTO")},
                              {"ElementName3", Variant("Straße")},
                              {"ElementName4", Variant("STRASSE")}}));
  ASSERT_EQ(c.Count(), 2);
  EXPECT_EQ(c.Item(1)->ElementName(), "Goto");
  EXPECT_EQ(c.Item(1)->Attributes().Count(), 1);
  EXPECT_EQ(c.Item(2)->ElementName(), "Straße");
}

TEST(CatalogueFile, ElementAndAttributeKeysNeverMeet) {
  CElements c;
  for (int i = 1; i <= 12; ++i)
    c.Add("e" + std::to_string(i), "element " + std::to_string(i), false, "", false, false, "", "");
  c.Item(1)->Attributes().Add("a", 1, "", "", false, Variant(), "first");
  c.Item(1)->Attributes().Add("b", 1, "", "", false, Variant(), "second");
  CElements back = Loaded(c.SaveBytes());
  EXPECT_EQ(back.Item(12)->Description(), "element 12");
  EXPECT_EQ(back.Item(1)->Attributes().Item(2)->Description(), "second");
}

TEST(CatalogueFile, FailedLoadsKeepEarlierCatalogue) {
  TempDir dir;
  const std::string good = SampleCatalogue().SaveBytes();
  WriteBytes(dir / "empty", "");
  WriteBytes(dir / "zero", Block({{"ElementCount", Variant(int32_t{0})}, {"ElementName1", Variant("x")}}));
  WriteBytes(dir / "nocount", Block({{"ElementName1", Variant("x")}}));
  WriteBytes(dir / "badcount", Block({{"ElementCount", Variant("many")}}));
  WriteBytes(dir / "json", "{\"elements\": []}");
  WriteBytes(dir / "truncated", good.substr(0, good.size() - 1));
  fs::create_directory(dir / "directory");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);  // must not block
  for (const char* name : {"missing", "empty", "zero", "nocount", "badcount", "json",
                           "truncated", "directory", "fifo"}) {
    CElements c = Loaded(good);
    c.LoadFile(dir / name);
    EXPECT_EQ(c.SaveBytes(), good) << name;
    EXPECT_EQ(c.FileName(), dir / name);
  }
}

TEST(CatalogueFile, GoodFileReplacesAndNegativeCountEmpties) {
  TempDir dir;
  WriteBytes(dir / "one", Block({{"ElementCount", Variant(int32_t{1})}, {"ElementName1", Variant("x")}}));
  WriteBytes(dir / "negative", Block({{"ElementCount", Variant(int32_t{-1})}, {"ElementName1", Variant("x")}}));
  CElements c = SampleCatalogue();
  c.LoadFile(dir / "one");
  ASSERT_EQ(c.Count(), 1);
  EXPECT_EQ(c.Item(1)->ElementName(), "x");
  c.LoadFile(dir / "negative");
  EXPECT_EQ(c.Count(), 0);
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
  const char* indices[] = {"1", "2", "3", "4", "6", "9", "0", "01", "-1", "+2"};
  const Variant values[] = {Variant("a"), Variant("A"), Variant(""), Variant("é"), Variant("É"),
                            Variant(int32_t{0}), Variant(int32_t{2}), Variant(int32_t{5}),
                            Variant(int32_t{-1}), Variant(INT32_MAX), Variant("3"), Variant(true),
                            Variant(1.5), Variant()};
  const Variant counts[] = {Variant(int32_t{-1}), Variant(int32_t{0}), Variant(int32_t{3}),
                            Variant(int32_t{7}), Variant("5"), Variant(INT32_MAX)};
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

TEST(CatalogueFile, SaveFileWritesWholeBlockUnderRememberedName) {
  TempDir dir;
  CElements c = SampleCatalogue();
  EXPECT_FALSE(c.SaveFile(""));  // no name given, none remembered
  EXPECT_EQ(dir.Count(), 0u);

  const std::string path = dir / "cat.bin";
  WriteBytes(path, "old content that is longer than nothing");
  ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
  c.LoadFile(dir / "missing");
  EXPECT_TRUE(c.SaveFile(path));
  EXPECT_EQ(ReadBytes(path), c.SaveBytes());
  struct stat st;
  ASSERT_EQ(::stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);

  c.LoadFile(path);
  c.Remove(1);
  EXPECT_TRUE(c.SaveFile(""));
  EXPECT_EQ(ReadBytes(path), c.SaveBytes());
  EXPECT_EQ(dir.Count(), 1u);  // no temporary file left behind

  fs::create_symlink(path, dir / "link");
  EXPECT_TRUE(SampleCatalogue().SaveFile(dir / "link"));
  EXPECT_TRUE(fs::is_symlink(dir / "link"));
  EXPECT_EQ(ReadBytes(path), SampleCatalogue().SaveBytes());
}

TEST(CatalogueFile, FailedSaveLeavesOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir / "cat.bin";
  WriteBytes(path, "old");
  fs::create_directory(dir / "sub");
  WriteBytes(dir / "sub/inside", "x");
  CElements c = SampleCatalogue();
  EXPECT_FALSE(c.SaveFile(dir / "sub"));
  EXPECT_FALSE(c.SaveFile(dir / "nowhere/cat.bin"));
  EXPECT_FALSE(c.SaveFile(dir.path + "/"));

  // A write that runs out of room: the file size limit stops it half way.
  struct rlimit old_limit;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = old_limit;
  small.rlim_cur = 16;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool saved = c.SaveFile(path);
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  ::signal(SIGXFSZ, old_handler);

  EXPECT_FALSE(saved);
  EXPECT_EQ(ReadBytes(path), "old");
  EXPECT_EQ(ReadBytes(dir / "sub/inside"), "x");
  EXPECT_EQ(dir.Count(), 2u);
}

}  // namespace
}  // namespace tavjit
