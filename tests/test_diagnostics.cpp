// Every outcome explained: documents and what they give (the events, the
// explanations, the lint), each with its place, severity and key words; and
// the result, Text, ErrMsg and the events byte for byte the same with the
// explanations and the lint on and off.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <regex>

#include "tavjit/catalogue.hpp"
#include "test_support.h"

using namespace tavtest;

namespace {

// "event error 5:1", "note 5:1", "lint warning 7:3", then words of the message.
struct Expect {
  std::string at, words;
};
struct Row {
  std::string doc;
  std::vector<Expect> expect;
};

std::string Place(std::optional<uint32_t> line, std::optional<uint32_t> column) {
  return std::to_string(line.value_or(0)) + ":" + std::to_string(column.value_or(0));
}

const char* Name(tavjit::Severity s) {
  return s == tavjit::Severity::Error ? "error" : s == tavjit::Severity::Warning ? "warning" : "note";
}

// The body's elements start on line 5 of a Doc(); the root is on line 2.
std::string AfterBody(const std::string& tail) {
  std::string d = Doc("<cut/>");
  return d.insert(d.find("</tav>"), tail + "\n");
}
std::string Root(const std::string& attributes, const std::string& content) {
  return "<?xml version=\"1.0\"?>\n<tav " + attributes + ">\n" + content + "\n</tav>\n";
}

const std::vector<std::pair<const char*, std::vector<Row>>>& Table() {
  const std::string ok = "version=\"1.0\" edition=\"korvane\"";
  const std::string head = "<tavhead><version>1</version></tavhead>";
  static const std::vector<std::pair<const char*, std::vector<Row>>> table = {
      {"1 every failure explained",
       {{Root("version=\"1.0\"", head + "<tavbody/>"), {{"error 2:1", "no `edition` attribute"}}},
        {Root("edition=\"korvane\"", head + "<tavbody/>"), {{"error 2:1", "no `version` attribute"}}},
        {Root(ok, head), {{"error 3:1", "no element follows the header `tavhead`"}}},
        {Doc("<goto line=\"%\"/>"), {{"error 5:1", "`line` of `goto` is a lone `%`"}}},
        {"<TAV/>", {{"event error 1:1", "This file is not a valid TAV document."},
                    {"note 1:1", "`TAV`; it must be `tav`, in lower case"}}},
        {Root("version=\"1.00\" edition=\"korvane\"", head), {{"note 2:1", "`1.00`; it must be exactly `1.0`"}}},
        {Root("version=\"1.0\" edition=\"x\"", head), {{"note 2:1", "`x`; it must be korvane"}}},
        {Root(ok, "<!-- -->"), {{"note 2:1", "`tav` holds no element"}}},
        {Root(ok, "<head/>"), {{"note 3:1", "the first element in `tav` is `head`"}}},
        {Root(ok, "<tavhead/>"), {{"note 3:1", "`tavhead` is empty"}}},
        {Doc("", "<Version>1</Version>"),
         {{"event warning 3:10", "'Version'"}, {"note 3:10", "did you mean `version`?"},
          {"note 3:1", "(`Version` is not, names are case-sensitive)"}}},
        {Root(ok, head + "<body/>"), {{"note 3:40", "`body`; it must be `tavbody`"}}},
        {"/nonexistent/x.tav", {{"note 0:0", "there is no file at '/nonexistent/x.tav'"}}}}},
      {"2 XML errors with place and reason",
       {{Doc("<if expression=\"a\">\n</IF>"),
         {{"event error 6:1", "Not a TAV document"}, {"note 6:1", "`</IF>` does not close `<if>`, opened at line 5"}}},
        {"", {{"event error 1:1", "Not a TAV document"}, {"note 1:1", "the file is empty"}}},
        {Doc("<inserttext>caf\xE9</inserttext>"), {{"note 5:16", "the byte 0xE9 at offset 125 is not UTF-8"}}},
        {Doc("<inserttext>&nbsp;</inserttext>"), {{"note 5:13", "`&nbsp;` names no entity"}}},
        {"<!DOCTYPE tav [<!ENTITY e SYSTEM \"file:///etc/hostname\">]>\n" + Doc("<cut>&e;</cut>").substr(22),
         {{"note 5:6", "`&e;` refers to an external entity"}}},
        {Doc("<cut a=\"<\"/>"), {{"note 5:9", "a `<` inside an attribute value"}}},
        {Doc("<cut/>") + std::string(1, '\0'), {{"note 8:1", "a NUL byte (at offset 135)"}}},
        // Encoding errors while libxml2's buffer grows: placed from offsets, whatever the heap.
        {std::string(TAVJIT_SOURCE_DIR) + "/fuzz/regressions/document/place-read-while-the-buffer-grows.tav",
         {{"note 1:21", "input conversion failed"}, {"note 1:618", "input conversion failed"}}}}},
      {"3 columns of elements",
       {{Doc("\t<cut/>  <nosuch/>"), {{"event warning 5:10", "'nosuch'"}}},
        {Doc("<!-- \xC3\xA9 --><nosuch/>"), {{"event warning 5:12", "'nosuch'"}}}}},
      {"4 values: what was written and what is accepted",
       {{Doc("<goto line=\"1x\"/>"), {{"note 5:1", "`line` of `goto` is `1x`; it takes a number"}}},
        {Doc("<findtext matchcase=\"1\">a</findtext>"), {{"note 5:1", "`1`; it takes true or false"}}},
        {Doc("<var name=\"a b\"/>"), {{"note 5:1", "`a b`; it takes a variable name: ASCII letters"}}},
        {Doc("<getline variable=\"v\"/>"), {{"note 5:1", "`line` of `getline` is left out or empty"}}},
        {Doc("<msgbox buttons=\"maybe\">hi</msgbox>"), {{"note 5:1", "one of ok, okcancel, yesno"}}}}},
      {"5 names",
       {{Doc("<insrttext>hi</insrttext>"), {{"note 5:1", "did you mean `inserttext`?"}}},
        {Doc("<goto lin=\"3\"/>"), {{"note 5:1", "`goto` has no attribute `lin` (did you mean `line`?)"}}},
        {Doc("<endif/>"), {{"note 5:1", "the compiler adds it after the children of each `if`"}}},
        {Doc("<if expression=\"a\">\n  <IF expression=\"b\"><cut/></IF></if>"),
         {{"lint warning 6:3", "only after an element written `if`, in lower case"}}}}},
      {"6 faithful surprises",
       {{Doc("<goto line=\"5\"/>\n  <goto/>"),
         {{"lint note 6:3", "takes `5`, the value that the `goto` at line 5 gave it, rather than its default `1`"}}},
        {Doc("<inserttext>a <cut/></inserttext>"), {{"lint note 5:15", "joins the text of `inserttext`"}}},
        {AfterBody("<tavbody/><cut/>"),
         {{"lint note 7:1", "a second `tavbody` is never compiled"}, {"lint note 7:11", "where nothing is compiled"}}},
        {Doc("<goto line=\"n\"/>"), {{"lint warning 5:1", "\"Variable is undefined\""}}},
        {Doc("<var name=\"And\"/>"), {{"lint warning 5:1", "a word VBScript reserves"}}},
        {Doc("<range name=\"output\"/>"), {{"lint warning 5:1", "names the editor's `Output`"}}},
        {Doc("<inserttext/>"), {{"lint note 5:1", "has no text, which its catalogue entry requires"}}},
        {Doc("<inserttext>a &amp;lt; b</inserttext>"), {{"lint note 5:1", "decodes it a second time, into `<`"}}}}},
      {"7 severity of lint findings",
       {{Doc("<loop statement=\"docs.ActiveDocument.LineCount\"><cut/></loop>"),
         {{"lint warning 5:1", "refuses the whole script"}}},
        {Doc("<inserttext>%who%</inserttext>"), {{"lint note 5:1", "keeps `%who%` as written"}}}}},
  };
  return table;
}

// The built-in catalogue with msgbox's buttons a choice, as a host's may be.
const std::string& Catalogue() {
  static const std::string bytes = [] {
    auto src = nlohmann::json::parse(*tavjit::DumpCatalogue(tavjit::DefaultCatalogue(), nullptr));
    for (auto& e : src["elements"])
      for (auto& a : e["attributes"])
        if (e["name"] == "msgbox" && a["name"] == "buttons") {
          a["type"] = 7;
          a["arrayvalues"] = "ok|okcancel|yesno";
        }
    return *tavjit::BuildCatalogue(src.dump(), nullptr);
  }();
  return bytes;
}

struct Outcome {
  bool result = false;
  std::string text, errmsg;
  std::vector<std::string> events, said;  // said: events, explanations and findings, rendered
};

// A doc starting with '/' names a file.
Outcome Compile(const std::string& doc, bool explain) {
  tavjit::CTavJIT jit;
  Outcome o;
  jit.OnDiagnostic([&](const tavjit::Diagnostic& d) {
    const char* kind = d.kind == tavjit::Diagnostic::Kind::Error ? "error" : "warning";
    o.events.push_back(std::string(kind) + ":" + d.message);
    o.said.push_back("event " + std::string(kind) + " " + Place(d.line, d.column) + " " + d.message);
  });
  jit.InitFromBytes(Catalogue());
  jit.EnableExplanations(explain);
  jit.EnableLint(explain);
  o.result = doc.starts_with("/") ? jit.Execute(doc) : jit.ExecuteFromBytes(doc);
  o.text = jit.Text();
  o.errmsg = jit.ErrMsg();
  for (const tavjit::Explanation& e : jit.Explanations())
    o.said.push_back(std::string(Name(e.severity)) + " " + Place(e.line, e.column) + " " + e.message);
  for (const tavjit::LintFinding& f : jit.LintFindings())
    o.said.push_back("lint " + std::string(Name(f.severity)) + " " + Place(f.line, f.column) + " " + f.message);
  return o;
}

TEST(Diagnostics, EachOutcomeSaysWhereWhatAndWhy) {
  for (const auto& [group, rows] : Table()) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(group) + "\n" + row.doc);
      const Outcome o = Compile(row.doc, true);
      std::string all;
      for (const std::string& s : o.said) all += s + "\n";
      for (const Expect& e : row.expect) {
        bool found = false;
        for (const std::string& s : o.said)
          found = found || (s.starts_with(e.at + " ") && s.find(e.words) != std::string::npos);
        EXPECT_TRUE(found) << e.at << " ... " << e.words << "\nin:\n" << all;
      }
      // libxml2's own words lose its line break: each message is one line.
      for (const std::string& s : o.said) EXPECT_FALSE(s.ends_with('\n') || s.ends_with(' ')) << s;
      // A failed compile always says something with a line, or names a file.
      if (!o.result && !row.doc.starts_with("/"))
        EXPECT_TRUE(std::regex_search(all, std::regex(" [1-9][0-9]*:[0-9]+ "))) << all;
      // Both parses find the same: behind a document type, the tree parse.
      if (std::string(group).starts_with("2") && row.doc.starts_with("<?xml")) {
        std::string typed = row.doc;
        typed.insert(typed.find("\n") + 1, "<!DOCTYPE tav>");
        auto unmoved = [](std::vector<std::string> said) {  // but for the offsets
          for (std::string& s : said) s = std::regex_replace(s, std::regex("offset \\d+"), "offset");
          return said;
        };
        EXPECT_EQ(unmoved(Compile(typed, true).said), unmoved(o.said));
      }
    }
  }
}

// The explanations and the lint add to what a host is told and change
// nothing of it: result, Text, ErrMsg, the events and their order.
TEST(Diagnostics, ResultTextErrMsgAndEventsTheSameWithExplanationsOnAndOff) {
  std::vector<std::string> docs;
  for (const auto& [group, rows] : Table())
    for (const Row& row : rows) docs.push_back(row.doc);
  for (const fs::path& example : Examples()) docs.push_back(ReadFile(example.string()));
  for (const std::string& doc : docs) {
    const Outcome on = Compile(doc, true), off = Compile(doc, false);
    EXPECT_EQ(on.result, off.result) << doc;
    EXPECT_EQ(on.text, off.text) << doc;
    EXPECT_EQ(on.errmsg, off.errmsg) << doc;
    EXPECT_EQ(on.events, off.events) << doc;
    EXPECT_EQ(off.said.size(), off.events.size()) << doc;  // nothing but the events when off
  }
}

}  // namespace
