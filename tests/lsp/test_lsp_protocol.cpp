// `tavjit lsp` through its process boundary: what a client sends, in order,
// and the facts of the message that comes back, if one should; framing and
// bytes that are not JSON text, as they come through a pipe. The whole
// replies to every request are in sessions/ (test_lsp_session.cpp).
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "lsp/framing.h"

extern char** environ;

namespace {

using json = nlohmann::json;

class Server {
 public:
  Server() {
    ::signal(SIGPIPE, SIG_IGN);
    int in[2], out[2];
    EXPECT_EQ(::pipe(in), 0);
    EXPECT_EQ(::pipe(out), 0);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addclose(&fa, in[1]);
    posix_spawn_file_actions_addclose(&fa, out[0]);
    char* argv[] = {const_cast<char*>(TAVJIT_TOOL), const_cast<char*>("lsp"), nullptr};
    EXPECT_EQ(posix_spawn(&pid_, TAVJIT_TOOL, &fa, nullptr, argv, environ), 0);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    to_ = in[1];
    from_ = out[0];
  }
  ~Server() {
    if (to_ >= 0) ::close(to_);
    ::close(from_);
    if (pid_ > 0) Wait();
  }

  void Raw(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::write(to_, bytes.data(), bytes.size());
      if (n <= 0) return;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
  }
  void Send(const std::string& body) {
    Raw("Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body);
  }
  // The next message, or nullopt when none comes within the time.
  std::optional<json> Next(int timeout_ms = 10000) {
    while (true) {
      const size_t end = buf_.find("\r\n\r\n");
      if (end != std::string::npos) {
        const size_t length = std::stoul(buf_.substr(buf_.find(':') + 1));
        if (buf_.size() >= end + 4 + length) {
          json j = json::parse(buf_.substr(end + 4, length));
          buf_.erase(0, end + 4 + length);
          return j;
        }
      }
      pollfd p{from_, POLLIN, 0};
      if (::poll(&p, 1, timeout_ms) <= 0) return std::nullopt;
      char chunk[65536];
      const ssize_t n = ::read(from_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buf_.append(chunk, static_cast<size_t>(n));
    }
  }
  void CloseInput() {
    ::close(to_);
    to_ = -1;
  }
  int Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int to_ = -1, from_ = -1;
  std::string buf_;
};

const std::string kUri = "file:///m.tav";
const std::string kDoc =
    "<?xml version=\"1.0\"?>\n<tav version=\"1.0\" edition=\"korvane\">\n<tavhead><version>1</version>"
    "</tavhead>\n<tavbody>\n<var name=\"n\">1</var>\n<insrttext>%n%</insrttext>\n</tavbody>\n</tav>\n";

std::string Request(int id, const std::string& method, const json& params = json::object()) {
  return json{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}.dump();
}
std::string Notify(const std::string& method, const json& params) {
  return json{{"jsonrpc", "2.0"}, {"method", method}, {"params", params}}.dump();
}
json At(int line, int character) {
  return {{"textDocument", {{"uri", kUri}}}, {"position", {{"line", line}, {"character", character}}}};
}

struct Step {
  std::string bytes;  // sent as they are
  // Facts of the next message (JSON pointer, value); none: no message comes.
  std::vector<std::pair<std::string, json>> facts;
};

std::string Framed(const std::string& body) {
  return "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

TEST(LspProtocol, RequestsAndWhatComesBack) {
  const json change = {
      {"textDocument", {{"uri", kUri}, {"version", 2}}},
      {"contentChanges",
       {{{"range", {{"start", {{"line", 5}, {"character", 1}}}, {"end", {{"line", 5}, {"character", 10}}}}},
         {"text", "inserttext"}},
        {{"range", {{"start", {{"line", 5}, {"character", 17}}}, {"end", {{"line", 5}, {"character", 26}}}}},
         {"text", "inserttext"}}}}};
  const Step steps[] = {
      {Framed(Request(2, "initialize", {{"initializationOptions", {{"diagnosticsDelay", 0}}}})),
       {{"/id", 2}, {"/result/capabilities/positionEncoding", "utf-16"},
        {"/result/capabilities/textDocumentSync/change", 2}}},
      {Framed(Notify("initialized", json::object())), {}},
      {Framed(Notify("textDocument/didOpen",
                     {{"textDocument", {{"uri", kUri}, {"languageId", "tav"}, {"version", 1}, {"text", kDoc}}}})),
       {{"/method", "textDocument/publishDiagnostics"},
        {"/params/diagnostics/0/range/start", {{"line", 5}, {"character", 1}}},
        {"/params/diagnostics/0/severity", 2}}},
      {Framed(Notify("textDocument/didChange", change)),
       {{"/method", "textDocument/publishDiagnostics"}, {"/params/version", 2}, {"/params/diagnostics", json::array()}}},
      {Framed("{\"jsonrpc\": \"2.0\", \"id\": 8, \"method\": \"\xff\xfe\"}"), {{"/id", nullptr}, {"/error/code", -32700}}},
      {"Content-Length: 12\r\n\r\n" + Request(10, "shutdown"), {{"/id", nullptr}, {"/error/code", -32700}}},
      // After a broken frame the next header is found again.
      {Framed(Request(11, "textDocument/hover", At(4, 2))), {{"/id", 11}, {"/result/contents/kind", "markdown"}}},
      {"Content-Type: text/plain\r\n\r\n", {{"/error/code", -32700}}},
      {"Content-Length: 67108865\r\n\r\n" + std::string(67108865, 'x'), {{"/error/code", -32700}}},
      {Framed(Request(13, "shutdown")), {{"/id", 13}, {"/result", nullptr}}},
  };
  Server server;
  for (const Step& step : steps) {
    server.Raw(step.bytes);
    const std::string what = step.bytes.substr(0, 120);
    if (step.facts.empty()) continue;
    std::optional<json> m = server.Next();
    ASSERT_TRUE(m) << what;
    for (const auto& [pointer, value] : step.facts)
      EXPECT_EQ(m->value(json::json_pointer(pointer), json("<missing>")), value) << what << "\n" << m->dump();
  }
  server.Send(Notify("exit", json::object()));
  EXPECT_FALSE(server.Next(200));
  EXPECT_EQ(server.Wait(), 0);
}

// A client that goes away mid-frame, or exits without shutdown, ends the
// server with status 1.
TEST(LspProtocol, EndsWithoutShutdown) {
  for (const char* tail : {"Content-Length: 100\r\n\r\n{\"jsonrpc\"", ""}) {
    Server server;
    server.Send(Request(1, "initialize"));
    ASSERT_TRUE(server.Next());
    server.Raw(tail);
    if (*tail)
      server.CloseInput();
    else
      server.Send(Notify("exit", json::object()));
    EXPECT_EQ(server.Wait(), 1);
  }
}

// The framing alone: what comes out of a stream, fed whole or a byte at a
// time; "!" marks what the reader found wrong.
TEST(LspFraming, BodiesAndWhatIsWrongInOrder) {
  const std::string frame = "Content-Length: 1\r\n\r\n1";
  const struct {
    std::string stream;
    std::vector<std::string> items;
  } cases[] = {
      {"Content-Length: 2\r\n\r\n{}content-length:1\r\nContent-Type: x\r\n\r\n1", {"{}", "1"}},
      {"Content-Length: 1\r\nContent-Lengthy: 9\r\nX-Custom-Head1: 9\r\n\r\n1", {"1"}},
      {"Content-Length: x\r\n\r\n" + frame, {"!a header without a readable Content-Length", "1"}},
      {"Content-Type: a\r\n\r\n" + frame, {"!a header without a readable Content-Length", "1"}},
      {"Content-Length: 11\r\n\r\n01234567890" + frame,
       {"!a message of 11 bytes, over the limit of 10", "1"}},
      {"xyz{}\r\n" + frame, {"1"}},
      {std::string(9000, 'x'), {"!a header longer than 8192 bytes"}},
      {"Content-Length: 5\r\n\r\nab", {}},
  };
  for (const auto& c : cases) {
    for (bool bytewise : {false, true}) {
      SCOPED_TRACE(c.stream.substr(0, 40) + (bytewise ? " (a byte at a time)" : ""));
      tavjit::lsp::FrameReader reader(10);
      std::vector<std::string> items;
      auto drain = [&] {
        while (auto item = reader.Next()) {
          items.push_back((item->ok ? "" : "!") + item->text);
          if (items.size() > 10) return;
        }
      };
      for (size_t at = 0; at < c.stream.size(); at += bytewise ? 1 : c.stream.size()) {
        reader.Feed(std::string_view(c.stream).substr(at, bytewise ? 1 : c.stream.size()));
        drain();
      }
      EXPECT_EQ(items, c.items);
    }
  }
}

}  // namespace
