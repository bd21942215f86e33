// The tavjit command line through its process boundary: exit status, stdout
// bytes, stderr lines and the files it leaves behind.
#ifdef TAVJIT_TOOL

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "tavjit/catalogue.hpp"
#include "test_support.h"

using namespace tavtest;

namespace {

struct Outcome {
  int code = -1;
  std::string out, err;
  // notes: with the notes on the lines before them.
  std::vector<std::string> ErrLines(bool notes = true) const {
    std::vector<std::string> lines;
    std::istringstream in(err);
    for (std::string line; std::getline(in, line);)
      if (notes || line.find(": note: ") == std::string::npos) lines.push_back(line);
    return lines;
  }
};

const std::string kCut = Script({"Option Explicit", "If docs.Count Then",
                                 "docs.ActiveDocument.Cut", "End If"});

std::string Goto(const char* line) {
  return Script({"Option Explicit", "If docs.Count Then",
                 (std::string("docs.ActiveDocument.GotoLine ") + line).c_str(), "End If"});
}

std::string Example(const char* name) {
  return (fs::path(TAVJIT_SOURCE_DIR) / "examples" / name).string();
}

// The command that runs the tool: the one built here, or TAVJIT_TOOL_COMMAND,
// words with absolute paths separated by spaces, for another build of it
// ("wine /path/to/build-windows/tavjit.exe").
std::vector<std::string> ToolCommand() {
  std::vector<std::string> words;
  if (const char* command = std::getenv("TAVJIT_TOOL_COMMAND")) {
    std::istringstream in(command);
    for (std::string w; in >> w;) words.push_back(w);
  }
  if (words.empty()) words.push_back(TAVJIT_TOOL);
  return words;
}

class Tool : public ::testing::Test {
 protected:
  // Runs the tool with args inside dir_; stdout and stderr go through files
  // so neither pipe can stall the other.
  // address_space: a limit in bytes, 0 for none.
  Outcome Run(const std::vector<std::string>& args, const std::string& input = "",
              rlim_t address_space = 0) {
    const std::string in_path = capture_.Write("in", input);
    const std::string out_path = (capture_.path() / "out").string();
    const std::string err_path = (capture_.path() / "err").string();
    std::vector<std::string> command = ToolCommand();
    command.insert(command.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : command) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = ::fork();
    if (pid == 0) {
      int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      int in = ::open(in_path.c_str(), O_RDONLY);
      if (out < 0 || err < 0 || in < 0 || ::chdir(dir_.path().c_str()) != 0) ::_exit(127);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      const rlimit limit{address_space, address_space};
      if (address_space && ::setrlimit(RLIMIT_AS, &limit) != 0) ::_exit(127);
      ::execvp(argv[0], argv.data());
      ::_exit(127);
    }
    Outcome r;
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return r;
    r.code = WEXITSTATUS(status);
    r.out = ReadFile(out_path);
    r.err = ReadFile(err_path);
    return r;
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    fs::create_directories((dir_.path() / name).parent_path());
    return dir_.Write(name, bytes);
  }
  std::string At(const std::string& name) const { return ReadFile((dir_.path() / name).string()); }
  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir_.path()))
      names.insert(fs::relative(e.path(), dir_.path()).string());
    return names;
  }

  TempDir dir_, capture_;
};

TEST_F(Tool, CompilePrintsEachExampleByteForByte) {
  ASSERT_GE(Examples().size(), 5u);
  for (const fs::path& example : Examples()) {
    SCOPED_TRACE(example.string());
    Outcome r = Run({"compile", example.string()});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, ScriptBeside(example));
    EXPECT_EQ(r.err, "");
  }
}

TEST_F(Tool, DeclaredEncodingsReachTheScriptAsUtf8) {
  const struct {
    const char* encoding;
    const char* text;
    const char* utf8;
  } cases[] = {
      {"windows-1252", "caf\xE9 \x80", "caf\xC3\xA9 \xE2\x82\xAC"},
      {"ISO-8859-15", "\xA4", "\xE2\x82\xAC"},
      {"Shift_JIS", "\x93\xFA\x96\x7B", "\xE6\x97\xA5\xE6\x9C\xAC"},
      {"KOI8-R", "\xE4\xC1", "\xD0\x94\xD0\xB0"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.encoding);
    Write("doc.tav", std::string("<?xml version=\"1.0\" encoding=\"") + c.encoding + "\"?>" +
                         Doc(std::string("<inserttext>") + c.text + "</inserttext>").substr(21));
    Outcome r = Run({"compile", "doc.tav"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, Script({"Option Explicit", "If docs.Count Then",
                             (std::string("docs.ActiveDocument.InsertText \"") + c.utf8 + "\"").c_str(),
                             "End If"}));
  }
}

TEST_F(Tool, OutputFileIsReplacedOnlyOnSuccess) {
  Write("good.tav", Doc("<cut/>"));
  Write("bad.tav", Doc("<goto line=\"x y\"/>"));
  Write("out.vbs", "earlier");

  Outcome ok = Run({"compile", "-o", "out.vbs", "good.tav"});
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.out, "");
  EXPECT_EQ(At("out.vbs"), kCut);

  Outcome failed = Run({"compile", "-o", "out.vbs", "bad.tav"});
  EXPECT_EQ(failed.code, 1);
  EXPECT_EQ(At("out.vbs"), kCut);
  // No temporary file left beside it either.
  EXPECT_EQ(Listing(), (std::set<std::string>{"good.tav", "bad.tav", "out.vbs"}));
}

TEST_F(Tool, SeveralFilesWriteBesideTheirSourcesOrIntoTheDirectory) {
  Write("a.tav", Doc("<cut/>"));
  Write("sub/b.tav", Doc("<goto line=\"3\"/>"));
  Write("sub/bad.tav", Doc("<goto line=\"x y\"/>"));
  fs::create_directory(dir_.path() / "out");

  Outcome beside = Run({"compile", "a.tav", "sub/bad.tav", "sub/b.tav"});
  EXPECT_EQ(beside.code, 1);
  EXPECT_EQ(beside.out, "");
  EXPECT_EQ(At("a.vbs"), kCut);
  EXPECT_EQ(At("sub/b.vbs"), Goto("3"));
  EXPECT_FALSE(fs::exists(dir_.path() / "sub/bad.vbs"));

  Outcome into = Run({"compile", "-o", "out", "a.tav", "sub/b.tav"});
  EXPECT_EQ(into.code, 0);
  EXPECT_EQ(At("out/a.vbs"), kCut);
  EXPECT_EQ(At("out/b.vbs"), Goto("3"));
}

TEST_F(Tool, DashReadsTheDocumentFromStandardInput) {
  Outcome ok = Run({"compile", "-"}, Doc("<cut/>"));
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.out, kCut);
  Outcome bad = Run({"compile", "--no-caret", "-"}, Doc("<unknown/>\n<goto line=\"x y\"/>"));
  EXPECT_EQ(bad.code, 1);
  EXPECT_EQ(bad.ErrLines(false),
            (std::vector<std::string>{
                "<stdin>:5:1: warning: Unsupported element, 'unknown', found in document body.",
                "<stdin>:6:1: error: line contains an invalid value in element goto"}));
  Write("a.tav", Doc("<cut/>"));
  Outcome json = Run({"compile", "--json", "a.tav", "-"}, Doc("<goto line=\"2\"/>"));
  EXPECT_EQ(json.code, 0);
  auto files = nlohmann::json::parse(json.out);
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[1]["file"], "<stdin>");
  EXPECT_EQ(files[1]["text"], Goto("2"));
}

TEST_F(Tool, DiagnosticsGoToStderrInTheOrderRaised) {
  Write("mixed.tav", Doc("<unknown/>\n<goto line=\"x y\"/>"));
  Write("garbage.tav", "not xml");
  Outcome r = Run({"compile", "--no-caret", "mixed.tav", "garbage.tav", "missing.tav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.ErrLines(false),
            (std::vector<std::string>{
                "mixed.tav:5:1: warning: Unsupported element, 'unknown', found in document body.",
                "mixed.tav:6:1: error: line contains an invalid value in element goto",
                "garbage.tav:1:1: error: Not a TAV document or file is not well formed",
                "missing.tav: error: File doesn't exist."}));
}

TEST_F(Tool, JsonHasOneObjectPerFileInOrder) {
  Write("a.tav", Doc("<goto line=\"7\"/>"));
  Write("b.tav", Doc("<unknown/>\n<goto line=\"x y\"/>"));
  Outcome r = Run({"compile", "--json", "a.tav", "b.tav"});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err, "");
  // Text is what the instance holds after each Execute: a failed run keeps
  // the script of the last one that completed.
  const nlohmann::json expected = {
      {{"file", "a.tav"}, {"result", true}, {"text", Goto("7")}, {"errmsg", ""},
       {"events", nlohmann::json::array()}, {"explanations", nlohmann::json::array()},
       {"lint", nlohmann::json::array()}},
      {{"file", "b.tav"},
       {"result", false},
       {"text", Goto("7")},
       {"errmsg", "line contains an invalid value in element goto"},
       {"events",
        {{{"kind", "warning"},
          {"message", "Unsupported element, 'unknown', found in document body."},
          {"line", 5},
          {"column", 1}},
         {{"kind", "error"},
          {"message", "line contains an invalid value in element goto"},
          {"line", 6},
          {"column", 1}}}},
       {"lint", nlohmann::json::array()}}};
  nlohmann::json files = nlohmann::json::parse(r.out, nullptr, false);
  // Each of the two events has its note.
  ASSERT_EQ(files.at(1).at("explanations").size(), 2u) << r.out;
  for (size_t i = 0; i < 2; ++i) EXPECT_EQ(files[1]["explanations"][i]["event"], i);
  files[1].erase("explanations");
  EXPECT_EQ(files, expected) << r.out;

  nlohmann::json no_line = nlohmann::json::parse(Run({"compile", "--json", "c.tav"}).out);
  EXPECT_TRUE(no_line.at(0).at("events").at(0).at("line").is_null());
}

TEST_F(Tool, LintNotesFollowTheDiagnosticsUnlessTurnedOff) {
  Write("doc.tav", Doc("<unknown/>\n<linecount variable=\"n\"/>\n<cut/>"));
  const std::string script =
      Script({"Option Explicit", "If docs.Count Then", "n=docs.ActiveDocument.LineCount",
              "End If", "If docs.Count Then", "docs.ActiveDocument.Cut", "End If"});
  const std::string warning =
      "doc.tav:5:1: warning: Unsupported element, 'unknown', found in document body.";
  const std::string finding =
      ": `linecount` stores its answer in `n`, which nothing declares: under "
      "\"Option Explicit\" the script stops with \"Variable is undefined\" when it gets there; "
      "declare `n` with a `var` first.";

  Outcome on = Run({"compile", "--no-caret", "doc.tav"});
  EXPECT_EQ(on.code, 0);
  EXPECT_EQ(on.out, script);
  EXPECT_EQ(on.ErrLines(false), (std::vector<std::string>{warning, "doc.tav:6:1: warning" + finding}));

  Outcome off = Run({"compile", "--no-caret", "--no-lint", "doc.tav"});
  EXPECT_EQ(off.code, 0);
  EXPECT_EQ(off.out, script);
  EXPECT_EQ(off.ErrLines(false), (std::vector<std::string>{warning}));

  // A finding fails the file as an error would: status 1, no script written.
  Write("clean.tav", Doc("<cut/>"));
  fs::create_directory(dir_.path() / "out");
  Outcome strict =
      Run({"compile", "--no-caret", "--lint-errors", "-o", "out", "doc.tav", "clean.tav"});
  EXPECT_EQ(strict.code, 1);
  EXPECT_EQ(strict.ErrLines(false),
            (std::vector<std::string>{warning, "doc.tav:6:1: error" + finding}));
  EXPECT_FALSE(fs::exists(dir_.path() / "out" / "doc.vbs"));
  EXPECT_EQ(At("out/clean.vbs"), kCut);
  EXPECT_EQ(Run({"compile", "--lint-errors", "clean.tav"}).code, 0);
}

TEST_F(Tool, FilesCompileAsIfAloneUnlessOnTheSameInstance) {
  Write("a.tav", Doc("<goto line=\"7\"/>"));
  Write("b.tav", Doc("<goto/>"));
  EXPECT_EQ(Run({"compile", "a.tav", "b.tav"}).code, 0);
  EXPECT_EQ(At("a.vbs"), Goto("7"));
  EXPECT_EQ(At("b.vbs"), Goto("1"));  // the catalogue's default
  EXPECT_EQ(Run({"compile", "--same-instance", "a.tav", "b.tav"}).code, 0);
  EXPECT_EQ(At("b.vbs"), Goto("7"));  // carried over from a.tav
}

#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
TEST_F(Tool, OutOfMemoryFailsThatFileAloneAndSaysSo) {
  if (std::getenv("TAVJIT_TOOL_COMMAND")) GTEST_SKIP() << "the limit is for the tool built here";
  std::string body;
  while (body.size() < (32u << 20)) body += "<inserttext>some words to make a line long</inserttext>\n";
  Write("big.tav", Doc(body));
  Write("small.tav", Doc("<cut/>"));
  const rlim_t limit = 100u << 20;
  Outcome r = Run({"compile", "--json", "big.tav", "small.tav"}, "", limit);
  EXPECT_EQ(r.code, 1);
  const nlohmann::json files = nlohmann::json::parse(r.out, nullptr, false);
  ASSERT_EQ(files.size(), 2u) << r.out << r.err;
  EXPECT_EQ(files[0]["explanations"][0]["message"], "out of memory");
  EXPECT_EQ(files[1]["text"], kCut);
  r = Run({"compile", "big.tav", "small.tav"}, "", limit);
  EXPECT_EQ(r.err, "big.tav: error: out of memory\n");
  EXPECT_EQ(At("small.vbs"), kCut);
}
#endif

TEST_F(Tool, UsageErrorsExitWithTwo) {
  Write("a.tav", Doc("<cut/>"));
  Write("b.tav", Doc("<cut/>"));
  Write("plain.txt", "neither JSON nor a catalogue");
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"frobnicate"},
      {"compile"},
      {"compile", "--bogus", "a.tav"},
      {"compile", "--catalogue", "missing.json", "a.tav"},
      {"compile", "--catalogue", ".", "a.tav"},
      {"compile", "--catalogue", "plain.txt", "a.tav"},
      {"compile", "-o", "plain.txt", "a.tav", "b.tav"},
      {"compile", "--no-lint", "--lint-errors", "a.tav"},
      {"compile", "a.tav", "-"},
      {"compile", "--json", "-", "-"},
      {"catalogue"},
      {"catalogue", "build", "missing.json", "-o", "x.tavcat"},
  };
  for (const auto& args : cases) {
    SCOPED_TRACE(::testing::PrintToString(args));
    Outcome r = Run(args);
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err, "");
  }
  EXPECT_EQ(Listing(), (std::set<std::string>{"a.tav", "b.tav", "plain.txt"}));
}

// What the command line says, and where: diagnostics with their source line
// and caret, severities, encodings, subcommands and catalogue sources.
TEST_F(Tool, SaysWhatAndWhere) {
  struct Case {
    std::vector<std::string> args;
    std::string doc, catalogue;  // written as doc.tav and cat.json
    int code;
    std::vector<std::string> err_has;
    std::string out_has;
  };
  const std::string unknown = Doc("  <otox/>");
  const std::string warning = "doc.tav:5:3: warning: Unsupported element, 'otox', found in document body.\n";
  const std::string note = "doc.tav:5:3: note: the catalogue has no element `otox`\n";
  // The source lines are read again in blocks of 64 KiB: a CR LF split
  // between two, and lines that end in a CR alone.
  std::string split = Doc("<!---->\r\n  <otox/>");
  split.insert(split.find("-->\r\n"), 65535 - (split.find("-->\r\n") + 3), 'x');
  std::string cr_only = unknown;
  std::replace(cr_only.begin(), cr_only.end(), '\n', '\r');
  const Case cases[] = {
      {{"compile", "doc.tav"}, unknown, "", 0, {warning + "  <otox/>\n  ^\n" + note}, ""},
      {{"compile", "doc.tav"}, split, "", 0, {"doc.tav:6:3: warning: Unsupported element, 'otox', "
                                              "found in document body.\n  <otox/>\n  ^\n"}, ""},
      {{"compile", "doc.tav"}, cr_only, "", 0, {warning + "  <otox/>\n  ^\n"}, ""},
      {{"compile", "--no-caret", "doc.tav"}, unknown, "", 0, {warning + note}, ""},
      {{"compile", "-Werror", "doc.tav"}, unknown, "", 1, {"doc.tav:5:3: error: Unsupported element"}, ""},
      {{"compile", "--json", "doc.tav"}, Doc("<linecount variable=\"n\"/>"), "", 0, {},
       "\"column\": 1,\n        \"severity\": \"warning\""},
      {{"compile", "--output-encoding", "utf-16", "doc.tav"}, Doc("<cut/>"), "", 0, {},
       std::string("\xFF\xFEO\0p\0t\0", 8)},
      {{"compile", "--output-encoding", "cp1252", "doc.tav"},
       Doc("<inserttext>\xE2\x82\xAC</inserttext>"), "", 0, {}, "\"\x80\""},
      {{"compile", "--output-encoding", "cp1252", "doc.tav"},
       Doc("<inserttext>\xE2\x82\xAC \xC5\x91</inserttext>"), "", 1,
       {"doc.tav: error: line 3 of the script holds U+0151 (\xC5\x91), which cp1252 cannot hold"}, ""},
      {{"compile", "--json", "--lint-errors", "doc.tav"}, Doc("<linecount variable=\"n\"/>"), "", 1,
       {}, "\"severity\": \"error\""},
      {{"compile", "--help"}, "", "", 0, {}, "beside their sources, each as NAME.vbs"},
      {{"-h"}, "", "", 0, {}, "Usage: tavjit"},
      {{"catalogue", "build", "--help"}, "", "", 0, {}, "Usage: tavjit catalogue build"},
      {{"--version"}, "", "", 0, {}, std::string("tavjit ") + tavjit::Version() + "\n"},
      {{"frobnicate"}, "", "", 2, {"unknown subcommand 'frobnicate'"}, ""},
      {{"catalogue", "dump"}, "", "", 0, {}, "\"name\": \"inserttext\""},
      {{"catalogue", "build", "cat.json", "-o", "x.tavcat"}, "", R"({"elements": [{"name": "cut",}]})",
       1, {"cat.json: error: line 1, column 30: not valid JSON: syntax error"}, ""},
      {{"compile", "--catalogue", "cat.json", "doc.tav"}, Doc("<cut/>"),
       R"({"elements": [{"name": "cut", "attributes": [{"name": "a b", "type": 9, "default": 3}]},
                        {"name": "Copy"}]})",
       0,
       {"cat.json: warning: elements[0].attributes[0].name: \"a b\" is not an XML attribute name",
        "cat.json: warning: elements[0].attributes[0].type (\"a b\" of \"cut\"): 9 is no type",
        "cat.json: warning: elements[0].attributes[0].default (\"a b\" of \"cut\"): never read",
        "cat.json: warning: elements[1].name: \"Copy\" has no line in the compiler"},
       "Cut"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.args));
    Write("doc.tav", c.doc);
    Write("cat.json", c.catalogue);
    const Outcome r = Run(c.args);
    EXPECT_EQ(r.code, c.code) << r.err;
    for (const std::string& e : c.err_has) EXPECT_NE(r.err.find(e), std::string::npos) << r.err;
    EXPECT_NE(r.out.find(c.out_has), std::string::npos) << r.out;
    EXPECT_EQ(r.err.find("[json.exception"), std::string::npos) << r.err;
  }
}

TEST_F(Tool, CatalogueFromJsonSourceOrBuiltFile) {
  const std::string json = (fs::path(TAVJIT_SOURCE_DIR) / "src/catalogue/default_catalogue.json").string();
  ASSERT_EQ(Run({"catalogue", "build", json, "-o", "default.tavcat"}).code, 0);
  for (const std::string catalogue : {json, std::string("default.tavcat")}) {
    SCOPED_TRACE(catalogue);
    Outcome r = Run({"compile", "--catalogue", catalogue, Example("number-lines.tav")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, ReadFile(Example("number-lines.vbs")));
  }

  // A catalogue of its own really replaces the built-in one.
  Write("small.json", R"({"elements": [{"name": "cut"}]})");
  Write("doc.tav", Doc("<cut/>\n<copy/>"));
  ASSERT_EQ(Run({"catalogue", "build", "small.json", "-o", "small.tavcat"}).code, 0);
  for (const std::string catalogue : {"small.json", "small.tavcat"}) {
    SCOPED_TRACE(catalogue);
    Outcome r = Run({"compile", "--catalogue", catalogue, "doc.tav"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, kCut);
    EXPECT_EQ(r.ErrLines(false), (std::vector<std::string>{
                                "doc.tav:6:1: warning: Unsupported element, 'copy', found in document body.",
                                "<copy/>", "^"}));
  }
}

TEST_F(Tool, DumpThenBuildGivesTheSameFile) {
  const std::string json = (fs::path(TAVJIT_SOURCE_DIR) / "src/catalogue/default_catalogue.json").string();
  ASSERT_EQ(Run({"catalogue", "build", json, "-o", "first.tavcat"}).code, 0);
  Outcome dump = Run({"catalogue", "dump", "first.tavcat"});
  ASSERT_EQ(dump.code, 0);
  Write("dumped.json", dump.out);
  ASSERT_EQ(Run({"catalogue", "build", "dumped.json", "-o", "second.tavcat"}).code, 0);
  EXPECT_EQ(At("second.tavcat"), At("first.tavcat"));
  // The file the build installs is the built-in catalogue.
  EXPECT_EQ(At("first.tavcat"), tavjit::DefaultCatalogue());
  EXPECT_EQ(ReadFile(TAVJIT_BINARY_DIR "/generated/default.tavcat"), tavjit::DefaultCatalogue());
}

TEST_F(Tool, CatalogueErrorsNameTheFileAndLeaveNoOutput) {
  Write("bad.json", R"({"elements": [{"name": "x", "bogus": 1}]})");
  Write("doc.tav", Doc("<cut/>"));
  Outcome build = Run({"catalogue", "build", "bad.json", "-o", "bad.tavcat"});
  EXPECT_EQ(build.code, 1);
  ASSERT_EQ(build.ErrLines().size(), 1u);
  EXPECT_EQ(build.err.rfind("bad.json: error: ", 0), 0u) << build.err;
  EXPECT_NE(build.err.find("\"x\""), std::string::npos) << build.err;
  EXPECT_NE(build.err.find("\"bogus\""), std::string::npos) << build.err;
  EXPECT_FALSE(fs::exists(dir_.path() / "bad.tavcat"));

  Outcome dump = Run({"catalogue", "dump", "doc.tav"});
  EXPECT_EQ(dump.code, 1);
  EXPECT_EQ(dump.out, "");
  EXPECT_EQ(dump.ErrLines(), (std::vector<std::string>{"doc.tav: error: not a catalogue file"}));
}

}  // namespace

#endif  // TAVJIT_TOOL
