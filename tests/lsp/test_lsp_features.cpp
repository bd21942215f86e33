// The language server's features as plain calls: a document with the cursor
// marked '^', the built-in catalogue, and what the editor would be shown.
// Whole replies to every request are in sessions/ (test_lsp_session.cpp).
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>

#include "lsp/features.h"

using namespace tavjit::lsp;

namespace {

const Catalogue& Builtin() {
  static const Catalogue c = *Catalogue::FromBytes(tavjit::DefaultCatalogue(), nullptr);
  return c;
}

// The built-in catalogue with msgbox's buttons made a choice.
const Catalogue& WithChoice() {
  static const Catalogue c = [] {
    auto src = nlohmann::json::parse(*tavjit::DumpCatalogue(tavjit::DefaultCatalogue(), nullptr));
    for (auto& e : src["elements"])
      for (auto& a : e["attributes"])
        if (e["name"] == "msgbox" && a["name"] == "buttons") {
          a["type"] = 7;
          a["arrayvalues"] = "ok|okcancel|yesno";
        }
    return *Catalogue::FromBytes(*tavjit::BuildCatalogue(src.dump(), nullptr), nullptr);
  }();
  return c;
}

std::string Doc(const std::string& body, const std::string& head = "<version>1</version>") {
  return "<?xml version=\"1.0\"?>\n<tav version=\"1.0\" edition=\"korvane\">\n<tavhead>" + head +
         "</tavhead>\n<tavbody>\n" + body + "\n</tavbody>\n</tav>\n";
}

struct Marked {
  Document doc;
  Position at;
  Scan scan;
};

// The text without its '^', and the position the mark stood at. Returned by
// pointer: the scan looks into the document's text.
std::unique_ptr<Marked> Mark(std::string text) {
  const size_t at = text.find('^');
  if (at != std::string::npos) text.erase(at, 1);
  auto m = std::make_unique<Marked>();
  m->doc.SetText(std::move(text));
  m->at = m->doc.PositionAt(at == std::string::npos ? 0 : at);
  m->scan = ScanText(m->doc.Text());
  return m;
}

std::string TextOf(const Document& doc, Range r) {
  const size_t a = doc.OffsetAt(r.start), b = doc.OffsetAt(r.end);
  return doc.Text().substr(a, b - a);
}

TEST(LspDocument, Utf16ColumnsLineEndsAndEdits) {
  Document d("a\xE2\x82\xAC\xF0\x9F\x98\x80" "b\r\nx\ry\nz");  // a € 😀 b
  EXPECT_EQ(d.PositionAt(d.Text().find('b')), (Position{0, 4}));
  EXPECT_EQ(d.OffsetAt({0, 4}), d.Text().find('b'));
  EXPECT_EQ(d.OffsetAt({0, 99}), d.Text().find('\r'));  // past the end of a line: its end
  EXPECT_EQ(d.PositionAt(d.Text().find('y')), (Position{2, 0}));  // a lone CR ends a line
  EXPECT_EQ(d.LineCount(), 4u);
  d.Replace({{0, 2}, {2, 1}}, "\xC3\xA9");  // from inside the line to past "y"
  EXPECT_EQ(d.Text(), "a\xE2\x82\xAC\xC3\xA9\nz");
  EXPECT_EQ(d.OffsetAt({7, 0}), d.Text().size());
}

TEST(LspDiagnostics, RangesFromTheCompilersLines) {
  struct Case {
    std::string doc, code;
    Severity severity;
    std::string range_text, says;
  };
  const Case cases[] = {
      {Doc("<insrttext>hi</insrttext>"), "unsupported-element", Severity::Warning, "insrttext",
       "\nthe catalogue has no element `insrttext` (did you mean `inserttext`?)"},
      {Doc("<var name=\"a\"/> <goto lin=\"3\"/>"), "unsupported-attribute", Severity::Warning, "lin", ""},
      {Doc("<goto\n  line=\"1x\"/>"), "invalid-value", Severity::Error, "1x", ""},
      {Doc("<getline variable=\"v\"/>"), "requires-value", Severity::Error, "getline", ""},
      {Doc("", "<version>1</version><autor/>"), "unsupported-header-element", Severity::Warning, "autor", ""},
      {Doc("<goto line=\"1\"></tavbody>"), "not-well-formed", Severity::Error, "goto", "`<goto>` is not closed"},
      {Doc("<var name=\"x\"></tavbody>\n</tav>"), "not-well-formed", Severity::Error, "var", "`<var>` is not closed before `</tavbody>`"},
      {Doc("<cut/><var name=\"x\" <cut/>"), "not-well-formed", Severity::Error, "var", "never finished with `>`"},
      {"<tav version=\"1.0\"><tavhead><version/></tavhead><tavbody/></tav>", "silent-failure",
       Severity::Error, "tav", "no `edition` attribute"},
      {"<tav version=\"1.0\" edition=\"korvan\"/>", "root", Severity::Error, "korvan", ""},
      {Doc("<loop statement=\"docs.ActiveDocument.LineCount\"><cut/></loop>"), "lint",
       Severity::Warning, "loop", "`loop` mentions the active document"},
  };
  Compiler compiler(Builtin().Bytes());
  for (const Case& c : cases) {
    const Document doc(c.doc);
    const Scan scan = ScanText(doc.Text());
    const std::vector<Diagnostic> ds = Diagnose(doc, scan, Builtin(), compiler.Compile(c.doc, true));
    ASSERT_EQ(ds.size(), 1u) << c.doc;
    EXPECT_EQ(ds[0].code, c.code) << c.doc;
    EXPECT_EQ(ds[0].severity, c.severity) << c.doc;
    EXPECT_EQ(TextOf(doc, ds[0].range), c.range_text) << c.doc;
    EXPECT_NE(ds[0].message.find(c.says), std::string::npos) << ds[0].message;
  }
}

TEST(LspCompletion, ReadsTheTextAroundTheCursor) {
  struct Case {
    std::string doc;
    std::vector<std::string> offered, not_offered;
    const Catalogue* cat = &Builtin();
  };
  const std::string decls = "<var name=\"count\"/><range name=\"r\"/>\n";
  const Case cases[] = {
      {Doc("<^"), {"inserttext", "if", "var"}, {"else", "endif", "version"}},
      {Doc("<if expression=\"a\"><^</if>"), {"else", "loop"}, {}},
      {Doc("", "<version>1</version><^"), {"author", "web"}, {"version", "inserttext"}},
      {Doc("<getline variable=\"v\" ^/>"), {"line"}, {"variable"}},
      {Doc("<ReplaceAll ^/>"), {"selectiononly"}, {}},  // names are case-blind
      {Doc("<msgbox buttons=\"o^\">hi</msgbox>"), {"ok", "okcancel", "yesno"}, {}, &WithChoice()},
      {Doc(decls + "<findtext matchcase=\"^\">a</findtext>"), {"true", "false", "count"}, {}},
      {Doc(decls + "<set variable=\"^\">1</set>"), {"count", "r"}, {"true"}},
      {Doc(decls + "<setrange name=\"^\"/>"), {"r"}, {"count"}},
      {Doc(decls + "<inserttext>n = %^</inserttext>"), {"%count%", "%r.startlineno%", "%r.columnsel%"}, {"%r%"}},
      {Doc(decls + "<goto line=\"%c^\"/>"), {"%count%"}, {}},
      {Doc("<inserttext>100% sure^</inserttext>"), {}, {"%count%"}},
      // Half typed: no end tags at all after the cursor.
      {"<?xml version=\"1.0\"?>\n<tav version=\"1.0\" edition=\"korvane\">\n<tavhead><version>1</version>"
       "</tavhead>\n<tavbody>\n<loop statement=\"x\">\n<inse^",
       {"inserttext"}, {}},
      {"<tav version=\"1.0\" edition=\"korvane\"><tavbody><loop statement=\"x\"></^", {"loop"}, {}},
  };
  for (const Case& c : cases) {
    auto m = Mark(c.doc);
    std::vector<std::string> labels;
    for (const CompletionItem& i : Complete(m->doc, m->scan, *c.cat, m->at)) labels.push_back(i.label);
    for (const std::string& l : c.offered)
      EXPECT_NE(std::find(labels.begin(), labels.end(), l), labels.end()) << l << " in " << c.doc;
    for (const std::string& l : c.not_offered)
      EXPECT_EQ(std::find(labels.begin(), labels.end(), l), labels.end()) << l << " in " << c.doc;
  }
  // A tag being typed gets the required attributes as a snippet, replacing
  // what was typed.
  auto m = Mark(Doc("<getl^"));
  for (const CompletionItem& i : Complete(m->doc, m->scan, Builtin(), m->at))
    if (i.label == "getline") {
      EXPECT_TRUE(i.snippet);
      EXPECT_EQ(i.edit.new_text, "getline variable=\"${1:}\" line=\"${2:}\"/>");
      EXPECT_EQ(TextOf(m->doc, i.edit.range), "getl");
    }
}

}  // namespace
