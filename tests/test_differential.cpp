// The library's compile strategy against the literal reference, on seeded
// random catalogues and documents: same result, Text, ErrMsg, events in
// order, and catalogue afterwards, over several compiles on one instance.
// TAVJIT_DIFF_RUNS sets the number of seeds (bench/differential runs many).
#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "catalogue/default_catalogue.h"
#include "document_mix.h"
#include "compiler/decode.h"
#include "compiler/tavjit_impl.h"
#include "generator/literal.h"
#include "generator/splice.h"
#include "reference/reference_compiler.h"
#include "support/text.h"

using namespace tavjit;

namespace {

class Gen {
 public:
  explicit Gen(uint32_t seed) : rng_(seed) {}
  int Pick(int n) { return static_cast<int>(rng_() % static_cast<uint32_t>(n)); }
  bool Chance(int percent) { return Pick(100) < percent; }
  template <class T, size_t N>
  const T& OneOf(const T (&items)[N]) { return items[Pick(static_cast<int>(N))]; }

  // The built-in catalogue with random changes to kinds, flags and defaults.
  std::string Catalogue() {
    CElements cat;
    cat.LoadBytes(DefaultCatalogueBytes());
    static const char* const kDefaults[] = {"", "1", "%%", "%n%", "x", "true", "%", " 2 ", "a|b"};
    static const int kTypes[] = {1, 5, 6, 7, 8, 0};
    for (const auto& e : cat) {
      if (e->ElementName() == "endif" || e->ElementName() == "endloop") continue;
      for (const auto& a : e->Attributes()) {
        if (Chance(25)) a->SetDataType(OneOf(kTypes));
        if (Chance(25)) a->SetRequired(!a->Required());
        if (Chance(20)) a->SetDefaultValue(Variant(std::string(OneOf(kDefaults))));
        if (Chance(5)) a->SetDefaultValue(Variant(int32_t{Pick(5)}));
        if (Chance(10)) a->SetArrayValues("a|B|c");
        if (Chance(5)) a->SetValue(OneOf(kDefaults));
      }
    }
    if (Chance(10)) cat.Remove("endif");
    if (Chance(10)) cat.Remove("endloop");
    return cat.SaveBytes();
  }

  std::string Value() {
    static const char* const kValues[] = {
        "",      "1",        " 7 ",     "-2.5e3",   "%n%",       " %x% ", "%%",   "%",
        " % ",   "abc",      "1abc",    "true",     "FALSE",     "true|false", "a|b", "x y",
        "B",     "n",        "%N%",     "%r.startlineno%", "docs.activedocument", "&amp;lt;",
        "a&#10;b", "&quot;q&quot;", "%r%", "%%", " %% ", "%%"};
    return OneOf(kValues);
  }

  std::string Text() {
    static const char* const kTexts[] = {
        "",        "3",     "Hello %n%!",    "say \"hi\"",  "a&#10;b",   "line1\nline2",
        "  x = 1", "%x%%n%", "%R.EndColNo% and %r.columnsel%", "docs.ActiveDocument.Cut",
        "1.5",     "%Ｋ%", "a%n%b%x%c", "&amp;#160;", "%x%n%", "%n%x%", "%r%x%",
        "%r.startlineno%n%", "%N%%x%n%"};
    return OneOf(kTexts);
  }

  std::string Name() {
    static const char* const kNames[] = {"n", "x", "r", "N", "v1", "", " r", "a%b", "x y", "k",
                                         "x", "n"};
    return OneOf(kNames);
  }

  void Element(std::string* out, int depth) {
    static const char* const kCommon[] = {
        "var",     "var",       "range",      "setrange",   "set",      "inserttext", "goto",
        "msgbox",  "findtext",  "outputaddtext", "getline", "shortexpression", "vbscript",
        "cut",     "opendoc",   "printdoc",   "encloselines", "shell",  "else",       "breakloop",
        "endif",   "Msgbox",    "unknown",    "IF",         "choicedlg", "outputgetline"};
    std::string name = Chance(12) && depth < 4 ? (Chance(50) ? "if" : "loop") : OneOf(kCommon);
    *out += "<" + name;
    static const char* const kAttrs[] = {"name", "variable", "line", "expression", "statement",
                                         "matchcase", "wholewords", "buttons", "filename",
                                         "showdialog", "startlineno", "columnsel", "bogus",
                                         "range", "afterindent", "Line"};
    std::vector<std::string> used;
    int attrs = Pick(4);
    for (int i = 0; i < attrs; ++i) {
      std::string a = OneOf(kAttrs);
      if (std::find(used.begin(), used.end(), a) != used.end()) continue;
      used.push_back(a);
      std::string v = (a == "name" || a == "variable") && Chance(60) ? Name() : Value();
      *out += " " + a + "=\"" + Escape(v) + "\"";
    }
    bool container = name == "if" || name == "loop";
    if (!container && Chance(40)) {
      *out += ">" + Text() + "</" + name + ">";
      return;
    }
    if (!container) {
      *out += Chance(10) ? "> </" + name + ">" : "/>";
      return;
    }
    *out += ">";
    int children = Pick(5);
    for (int i = 0; i < children; ++i) Element(out, depth + 1);
    *out += "</" + name + ">";
  }

  std::string Document() {
    std::string body;
    int n = 1 + Pick(12);
    for (int i = 0; i < n; ++i) {
      Element(&body, 0);
      if (Chance(20)) body += "<!-- c -->";
      if (Chance(20)) body += "\n  ";
    }
    std::string head = Chance(10) ? "<tavhead><extra/></tavhead>" : "<tavhead><version/></tavhead>";
    return "<tav version=\"1.0\" edition=\"korvane\">" + head + "<tavbody>" + body +
           "</tavbody></tav>";
  }

 private:
  static std::string Escape(const std::string& v) {
    std::string out;
    for (char c : v) {
      if (c == '"')
        out += "&quot;";
      else if (c == '<')
        out += "&lt;";
      else
        out += c;
    }
    return out;
  }
  std::mt19937 rng_;
};

int Runs() {
  const char* env = std::getenv("TAVJIT_DIFF_RUNS");
  return env ? std::atoi(env) : 400;
}

// Compiles the documents one after another on one instance of the library
// and of the reference (values carry over between them), and compares
// everything after each.
void ExpectSameAsReference(const std::string& catalogue, const std::vector<std::string>& docs,
                           const std::string& trace) {
  detail::Impl lib;
  lib.catalogue.LoadBytes(catalogue);
  lib.initialised = true;
  std::vector<tavref::Event> lib_events;
  lib.error_handlers.push_back(
      [&](const std::string& m) { lib_events.push_back({true, m, lib.CurrentText()}); });
  lib.warning_handlers.push_back(
      [&](const std::string& m) { lib_events.push_back({false, m, lib.CurrentText()}); });
  tavref::ReferenceCompiler ref(catalogue);
  for (size_t doc_no = 0; doc_no < docs.size(); ++doc_no) {
    const std::string& doc = docs[doc_no];
    SCOPED_TRACE(trace + " document " + std::to_string(doc_no) + ": " + doc);
    lib_events.clear();
    ref.ClearEvents();
    lib.err_msg.clear();
    const bool lib_result = lib.Compile(doc);
    const bool ref_result = ref.Compile(doc);
    ASSERT_EQ(lib_result, ref_result);
    ASSERT_EQ(lib.text, ref.Text());
    ASSERT_EQ(lib.err_msg, ref.ErrMsg());
    ASSERT_EQ(lib_events, ref.Events());
    ASSERT_EQ(lib.catalogue.SaveBytes(), ref.Catalogue().SaveBytes());
  }
}

TEST(Differential, LibraryMatchesTheLiteralReference) {
  const int runs = Runs();
  for (int seed = 1; seed <= runs; ++seed) {
    Gen gen(static_cast<uint32_t>(seed));
    const std::string catalogue = gen.Catalogue();
    std::vector<std::string> docs;
    for (int i = 0; i < 3; ++i) docs.push_back(gen.Document());
    ExpectSameAsReference(catalogue, docs, "seed " + std::to_string(seed));
    if (HasFatalFailure()) return;
  }
}

// The benchmark's documents that use the whole language, small enough for
// the reference: on the built-in catalogue, and on a changed one.
TEST(Differential, FullMixDocumentsMatchTheLiteralReference) {
  const int runs = std::max(1, Runs() / 10);
  for (int seed = 1; seed <= runs; ++seed) {
    Gen gen(static_cast<uint32_t>(seed));
    const std::string catalogue =
        seed % 2 ? std::string(DefaultCatalogueBytes()) : gen.Catalogue();
    const long n = 10 + seed % 90;
    ExpectSameAsReference(
        catalogue,
        {tavbench::MakeDocument(n, static_cast<uint32_t>(seed), tavbench::Mix::kFull),
         tavbench::MakeDocument(n / 2, static_cast<uint32_t>(seed + 1), tavbench::Mix::kFull)},
        "full mix, seed " + std::to_string(seed));
    if (HasFatalFailure()) return;
  }
}

// A reference written with letters that fold to shorter ones (the Kelvin
// sign, the long s) makes the script shorter where it stands: splicing in
// place must not overwrite text it has still to move.
TEST(Differential, ShorteningReferencesMatchTheLiteralReference) {
  const std::string kelvins = "%\xE2\x84\xAA\xE2\x84\xAA\xE2\x84\xAA\xE2\x84\xAA%";
  std::string refs;
  for (int i = 0; i < 30; ++i) refs += (i % 2 ? kelvins : "%" + std::string(8, 's') + "%") + "xy";
  for (size_t at = refs.find('s'); at != std::string::npos; at = refs.find('s', at + 2))
    refs.replace(at, 1, "\xC5\xBF");  // long s
  const std::string doc =
      "<tav version=\"1.0\" edition=\"korvane\"><tavhead><version/></tavhead><tavbody>"
      "<shortexpression>" + refs + "</shortexpression><var name=\"kkkk\"/>"
      "<var name=\"ssssssss\"/></tavbody></tav>";
  detail::Impl lib;
  lib.catalogue.LoadBytes(DefaultCatalogueBytes());
  lib.initialised = true;
  tavref::ReferenceCompiler ref(DefaultCatalogueBytes());
  ASSERT_TRUE(lib.Compile(doc));
  ASSERT_TRUE(ref.Compile(doc));
  EXPECT_EQ(lib.text, ref.Text());
}

// The builder keeps its copies of definitions from one compile to the next:
// a definition changed in between is copied again.
TEST(Differential, DefinitionsChangedBetweenCompilesAreReadAfresh) {
  detail::Impl lib;
  lib.catalogue.LoadBytes(DefaultCatalogueBytes());
  lib.initialised = true;
  auto goto_line = [](const char* value) {
    return std::string("<tav version=\"1.0\" edition=\"korvane\"><tavhead><version/></tavhead>") +
           "<tavbody><goto line=\"" + value + "\"/></tavbody></tav>";
  };
  const std::string doc = goto_line("x y"), empty = goto_line("");
  EXPECT_FALSE(lib.Compile(doc));  // not a number
  lib.catalogue.Item("goto")->Attributes().Item("line")->SetDataType(1);  // free text
  EXPECT_TRUE(lib.Compile(doc));
  // An empty required value takes the default, as it now stands.
  lib.catalogue.Item("goto")->Attributes().Item("line")->SetDefaultValue(Variant(int32_t{7}));
  EXPECT_TRUE(lib.Compile(empty));
  tavref::ReferenceCompiler ref(lib.catalogue.SaveBytes());
  ASSERT_TRUE(ref.Compile(doc) && ref.Compile(empty));
  EXPECT_EQ(lib.text, ref.Text());
}

TEST(Differential, SinglePassDecodingMatchesTheReplacementsInOrder) {
  Gen gen(7);
  static const char* const kBits[] = {"&",  "#10;", "&#9;", "&#160;", "&quot;", "&gt;", "&lt;",
                                      "&amp;", "amp;", "\r", "\n", "\r\n", "\"", "x", ";", "lt;"};
  for (int i = 0; i < 20000; ++i) {
    std::string s;
    int n = gen.Pick(8);
    for (int k = 0; k < n; ++k) s += gen.OneOf(kBits);
    ASSERT_EQ(TAVDecode(s), tavref::ReferenceCompiler::LiteralTAVDecode(s)) << s;
    ASSERT_EQ(FixTextValue(s), tavref::ReferenceCompiler::LiteralFixTextValue(s)) << s;
  }
}

TEST(Differential, ContainsNoCaseFindsWhatFindNoCaseFinds) {
  Gen gen(13);
  static const char* const kBits[] = {"docs", ".", "ActiveDocument", "DOCS.", "x", " ",
                                      "\xC5\xBF", "do", "\xE2\x84\xAA", "c", "s.a",
                                      "ctivedocument", "\""};
  for (int i = 0; i < 20000; ++i) {
    std::string hay;
    for (int n = gen.Pick(8); n > 0; --n) hay += gen.OneOf(kBits);
    size_t len = 0;
    for (std::string_view needle : {"docs.ActiveDocument", "s.a", "k.s"})
      ASSERT_EQ(ContainsNoCase(hay, needle),
                FindNoCase(hay, needle, 0, &len) != std::string_view::npos) << hay << " " << needle;
  }
  // A match may not run past the end of a view onto a longer text.
  size_t len = 0;
  EXPECT_EQ(FindNoCase(std::string_view("x\xC3\xA9" "a", 3), "\xC3\xA9" "a", 0, &len), std::string_view::npos);
  EXPECT_EQ(FindNoCase("x ACTIVE", "active", 0, &len), 2u);
}

TEST(Differential, OnePassSplicingMatchesOnePassPerVariable) {
  Gen gen(11);
  static const char* const kBits[] = {"%", "%", "%", "n", "x", "r", ".", "startlineno", "N", "X",
                                      "\xE2\x84\xAA", "k", " ", "a", "\"", "R.EndColNo", "columnsel"};
  static const char* const kNames[] = {"n", "x", "r", "k", "N", "nx"};
  for (int i = 0; i < 20000; ++i) {
    std::string script;
    int n = gen.Pick(12);
    for (int k = 0; k < n; ++k) script += gen.OneOf(kBits);
    CVariables vars;
    int v = gen.Pick(4);
    for (int k = 0; k < v; ++k) vars.TryAdd(gen.OneOf(kNames), gen.Chance(40));
    std::string once;
    ASSERT_TRUE(SpliceVariablesOnce(script, vars, &once));
    ASSERT_EQ(std::string(TrimSpaces(once)), FixVariables(script, vars)) << script;
  }
}

}  // namespace
