// Untrusted documents and catalogues through the public API: each gives its
// exact outcome, prints nothing, stays within time and memory, and leaves
// the instance able to compile the next document.
#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <algorithm>
#include <optional>
#include <string>
#include <vector>

#include "../fuzz/fuzz_checks.h"
#include "catalogue_test_util.h"
#include "tavjit/catalogue.hpp"
#include "test_support.h"

using tavjit::CElements;
using tavjit::CTavJIT;
using tavjit::Variant;
using tavjit::testing_util::Block;
using namespace tavtest;
using namespace std::chrono_literals;

namespace {

constexpr char kNotWellFormed[] = "Not a TAV document or file is not well formed";
constexpr char kSecret[] = "TAVJIT-SECRET-4711";

const std::string kGood = Doc("<goto line=\"3\"/>");
const std::string kGoodScript =
    Script({"Option Explicit", "If docs.Count Then", "docs.ActiveDocument.GotoLine 3", "End If"});

// A document with a document type declaration after its XML declaration.
std::string WithDoctype(const std::string& doctype, const std::string& doc) {
  const size_t after_declaration = doc.find("?>") + 2;
  return doc.substr(0, after_declaration) + doctype + doc.substr(after_declaration);
}

// Everything written to file descriptor 2 while it lives.
class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    file_ = std::tmpfile();
    saved_ = ::dup(2);
    ::dup2(::fileno(file_), 2);
  }
  ~StderrCapture() { Release(); }
  std::string Release() {
    if (saved_ < 0) return {};
    std::fflush(stderr);
    ::dup2(saved_, 2);
    ::close(saved_);
    saved_ = -1;
    std::string out(static_cast<size_t>(std::ftell(file_)), '\0');
    std::rewind(file_);
    out.resize(std::fread(out.data(), 1, out.size(), file_));
    std::fclose(file_);
    return out;
  }

 private:
  FILE* file_ = nullptr;
  int saved_ = -1;
};

// A /proc/self/status field in kB, or nullopt.
std::optional<long> StatusKb(const std::string& field) {
  std::ifstream in("/proc/self/status");
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(field + ":")) return std::stol(line.substr(field.size() + 1));
  return std::nullopt;
}

// How far the resident set rose above where it started, when the kernel
// lets the peak be reset (writing 5 to clear_refs); nullopt otherwise.
class PeakGrowth {
 public:
  PeakGrowth() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
    clear.flush();
    if (clear) start_ = StatusKb("VmRSS");
  }
  std::optional<long> Mb() const {
    std::optional<long> peak = StatusKb("VmHWM");
    if (!start_ || !peak) return std::nullopt;
    return (*peak - *start_) / 1024;
  }

 private:
  std::optional<long> start_;
};

struct Outcome {
  bool result = false;
  std::string errmsg, text, printed;
  std::vector<std::string> events;
  std::chrono::steady_clock::duration elapsed{};
  std::optional<long> peak_growth_mb;
};

class Hostile : public ::testing::Test {
 protected:
  void SetUp() override {
    events_.Attach(jit_);
    jit_.InitDefault();
  }

  Outcome Execute(const std::string& path) {
    events_.seen.clear();
    Outcome o;
    PeakGrowth peak;
    StderrCapture capture;
    const auto start = std::chrono::steady_clock::now();
    o.result = jit_.Execute(path);
    o.elapsed = std::chrono::steady_clock::now() - start;
    o.printed = capture.Release();
    o.peak_growth_mb = peak.Mb();
    o.errmsg = jit_.ErrMsg();
    o.text = jit_.Text();
    o.events = events_.seen;
    EXPECT_EQ(o.printed, "") << "the library wrote to stderr";
    return o;
  }
  Outcome Compile(const std::string& bytes) { return Execute(dir_.Write("doc.tav", bytes)); }

  // The one way a hostile input may end: refused with one message.
  static void ExpectRefused(const Outcome& o, const std::string& message) {
    EXPECT_FALSE(o.result);
    EXPECT_EQ(o.errmsg, message);
    EXPECT_EQ(o.events, std::vector<std::string>{"E:" + message});
  }

  void ExpectUsable() {
    Outcome o = Compile(kGood);
    EXPECT_TRUE(o.result) << o.errmsg;
    EXPECT_EQ(o.text, kGoodScript);
    EXPECT_TRUE(o.events.empty());
  }

  void ExpectNoSecret(const Outcome& o) {
    for (const std::string* s : {&o.text, &o.errmsg, &o.printed})
      EXPECT_EQ(s->find(kSecret), std::string::npos);
    for (const std::string& e : o.events) EXPECT_EQ(e.find(kSecret), std::string::npos);
  }

  CTavJIT jit_;
  Events events_;
  TempDir dir_;
};

// A listening socket on the loopback interface that nobody should connect to.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (fd_ < 0 || ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(fd_, 8) != 0 || ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
      return;
    port_ = ntohs(a.sin_port);
  }
  ~Listener() {
    if (fd_ >= 0) ::close(fd_);
  }
  int port() const { return port_; }
  bool Contacted() const {
    int c = ::accept(fd_, nullptr, nullptr);
    if (c >= 0) ::close(c);
    return c >= 0;
  }

 private:
  int fd_ = -1;
  int port_ = 0;
};

TEST_F(Hostile, ExternalEntitiesAreNeverReadNorFetched) {
  // If it were read, the file would define &e; as the secret.
  const std::string secret =
      dir_.Write("secret.dtd", std::string("<!ENTITY e \"") + kSecret + "\">");
  Listener listener;
  ASSERT_NE(listener.port(), 0);
  const std::string url = "http://127.0.0.1:" + std::to_string(listener.port()) + "/x.dtd";
  for (const std::string& uri : {secret, "file://" + secret, url}) {
    const std::string general = "<!DOCTYPE tav [<!ENTITY e SYSTEM \"" + uri + "\">]>";
    const std::string text = Doc("<inserttext>&e;</inserttext>");
    const std::string refused[] = {
        WithDoctype(general, text),
        WithDoctype(general, Doc("<msgbox buttons=\"&e;\">x</msgbox>")),
        WithDoctype("<!DOCTYPE tav [<!ENTITY x SYSTEM \"" + uri + "\"><!ENTITY e 'a&x;'>]>", text),
        WithDoctype("<!DOCTYPE tav [<!ENTITY % p SYSTEM \"" + uri + "\"> %p;]>", text),
        WithDoctype("<!DOCTYPE tav SYSTEM \"" + uri + "\">", text),
    };
    for (const std::string& doc : refused) {
      SCOPED_TRACE(doc);
      Outcome o = Compile(doc);
      ExpectRefused(o, kNotWellFormed);
      ExpectNoSecret(o);
      ExpectUsable();
    }
    // An external subset that nothing needs is not read, and does no harm.
    Outcome o = Compile(WithDoctype("<!DOCTYPE tav SYSTEM \"" + uri + "\">", kGood));
    EXPECT_TRUE(o.result);
    EXPECT_EQ(o.text, kGoodScript);
  }
  // XInclude is not processed: the element is merely unknown.
  Outcome o = Compile(Doc("<xi:include xmlns:xi=\"http://www.w3.org/2001/XInclude\" href=\"" +
                          secret + "\" parse=\"text\"/><cut/>"));
  EXPECT_TRUE(o.result);
  EXPECT_EQ(o.events, std::vector<std::string>{
                          "W:Unsupported element, 'xi:include', found in document body."});
  ExpectNoSecret(o);
  EXPECT_FALSE(listener.Contacted());
  ExpectUsable();
}

TEST_F(Hostile, EntityExpansionFailsFastInBoundedMemory) {
  const std::string lol = BillionLaughs("tav") + "]>";
  // One 100 KB entity referenced 10,000 times: about 1 GB once values are read.
  std::string flat = "<!DOCTYPE tav [<!ENTITY e '" + std::string(100 << 10, 'x') + "'>]>";
  std::string flat_attributes, flat_text;
  for (int i = 0; i < 10000; ++i) {
    flat_attributes += "<msgbox buttons='&e;'/>";
    flat_text += "<inserttext>&e;</inserttext>";
  }
  const std::string docs[] = {
      WithDoctype(lol, Doc("<inserttext>&l9;</inserttext>")),
      WithDoctype(lol, Doc("<msgbox buttons='&l9;'>x</msgbox>")),
      WithDoctype(lol, Doc("<cut/>", "<version>1</version><author>&l9;</author>")),
      WithDoctype(flat, Doc(flat_attributes)),
      WithDoctype(flat, Doc(flat_text)),
  };
  // The same declarations, used within the budget, compile.
  auto insert = [](const std::string& text) {
    return Script({"Option Explicit", "If docs.Count Then",
                   ("docs.ActiveDocument.InsertText \"" + text + "\"").c_str(), "End If"});
  };
  std::string lol10;
  for (int i = 0; i < 10; ++i) lol10 += "lol";
  EXPECT_EQ(Compile(WithDoctype(lol, Doc("<inserttext>&l1;</inserttext>"))).text, insert(lol10));
  EXPECT_EQ(Compile(WithDoctype(flat, Doc("<inserttext>&e;</inserttext>"))).text,
            insert(std::string(100 << 10, 'x')));

  for (const std::string& doc : docs) {
    SCOPED_TRACE(doc.substr(0, 300));
    Outcome o = Compile(doc);
    ExpectRefused(o, kNotWellFormed);
    EXPECT_LT(o.elapsed, 5s);
    if (o.peak_growth_mb) EXPECT_LT(*o.peak_growth_mb, 256);
    ExpectUsable();
  }
}

TEST_F(Hostile, FiftyMegabyteAttributeValue) {
  const std::string big(50u << 20, 'v');
  Outcome ignored = Compile(Doc("<cut bogus=\"" + big + "\"/>"));
  EXPECT_TRUE(ignored.result);
  EXPECT_EQ(ignored.text, Script({"Option Explicit", "If docs.Count Then",
                                  "docs.ActiveDocument.Cut", "End If"}));
  EXPECT_EQ(ignored.events, std::vector<std::string>{
                                "W:Unsupported attribute, 'bogus', found in element 'cut'."});
  ExpectUsable();
  Outcome used = Compile(Doc("<setlanguage name=\"" + big + "\"/>"));
  EXPECT_TRUE(used.result);
  EXPECT_EQ(used.text, Script({"Option Explicit", "If docs.Count Then",
                               ("docs.ActiveDocument.Language=\"" + big + "\"").c_str(),
                               "End If"}));
  ExpectUsable();
}

// UTF-16 text of s (ASCII and Latin-1 only), little- or big-endian.
std::string Utf16(const std::string& utf8, bool little) {
  std::string out;
  for (size_t i = 0; i < utf8.size(); ++i) {
    auto c = static_cast<unsigned char>(utf8[i]);
    unsigned cp = c;
    if (c >= 0xC0) cp = ((c & 0x1F) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F);
    char lo = static_cast<char>(cp & 0xFF), hi = static_cast<char>(cp >> 8);
    out += little ? std::string{lo, hi} : std::string{hi, lo};
  }
  return out;
}

// A gzip member holding text in one stored (uncompressed) deflate block: a
// parser that unpacked it would find the document intact.
std::string Gzip(const std::string& text) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : text) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
  }
  crc = ~crc;
  auto le = [](uint32_t v, int bytes) {
    std::string s;
    for (int i = 0; i < bytes; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
    return s;
  };
  const auto n = static_cast<uint32_t>(text.size());
  return std::string("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03\x01", 11) + le(n, 2) +
         le(~n & 0xFFFF, 2) + text + le(crc, 4) + le(n, 4);
}

TEST_F(Hostile, EncodingsAndStrayBytes) {
  const std::string body = "<inserttext>café</inserttext>";
  const std::string cafe = Script({"Option Explicit", "If docs.Count Then",
                                   "docs.ActiveDocument.InsertText \"café\"", "End If"});
  const std::string utf16 =
      "<?xml version=\"1.0\" encoding=\"UTF-16\"?>" + Doc(body).substr(21);
  struct Case {
    const char* label;
    std::string bytes;
    std::optional<std::string> script;  // nullopt: refused as not well formed
  } cases[] = {
      {"UTF-8 as declared", Doc(body), cafe},
      {"invalid UTF-8", Doc("<inserttext>caf\xE9</inserttext>"), std::nullopt},
      {"overlong UTF-8", Doc("<inserttext>\xC0\xAF</inserttext>"), std::nullopt},
      {"not US-ASCII",
       "<?xml version=\"1.0\" encoding=\"US-ASCII\"?>" +
           Doc("<inserttext>caf\xE9</inserttext>").substr(21),
       std::nullopt},
      {"Latin-1 as declared",
       "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?>" +
           Doc("<inserttext>caf\xE9</inserttext>").substr(21),
       cafe},
      {"UTF-16LE with BOM", "\xFF\xFE" + Utf16(utf16, true), cafe},
      {"UTF-16BE with BOM", "\xFE\xFF" + Utf16(utf16, false), cafe},
      {"UTF-16LE without BOM", Utf16(utf16, true), cafe},
      {"UTF-16BE without BOM", Utf16(utf16, false), cafe},
      {"UTF-16 bytes declared UTF-8", "\xFF\xFE" + Utf16(Doc(body), true), cafe},
      {"NUL in the text", Doc(std::string("<inserttext>a\0b</inserttext>", 27)), std::nullopt},
      {"NUL after the document", Doc(body) + std::string(1, '\0'), std::nullopt},
      {"gzip", Gzip(Doc(body)), std::nullopt},
      {"empty", "", std::nullopt},
      {"blank", " \r\n\t", std::nullopt},
      {"BOM only", "\xEF\xBB\xBF", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    Outcome o = Compile(c.bytes);
    if (!c.script) {
      ExpectRefused(o, kNotWellFormed);
    } else {
      EXPECT_TRUE(o.result) << o.errmsg;
      EXPECT_EQ(o.text, *c.script);
    }
    ExpectUsable();
  }
}

TEST_F(Hostile, PathsThatAreNotReadableDocuments) {
  const std::string fifo = (dir_.path() / "fifo").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  fs::create_directory(dir_.path() / "dir.tav");
  const struct {
    std::string path, message;
  } cases[] = {
      {(dir_.path() / "missing.tav").string(), "File doesn't exist."},
      {(dir_.path() / "dir.tav").string(), "File doesn't exist."},
      {"", "File doesn't exist."},
      // Opens, but every read fails (chmod would not stop root).
      {"/proc/self/mem", "Unable to read file."},
      // Would block, or never end.
      {fifo, "Unable to read file."},
      {"/dev/zero", "Unable to read file."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    Outcome o = Execute(c.path);
    ExpectRefused(o, c.message);
    EXPECT_LT(o.elapsed, 5s);
    ExpectUsable();
  }
}

// The fuzz targets' checks over their seeds and every finding kept in
// fuzz/regressions/ (findings still open live in fuzz/open/).
std::vector<std::pair<std::string, std::string>> FuzzInputs(const std::string& target,
                                                            const char* kind) {
  std::vector<std::pair<std::string, std::string>> out;
  const fs::path dir = fs::path(TAVJIT_SOURCE_DIR) / "fuzz" / kind / target;
  if (!fs::is_directory(dir)) return out;
  for (const auto& e : fs::directory_iterator(dir))
    if (e.is_regular_file()) out.emplace_back(e.path().string(), ReadFile(e.path().string()));
  std::sort(out.begin(), out.end());
  return out;
}

void ReplayFuzzInputs(const char* kind) {
  TempDir dir;
  const std::string sample = dir.Write("sample.tav", tavfuzz::kSampleDocument);
  for (const auto& [path, bytes] : FuzzInputs("document", kind)) {
    tavfuzz::Compiler fresh;
    EXPECT_EQ(tavfuzz::CheckDocument(fresh, bytes), "") << path;
  }
  for (const auto& [path, bytes] : FuzzInputs("catalogue", kind))
    EXPECT_EQ(tavfuzz::CheckCatalogue(bytes, sample), "") << path;
  for (const auto& [path, bytes] : FuzzInputs("catalogue_json", kind))
    EXPECT_EQ(tavfuzz::CheckCatalogueJson(bytes), "") << path;
}

TEST(FuzzReplay, SeedsAndFixedFindings) {
  EXPECT_FALSE(FuzzInputs("document", "corpus").empty());
  ReplayFuzzInputs("corpus");
  ReplayFuzzInputs("regressions");
}

// Findings not fixed yet; an AddressSanitizer build reports them.
TEST(FuzzReplay, DISABLED_OpenFindings) { ReplayFuzzInputs("open"); }

}  // namespace

namespace {

using Entries = tavjit::testing_util::Entries;

// The built-in goto, as its catalogue keys: one required number attribute.
Entries GotoEntries(const Entries& changes) {
  Entries entries{{"ElementCount", Variant(int32_t{1})},  {"ElementName1", Variant("goto")},
                  {"AttribCount1", Variant(int32_t{1})},  {"AttribName1_1", Variant("line")},
                  {"Type1-1", Variant(int32_t{5})},       {"Required1_1", Variant(true)},
                  {"DefaultValue1_1", Variant(int32_t{1})}};
  for (const auto& [key, value] : changes) {
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const auto& e) { return e.first == key; });
    if (it == entries.end())
      entries.emplace_back(key, value);
    else
      it->second = value;
  }
  return entries;
}

TEST(HostileCatalogue, WrongTypesDuplicatesAndHugeCountsFollowTheRules) {
  const std::string invalid = "E:line contains an invalid value in element goto";
  auto go_to = [](const char* arg) {
    return Script({"Option Explicit", "If docs.Count Then",
                   (std::string("docs.ActiveDocument.GotoLine ") + arg).c_str(), "End If"});
  };
  const struct Case {
    const char* label;
    Entries changes;
    std::string body;
    bool result;
    std::string text;
    std::vector<std::string> events;
  } cases[] = {
      {"as built in", {}, "<goto/>", true, go_to("1"), {}},
      {"type that is no number: no check", {{"Type1-1", Variant("five")}},
       "<goto line=\"1abc\"/>", true, go_to("1abc"), {}},
      {"type 5.4 rounds to a number", {{"Type1-1", Variant(5.4)}}, "<goto line=\"1abc\"/>",
       false, "", {invalid}},
      {"floating-point default", {{"DefaultValue1_1", Variant(2.5)}}, "<goto/>", true,
       go_to("2.5"), {}},
      // "True" passes as a variable name.
      {"truth default", {{"DefaultValue1_1", Variant(true)}}, "<goto/>", true, go_to("True"), {}},
      {"whole number default", {{"DefaultValue1_1", Variant(int32_t{-7})}}, "<goto/>", true,
       go_to("-7"), {}},
      {"empty default", {{"DefaultValue1_1", Variant()}}, "<goto/>", false, "",
       {"E:The line attribute in the goto element requires a value!"}},
      {"required that is no truth value", {{"Required1_1", Variant("yes")}}, "<goto/>", true,
       go_to(""), {}},
      {"name stored as a number", {{"ElementName1", Variant(int32_t{7})}}, "<goto/>", true, "",
       {"W:Unsupported element, 'goto', found in document body."}},
      {"count stored as text", {{"ElementCount", Variant(" 1 ")}}, "<goto/>", true, go_to("1"),
       {}},
      {"first of case-variant names stays",
       {{"ElementCount", Variant(int32_t{2})},
        {"AttribCount1", Variant(int32_t{2})},
        {"AttribName1_2", Variant("LINE")},
        {"Type1-2", Variant(int32_t{1})},
        {"ElementName2", Variant("GoTo")},
        {"AttribCount2", Variant(int32_t{1})},
        {"AttribName2_1", Variant("line")},
        {"Type2-1", Variant(int32_t{1})}},
       "<goto line=\"1abc\"/>", false, "", {invalid}},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    CTavJIT jit;
    Events events;
    events.Attach(jit);
    jit.InitFromBytes(Block(GotoEntries(c.changes)));
    const bool result = jit.Execute(dir.Write("case.tav", Doc(c.body)));
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(jit.Text(), c.text);
    EXPECT_EQ(events.seen, c.events);
  }
}

}  // namespace
