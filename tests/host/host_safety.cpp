// The library as a host embeds it: handlers that call back into the instance,
// exceptions and failed allocations in the middle of a compile, moved-from
// instances, the C interface, and several threads compiling at once. A
// program of its own, for it replaces operator new.
#include <gtest/gtest.h>
#include <libxml/parser.h>
#include <libxml/xmlmemory.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <latch>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "tavjit/tavjit.h"
#include "tavjit/tavjit.hpp"

namespace {

// Allocation number `fail_at` (counted from arming) fails, in operator new
// and in libxml2 alike; 0: none fails.
std::atomic<long> g_countdown{0};

bool AllocationFails() {
  if (g_countdown.load(std::memory_order_relaxed) <= 0) return false;
  return g_countdown.fetch_sub(1, std::memory_order_relaxed) == 1;
}

void* XmlMalloc(size_t n) { return AllocationFails() ? nullptr : std::malloc(n); }
void* XmlRealloc(void* p, size_t n) { return AllocationFails() ? nullptr : std::realloc(p, n); }
char* XmlStrdup(const char* s) {
  if (AllocationFails()) return nullptr;
  const size_t n = std::strlen(s) + 1;
  char* out = static_cast<char*>(std::malloc(n));
  if (out) std::memcpy(out, s, n);
  return out;
}
const bool kXmlAllocatorSet = xmlMemSetup(std::free, XmlMalloc, XmlRealloc, XmlStrdup) == 0;

}  // namespace

// Every form, so that what one allocates another frees.
void* operator new(size_t n, const std::nothrow_t&) noexcept {
  return AllocationFails() ? nullptr : std::malloc(n ? n : 1);
}
void* operator new(size_t n) {
  if (void* p = operator new(n, std::nothrow)) return p;
  throw std::bad_alloc();
}
void* operator new[](size_t n) { return operator new(n); }
void* operator new[](size_t n, const std::nothrow_t&) noexcept {
  return operator new(n, std::nothrow);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete[](void* p, size_t) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

struct FailingAllocations {
  explicit FailingAllocations(long n) { g_countdown = n; }
  ~FailingAllocations() { g_countdown = 0; }
  bool Fired() const { return g_countdown <= 0; }
};

const std::string kDoc =
    "<?xml version=\"1.0\"?>\n<tav version=\"1.0\" edition=\"korvane\">\n"
    "<tavhead><version>1</version></tavhead>\n<tavbody>\n"
    "<var name=\"n\">3</var>\n<unknown/>\n"
    "<loop statement=\"docs.ActiveDocument.LineCount &gt; n\">\n"
    "<inserttext>Line %n%</inserttext>\n<shortexpression>n = n - 1</shortexpression>\n"
    "</loop>\n<goto line=\"%n%\"/>\n</tavbody>\n</tav>\n";
const std::string kFailing = kDoc.substr(0, kDoc.find("</tavbody>")) +
                             "<goto line=\"x y\"/>\n</tavbody>\n</tav>\n";
// Another document, with a type declaration (the tree parse) and no lint
// finding: what an earlier compile left behind would show in its outcome.
const std::string kOther =
    "<?xml version=\"1.0\"?>\n<!DOCTYPE tav [<!ENTITY who 'world'>]>\n"
    "<tav version=\"1.0\" edition=\"korvane\"><tavhead><version>1</version></tavhead>"
    "<tavbody><msgbox>Hello &who;</msgbox><opendoc filename=\"x\"/></tavbody></tav>";

struct Outcome {
  bool result = false;
  std::string text, errmsg;
  std::vector<std::string> events;
  size_t findings = 0;
  bool operator==(const Outcome&) const = default;
};

struct Host {
  tavjit::CTavJIT jit;
  std::vector<std::string> events;
  Host() {
    jit.OnErrorMessage([this](const std::string& m) { events.push_back("E:" + m); });
    jit.OnWarningMessage([this](const std::string& m) { events.push_back("W:" + m); });
    jit.InitDefault();
    jit.EnableLint(true);
  }
  Outcome Compile(const std::string& doc) {
    events.clear();
    Outcome o;
    o.result = jit.ExecuteFromBytes(doc);
    o.text = jit.Text();
    o.errmsg = jit.ErrMsg();
    o.events = events;
    o.findings = jit.LintFindings().size();
    return o;
  }
};

Outcome Alone(const std::string& doc) { return Host().Compile(doc); }

// What a handler may do to the instance that calls it.
enum class Action { kRegister, kReadText, kExecute, kInit, kToggleLint, kThrow };

struct HandlerError {};

void Act(Action action, tavjit::CTavJIT& jit, int* calls) {
  ++*calls;
  switch (action) {
    case Action::kRegister:
      // Enough handlers to move every earlier one if they were in a vector.
      for (int i = 0; i < 64; ++i) jit.OnWarningMessage([](const std::string&) {});
      jit.OnErrorMessage([](const std::string&) {});
      break;
    case Action::kReadText:
      (void)jit.Text().size();
      (void)jit.LintFindings().size();
      break;
    case Action::kExecute:
    case Action::kInit:
      try {
        if (action == Action::kExecute)
          jit.ExecuteFromBytes(kOther);
        else
          jit.InitDefault();
        ADD_FAILURE() << "a call from a handler was not refused";
      } catch (const tavjit::ExecuteError& e) {
        EXPECT_EQ(e.Number(), tavjit::kErrorBusy);
      }
      break;
    case Action::kToggleLint:
      jit.EnableLint(false);
      jit.EnableLint(true);
      break;
    case Action::kThrow:
      throw HandlerError{};
  }
}

TEST(HostSafety, HandlersMayCallBackIntoTheInstance) {
  const Outcome plain = Alone(kDoc), plain_failing = Alone(kFailing);
  ASSERT_TRUE(plain.result);
  ASSERT_FALSE(plain_failing.result);
  ASSERT_GT(plain.findings, 0u);
  enum class Event { kWarning, kError, kDiagnostic };
  for (Event event : {Event::kWarning, Event::kError, Event::kDiagnostic}) {
    for (Action action : {Action::kRegister, Action::kReadText, Action::kExecute, Action::kInit,
                          Action::kToggleLint, Action::kThrow}) {
      SCOPED_TRACE("event " + std::to_string(int(event)) + ", action " +
                   std::to_string(int(action)));
      Host host;
      int calls = 0;
      auto act = [&] { Act(action, host.jit, &calls); };
      if (event == Event::kWarning) host.jit.OnWarningMessage([&](const std::string&) { act(); });
      if (event == Event::kError) host.jit.OnErrorMessage([&](const std::string&) { act(); });
      if (event == Event::kDiagnostic)
        host.jit.OnDiagnostic([&](const tavjit::Diagnostic&) { act(); });
      for (const std::string* doc : {&kDoc, &kFailing}) {
        if (action == Action::kThrow && (event != Event::kError || doc == &kFailing)) {
          EXPECT_THROW(host.Compile(*doc), HandlerError);
          continue;
        }
        EXPECT_EQ(host.Compile(*doc), doc == &kDoc ? plain : plain_failing);
      }
      EXPECT_GT(calls, 0);
      // Whatever the handlers did, the next compile is as on a fresh instance.
      Outcome next = host.Compile(kOther);
      EXPECT_EQ(next.text, Alone(kOther).text);
      EXPECT_EQ(next.findings, 0u);
    }
  }
}

TEST(HostSafety, FailedAllocationsLeaveNothingForTheNextCompile) {
  ASSERT_TRUE(kXmlAllocatorSet);
  bool explained = false;
  Host host;  // one instance through every failure
  host.jit.EnableExplanations(true);
  // The streaming parse, then the tree parse, fail at every allocation.
  for (const std::string* failing_doc : {&kDoc, &kOther}) {
    const std::string& next_doc = failing_doc == &kDoc ? kOther : kDoc;
    const Outcome expected = Alone(next_doc);
    for (long n = 1;; ++n) {
      bool fired;
      {
        FailingAllocations failing(n);
        try {
          host.Compile(*failing_doc);
        } catch (const std::bad_alloc&) {
        }
        fired = failing.Fired();
      }
      for (const tavjit::Explanation& e : host.jit.Explanations())
        explained |= e.message == "out of memory";
      ASSERT_EQ(host.Compile(next_doc), expected) << "allocation " << n;
      if (!fired) break;  // the compile needs fewer allocations than n
    }
  }
  EXPECT_TRUE(explained);
}

TEST(HostSafety, MovedFromInstanceIsAsNew) {
  tavjit::CTavJIT a;
  a.InitDefault();
  tavjit::CTavJIT b(std::move(a));
  EXPECT_EQ(a.Text(), "");
  EXPECT_EQ(a.ErrMsg(), "");
  EXPECT_TRUE(a.LintFindings().empty());
  try {
    a.ExecuteFromBytes(kDoc);
    ADD_FAILURE() << "no error before Init";
  } catch (const tavjit::ExecuteError& e) {
    EXPECT_EQ(e.Number(), tavjit::kErrorInitNotCalled);
  }
  a.InitDefault();
  EXPECT_TRUE(a.ExecuteFromBytes(kDoc));
  EXPECT_EQ(a.Text(), Alone(kDoc).text);
  EXPECT_TRUE(b.ExecuteFromBytes(kDoc));
}

void ReadTextInCallback(void* user, const char*) {
  auto* c = static_cast<tavjit_compiler*>(user);
  (void)tavjit_text(c);
  EXPECT_EQ(tavjit_execute_bytes(c, "<x/>", 4), TAVJIT_RAISED);
  const int32_t number = tavjit_error_number(c);
  EXPECT_TRUE(number == TAVJIT_ERROR_BUSY || number == TAVJIT_ERROR_OUT_OF_MEMORY) << number;
}

TEST(HostSafety, NoExceptionCrossesTheCInterface) {
  for (long n = 1;; ++n) {
    FailingAllocations failing(n);
    EXPECT_NO_THROW({
      if (tavjit_compiler* c = tavjit_create()) {
        tavjit_on_warning_message(c, ReadTextInCallback, c);
        if (tavjit_init_default(c) == TAVJIT_OK)
          tavjit_execute_bytes(c, kDoc.data(), kDoc.size());
        (void)tavjit_text(c);
        tavjit_destroy(c);
      }
    }) << "allocation " << n;
    if (!failing.Fired()) break;
  }
}

TEST(HostSafety, CompileOnManyThreadsAtOnceFromAColdStart) {
  // A host that uses libxml2 itself keeps its own loader.
  xmlExternalEntityLoader host_loader = [](const char*, const char*, xmlParserCtxtPtr) {
    return xmlParserInputPtr{nullptr};
  };
  xmlSetExternalEntityLoader(host_loader);
  constexpr int kThreads = 8, kRounds = 25;
  std::latch start(kThreads);
  std::vector<Outcome> first(kThreads), second(kThreads);
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      Host host;
      start.arrive_and_wait();
      first[t] = host.Compile(kDoc);
      second[t] = host.Compile(kOther);
      for (int i = 0; i < kRounds; ++i)
        if (host.Compile(i % 2 ? kOther : kDoc) != (i % 2 ? second[t] : first[t])) ++mismatches;
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(mismatches, 0);
  for (int t = 0; t < kThreads; ++t) {
    EXPECT_EQ(first[t], Alone(kDoc));
    EXPECT_EQ(second[t], Alone(kOther));
  }
  EXPECT_EQ(xmlGetExternalEntityLoader(), host_loader);
}

// libxml2's last error belongs to the host: a compile leaves it as it was,
// whether the host had one or not.
TEST(HostSafety, HostsLastLibxmlErrorIsKept) {
  for (bool host_error : {true, false}) {
    xmlResetLastError();
    if (host_error) ASSERT_FALSE(xmlReadMemory("<a>", 3, nullptr, nullptr, XML_PARSE_NOERROR));
    const xmlError* before = xmlGetLastError();
    const std::string message = before ? before->message : "";
    for (const std::string& doc : {kDoc, kOther, std::string("<tav")}) Alone(doc);
    const xmlError* after = xmlGetLastError();
    ASSERT_EQ(after != nullptr, host_error);
    if (after) EXPECT_EQ(after->message, message);
  }
}

TEST(HostSafety, InitOutcomeAndCarryOverAreVisible) {
  tavjit::CTavJIT jit;
  jit.Init("/nonexistent/catalogue.tavcat");
  EXPECT_EQ(jit.LastInit().elements, 0u);
  EXPECT_NE(jit.LastInit().problem.find("/nonexistent/catalogue.tavcat"), std::string::npos);
  jit.InitFromBytes("not a catalogue");
  EXPECT_NE(jit.LastInit().problem, "");
  jit.InitDefault();
  EXPECT_EQ(jit.LastInit().elements, 69u);
  EXPECT_EQ(jit.LastInit().problem, "");

  auto goto_line = [&](const std::string& attrs) {
    jit.ExecuteFromBytes(
        "<tav version=\"1.0\" edition=\"korvane\"><tavhead><version>1</version></tavhead>"
        "<tavbody><goto " + attrs + "/></tavbody></tav>");
    return jit.Text();
  };
  const std::string seven = goto_line("line=\"7\""), one = Alone(
      "<tav version=\"1.0\" edition=\"korvane\"><tavhead><version>1</version></tavhead>"
      "<tavbody><goto/></tavbody></tav>").text;
  EXPECT_EQ(goto_line(""), seven);  // carried over, as specified
  jit.SetCarryOver(false);
  goto_line("line=\"7\"");
  EXPECT_EQ(goto_line(""), one);
}

}  // namespace
