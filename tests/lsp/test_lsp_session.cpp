// The language server's whole replies, in process: each session file in
// tests/lsp/sessions/ lists what a client sends ("-->") and every message
// the server sends back ("<--"), exactly and in order. "@NAME" in a message
// sent stands for the file NAME beside the sessions: its text for "text",
// its path otherwise. TAVJIT_UPDATE_SESSIONS=1 writes the replies as the
// server gives them; read the difference before checking it in.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "lsp/server.h"

namespace tavjit::lsp {
namespace {

namespace fs = std::filesystem;
const fs::path kDir = fs::path(TAVJIT_SOURCE_DIR) / "tests/lsp/sessions";

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

void Expand(json& j, const std::string& key = "") {
  if (j.is_string() && j.get<std::string>().starts_with("@")) {
    const fs::path p = kDir / j.get<std::string>().substr(1);
    j = key == "text" ? Read(p) : p.string();
  }
  if (j.is_object())
    for (auto& [k, v] : j.items()) Expand(v, k);
  if (j.is_array())
    for (json& v : j) Expand(v, key);
}

TEST(LspSession, RepliesAsRecorded) {
  const bool update = std::getenv("TAVJIT_UPDATE_SESSIONS") != nullptr;
  size_t sessions = 0;
  for (const auto& entry : fs::directory_iterator(kDir)) {
    if (entry.path().extension() != ".session") continue;
    ++sessions;
    SCOPED_TRACE(entry.path().filename().string());
    std::vector<json> sent;
    Server server(*Catalogue::FromBytes(DefaultCatalogue(), nullptr), {},
                  [&](const json& m) { sent.push_back(m); });
    std::istringstream in(Read(entry.path()));
    std::string rewritten, line;
    size_t next = 0, number = 0;
    while (std::getline(in, line)) {
      ++number;
      if (line.starts_with("<-- ")) {
        if (update) continue;
        ASSERT_LT(next, sent.size()) << "line " << number << ": no reply came";
        EXPECT_EQ(sent[next++], json::parse(line.substr(4))) << "line " << number;
        continue;
      }
      rewritten += line + "\n";
      if (!line.starts_with("--> ")) continue;
      EXPECT_EQ(next, sent.size()) << "line " << number << ": a reply more than recorded: "
                                   << (next < sent.size() ? sent[next].dump(-1, ' ', false, json::error_handler_t::replace) : "");
      next = sent.size();
      json message = json::parse(line.substr(4));
      Expand(message);
      server.Receive(message.dump());
      server.RunDue(Server::Clock::now() + std::chrono::hours(1));
      for (json& m : sent)
        if (m.contains("result") && m["result"].is_object() && m["result"].contains("serverInfo"))
          m["result"]["serverInfo"]["version"] = "VERSION";
      for (size_t i = next; i < sent.size(); ++i)
        rewritten += "<-- " + sent[i].dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
      if (update) next = sent.size();
    }
    EXPECT_EQ(next, sent.size()) << "replies more than recorded";
    if (update) std::ofstream(entry.path(), std::ios::binary) << rewritten;
  }
  EXPECT_GT(sessions, 0u);
}

}  // namespace
}  // namespace tavjit::lsp
