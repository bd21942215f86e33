// The XML layer: encodings, refusals, entities, whitespace, attribute order,
// lines and nesting, each case through both parses.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlerror.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "xml/document.h"
#include "test_support.h"

namespace tavjit::xml {
namespace {

// The same document behind a type declaration, in its own encoding (after a
// byte order mark or XML declaration), which sends it to the tree parse.
std::string WithDoctype(std::string_view bytes) {
  size_t at = 0, width = 1;
  bool big_endian = false;
  if (bytes.starts_with("\xFF\xFE") || bytes.starts_with("\xFE\xFF")) {
    at = width = 2;
    big_endian = bytes[0] == '\xFE';
  } else if (bytes.starts_with(std::string_view("<\0", 2)) ||
             bytes.starts_with(std::string_view("\0<", 2))) {
    width = 2;
    big_endian = bytes[0] == '\0';
  } else if (bytes.starts_with("\xEF\xBB\xBF")) {
    at = 3;
  }
  auto encode = [&](std::string_view ascii) {
    std::string out;
    for (char c : ascii) {
      if (width == 2 && big_endian) out += '\0';
      out += c;
      if (width == 2 && !big_endian) out += '\0';
    }
    return out;
  };
  if (bytes.find(encode("<!DOCTYPE")) != std::string_view::npos) return std::string(bytes);
  if (bytes.substr(at).starts_with(encode("<?xml")))
    at = bytes.find(encode("?>"), at) + 2 * width;
  return std::string(bytes.substr(0, at)) + encode("<!DOCTYPE d>") + std::string(bytes.substr(at));
}

// Everything a caller can read of a node and of the nodes below it.
std::string Dump(Node n) {
  std::string s = std::string(n.Name()) + "@" + std::to_string(n.Line()) + "[";
  if (n.IsElement())
    n.ForEachAttribute([&](std::string_view name, std::string_view value) {
      s.append(name).append("=").append(value).append(";");
    });
  s += "]{" + n.Text() + "}(";
  for (Node c = n.FirstChild(); c; c = c.NextSibling()) s += Dump(c);
  return s + ")";
}

// Every case goes through both parses: as written (the streaming parse, when
// it has no type declaration) and behind one (the tree parse). Both must
// give the same document, or both refuse it.
std::unique_ptr<Document> ParseText(std::string_view s) {
  std::unique_ptr<Document> plain = Document::Parse(s), tree = Document::Parse(WithDoctype(s));
  EXPECT_EQ(plain ? Dump(plain->Root()) : "refused", tree ? Dump(tree->Root()) : "refused");
  return plain;
}

// UTF-16 bytes of a UTF-8 text of the Basic Multilingual Plane.
std::string Utf16(std::string_view utf8, bool big_endian, bool bom) {
  std::u16string units;
  if (bom) units += u'\uFEFF';
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = utf8[i];
    int len = c < 0x80 ? 1 : c < 0xE0 ? 2 : 3;
    char32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : c & 0x0F;
    for (int k = 1; k < len; ++k) cp = (cp << 6) | (utf8[i + k] & 0x3F);
    units += static_cast<char16_t>(cp);
    i += len;
  }
  std::string out;
  for (char16_t u : units) {
    char hi = static_cast<char>(u >> 8), lo = static_cast<char>(u & 0xFF);
    out += big_endian ? hi : lo;
    out += big_endian ? lo : hi;
  }
  return out;
}

std::vector<std::string> ChildNames(Node n) {
  std::vector<std::string> names;
  for (Node c = n.FirstChild(); c; c = c.NextSibling()) names.emplace_back(c.Name());
  return names;
}

TEST(XmlParse, DecodesByBomThenDeclaration) {
  const std::string body = "<a v=\"\xC3\xA9\">\xC3\xA9</a>";
  const std::string decl16 = "<?xml version=\"1.0\" encoding=\"UTF-16\"?>";
  const std::string latin1 = "<?xml version='1.0' encoding='ISO-8859-1'?>";
  const std::pair<const char*, std::string> cases[] = {
      {"utf-8", body},
      {"utf-8 bom", "\xEF\xBB\xBF" + body},
      {"utf-16le bom", Utf16(body, false, true)},
      {"utf-16be bom", Utf16(body, true, true)},
      {"utf-16le declared", Utf16(decl16 + body, false, false)},
      {"utf-16be declared", Utf16(decl16 + body, true, false)},
      {"latin-1", latin1 + "<a v='\xE9'>\xE9</a>"},
      {"utf-8 bom over declaration", "\xEF\xBB\xBF" + latin1 + body},
      {"utf-16le bom over declaration", Utf16(latin1 + body, false, true)},
  };
  for (const auto& [label, bytes] : cases) {
    auto doc = ParseText(bytes);
    ASSERT_TRUE(doc) << label;
    EXPECT_EQ(doc->Root().Text(), "\xC3\xA9") << label;
    EXPECT_EQ(doc->Root().Attribute("v"), "\xC3\xA9") << label;
  }
}

TEST(XmlParse, RefusesWhatIsNotWellFormed) {
  const char gzip[] = "\x1F\x8B\x08\x00\x00\x00\x00\x00\x02\x03\xB3\x49\xD4"
                      "\xB7\x03\x00\xD4\x1C\xD1\x01\x04\x00\x00\x00";
  std::string bad_surrogate = Utf16("<a>x</a>", false, true);
  bad_surrogate.insert(6, "\x00\xD8", 2);  // lone high surrogate before x
  const std::pair<const char*, std::string> cases[] = {
      {"empty", ""},
      {"unclosed", "<a>"},
      {"no root", "<?xml version='1.0'?><!-- -->"},
      {"undeclared prefix", "<p:a/>"},
      {"nul in text", std::string("<a>x\0y</a>", 10)},
      {"nul after root", std::string("<a/>\0<b>", 8)},
      {"gzip", std::string(gzip, sizeof gzip - 1)},
      {"bad utf-8", "<a>\xFF</a>"},
      {"bad utf-8 after root", "<a/><!-- \xC3 -->"},
      {"bad ascii", "<?xml version='1.0' encoding='US-ASCII'?><a>\xE9</a>"},
      {"bad ascii after root",
       "<?xml version='1.0' encoding='US-ASCII'?><a/><!-- -->\xE9"},
      {"bad shift_jis", "<?xml version='1.0' encoding='Shift_JIS'?><a>\x81</a>"},
      {"lone surrogate", bad_surrogate},
      {"unknown encoding", "<?xml version='1.0' encoding='x-none'?><a/>"},
      {"utf-8 labelled utf-16", "<?xml version='1.0' encoding='UTF-16'?><a/>"},
      {"undefined entity", "<a>&u;</a>"},
      {"undefined entity, external subset", "<!DOCTYPE a SYSTEM 'a.dtd'><a>&u;</a>"},
      {"undefined parameter entity", "<!DOCTYPE a SYSTEM 'a.dtd' [%p;]><a/>"},
      {"unparsed entity",
       "<!DOCTYPE a [<!NOTATION n SYSTEM 'n'><!ENTITY u SYSTEM 'u' NDATA n>]>"
       "<a>&u;</a>"},
      {"entity loop", "<!DOCTYPE a [<!ENTITY x '&y;'><!ENTITY y '&x;'>]><a>&x;</a>"},
  };
  for (const auto& [label, bytes] : cases) EXPECT_FALSE(ParseText(bytes)) << label;
}

TEST(XmlParse, BoundsEntityExpansion) {
  // One 10 KB entity: fine a few times, refused once the values it fills
  // exceed ten times the file plus 1 MB.
  auto flat = [](int refs) {
    std::string s = "<!DOCTYPE a [<!ENTITY e '" + std::string(10240, 'x') + "'>]><a>";
    for (int i = 0; i < refs; ++i) s += "<b v='&e;'/>";
    return s + "</a>";
  };
  auto doc = ParseText(flat(50));
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->Root().FirstChild().Attribute("v")->size(), 10240u);
  EXPECT_FALSE(ParseText(flat(2000)));
}

TEST(XmlParse, ExpandsInternalEntities) {
  auto doc = ParseText(
      "<!DOCTYPE a [<!ENTITY w 'world'><!ENTITY hw 'hello &w;'>"
      "<!ENTITY m 'in <b>&w;</b>!'><!ATTLIST a d CDATA 'dflt &w;'>]>"
      "<a v='&hw; &amp; &#65;&lt;'>&hw;, &m;</a>");
  ASSERT_TRUE(doc);
  Node a = doc->Root();
  EXPECT_EQ(a.Attribute("v"), "hello world & A<");
  EXPECT_EQ(a.Attribute("d"), "dflt world");
  EXPECT_EQ(a.Text(), "hello world, in world!");
  // A reference is a child node of its own, not an element.
  Node ref = a.FirstChild();
  ASSERT_TRUE(ref);
  EXPECT_FALSE(ref.IsElement());
  EXPECT_EQ(ref.Name(), "hw");
  EXPECT_EQ(ref.Text(), "hello world");
  EXPECT_FALSE(ref.HasChildNodes());
}

TEST(XmlNode, DropsWhitespaceTextUnlessPreserved) {
  const std::pair<const char*, std::vector<std::string>> cases[] = {
      {"<r> <b/>\n\t<c/> </r>", {"b", "c"}},
      {"<r xml:space='preserve'> <b/> </r>", {"#text", "b", "#text"}},
      {"<x xml:space='preserve'><r xml:space='default'> <b/> </r></x>", {"b"}},
      {"<x xml:space='preserve'><r> <b/></r></x>", {"#text", "b"}},
      {"<r> <!--c--> <![CDATA[ ]]> <?pi x?> x </r>",
       {"#comment", "#cdata-section", "pi", "#text"}},
      {"<r> \r\n </r>", {}},
  };
  for (const auto& [xml, names] : cases) {
    auto doc = ParseText(xml);
    ASSERT_TRUE(doc) << xml;
    Node r = doc->Root().Name() == "r" ? doc->Root() : doc->Root().FirstChild();
    EXPECT_EQ(ChildNames(r), names) << xml;
    EXPECT_EQ(r.HasChildNodes(), !names.empty()) << xml;
    for (Node c = r.FirstChild(); c; c = c.NextSibling())
      EXPECT_EQ(c.IsElement(), c.Name().size() == 1) << xml;
  }
}

TEST(XmlNode, TextJoinsDescendantsAndTrims) {
  const std::pair<const char*, const char*> cases[] = {
      {"<a>  hi  </a>", "hi"},
      {"<a>\t\r\n hi there \n</a>", "hi there"},
      {"<a xml:space='preserve'>  hi  </a>", "  hi  "},
      {"<a>\xC2\xA0hi</a>", "\xC2\xA0hi"},
      {"<a> x <b> y </b> <!--no--> <?pi no?> <![CDATA[ <z> ]]> </a>", "x  y  <z>"},
      {"<a> <b xml:space='preserve'> y </b> </a>", "y"},
      {"<a xml:space='preserve'> <b xml:space='default'> y </b></a>", "  y "},
      {"<a><b/></a>", ""},
  };
  for (const auto& [xml, text] : cases) {
    auto doc = ParseText(xml);
    ASSERT_TRUE(doc) << xml;
    EXPECT_EQ(doc->Root().Text(), text) << xml;
  }
}

TEST(XmlNode, AttributesInDocumentOrderDeclarationsIncluded) {
  using Attrs = std::vector<std::pair<std::string, std::string>>;
  // Both parses: the streaming one, and the tree one a document type sends
  // a document to (which also supplies declared defaults, last).
  const std::string tag =
      "<p:a z='1' xmlns:p = 'urn:p' c='>' p:y='2'\n xmlns=\"urn:d\" b=\"&amp;&#65;'\t\"/>";
  const Attrs want = {{"z", "1"},     {"xmlns:p", "urn:p"}, {"c", ">"},
                      {"p:y", "2"},   {"xmlns", "urn:d"},   {"b", "&A' "}};
  Attrs with_default = want;
  with_default.emplace_back("d", "dv");
  const std::pair<std::string, Attrs> cases[] = {
      {tag, want},
      {"<!DOCTYPE p:a [<!ATTLIST p:a d CDATA 'dv'>]>" + tag, with_default},
      {"<a xmlns:q='urn:q' k='v' xmlns='urn:d'/>",
       {{"xmlns:q", "urn:q"}, {"k", "v"}, {"xmlns", "urn:d"}}},
  };
  for (const auto& [xml, expected] : cases) {
    SCOPED_TRACE(xml);
    auto doc = ParseText(xml);
    ASSERT_TRUE(doc);
    Attrs seen;
    doc->Root().ForEachAttribute(
        [&](std::string_view n, std::string_view v) { seen.emplace_back(n, v); });
    EXPECT_EQ(seen, expected);
  }
  auto doc = ParseText(tag);
  Node a = doc->Root();
  EXPECT_EQ(a.Name(), "p:a");
  EXPECT_EQ(a.Attribute("p:y"), "2");
  EXPECT_EQ(a.Attribute("xmlns:p"), "urn:p");
  EXPECT_EQ(a.Attribute("y"), std::nullopt);
  EXPECT_EQ(a.Attribute("Z"), std::nullopt);
}

// Columns count bytes of the line as UTF-8, whatever the file's encoding.
TEST(XmlNode, KeepsLinesPast65535AndColumns) {
  std::string xml = "<a>\n<b/>\n<c\n x='1\n2'\n/>\xC3\xA9<d/>";
  xml += std::string(70000 - 6, '\n') + "\t<e/>\n</a>";
  for (const std::string& bytes : {xml, Utf16(xml, false, true)}) {
    auto doc = ParseText(bytes);
    ASSERT_TRUE(doc);
    std::vector<std::pair<uint32_t, uint32_t>> places = {{doc->Root().Line(), 0}};
    for (Node c = doc->Root().FirstChild(); c; c = c.NextSibling())
      if (c.IsElement()) places.emplace_back(c.Where().line, c.Where().column);
    EXPECT_EQ(places, (std::vector<std::pair<uint32_t, uint32_t>>{
                          {1, 0}, {2, 1}, {3, 1}, {6, 5}, {70000, 2}}));
  }
}

TEST(XmlNode, LinesEndInLfCrLfOrALoneCr) {
  const std::string xml = "<a>\r<b/>\r\n<c x='1\r2'/>\r\r<d>\r</d>\n<e/></a>\r";
  for (const std::string& bytes : {xml, "\xEF\xBB\xBF" + xml, "<!DOCTYPE a>" + xml}) {
    auto doc = ParseText(bytes);
    ASSERT_TRUE(doc);
    std::vector<uint32_t> lines;
    for (Node c = doc->Root().FirstChild(); c; c = c.NextSibling()) lines.push_back(c.Line());
    EXPECT_EQ(lines, (std::vector<uint32_t>{2, 3, 6, 8}));
    // Read as XML reads line ends.
    EXPECT_EQ(doc->Root().FirstChild().NextSibling().Attribute("x"), "1 2");
  }
}

TEST(XmlParse, NestingIsBoundedWithoutCrashing) {
  auto nested = [](int depth, bool with_entity) {
    std::string s = with_entity ? "<!DOCTYPE a [<!ENTITY e 'x'>]>" : "";
    for (int i = 0; i < depth; ++i) s += "<a>";
    s += with_entity ? "&e;" : "x";
    for (int i = 0; i < depth; ++i) s += "</a>";
    return s;
  };
  for (bool with_entity : {false, true}) {
    auto doc = ParseText(nested(257, with_entity));
    ASSERT_TRUE(doc) << with_entity;
    EXPECT_EQ(doc->Root().Text(), "x");
    EXPECT_FALSE(ParseText(nested(258, with_entity))) << with_entity;
    EXPECT_FALSE(ParseText(nested(10000, with_entity))) << with_entity;
  }
}

int HostCalls = 0;
xmlParserInputPtr HostLoader(const char*, const char*, xmlParserCtxtPtr) {
  ++HostCalls;
  return nullptr;
}
void HostErrorHandler(void*, xmlErrorPtr) { ++HostCalls; }

TEST(XmlParse, IsSilentAndLeavesLibraryStateAlone) {
  const char* bad[] = {
      "<a>", "<a>\xFF</a>", "<!DOCTYPE a SYSTEM 'x.dtd'><a>&u;</a>",
      "<?xml version='1.0' encoding='US-ASCII'?><a>\xE9</a>",
      "<!DOCTYPE a [<!ENTITY e SYSTEM 'http://127.0.0.1:9/'>]><a>&e;</a>"};
  fflush(stderr);
  FILE* capture = tmpfile();
  ASSERT_TRUE(capture);
  int saved_stderr = dup(2);
  dup2(fileno(capture), 2);
  for (const char* xml : bad) EXPECT_FALSE(ParseText(xml)) << xml;
  EXPECT_TRUE(ParseText("<?xml version='1.1'?><a xmlns:p='rel' xml:space='x'/>"));
  fflush(stderr);
  dup2(saved_stderr, 2);
  close(saved_stderr);
  EXPECT_EQ(ftell(capture), 0L);
  fclose(capture);

  int host_context = 0;
  xmlSetStructuredErrorFunc(&host_context, HostErrorHandler);
  xmlExternalEntityLoader old_loader = xmlGetExternalEntityLoader();
  xmlSetExternalEntityLoader(HostLoader);
  for (const char* xml : bad) EXPECT_FALSE(ParseText(xml)) << xml;
  EXPECT_EQ(xmlStructuredError, HostErrorHandler);
  EXPECT_EQ(xmlStructuredErrorContext, &host_context);
  EXPECT_EQ(xmlGetExternalEntityLoader(), HostLoader);
  EXPECT_EQ(HostCalls, 0);
  xmlSetExternalEntityLoader(old_loader);
  xmlSetStructuredErrorFunc(nullptr, nullptr);
}

}  // namespace
}  // namespace tavjit::xml
