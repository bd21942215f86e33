// Files the tool writes are replaced whole: a process killed mid-write, or a
// write that fails, leaves the earlier file as it was. A kill may leave a
// temporary ".NAME.tmp*" beside the file; nothing else.
#ifdef TAVJIT_TOOL

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "test_support.h"

using namespace tavtest;
using namespace std::chrono_literals;

namespace {

// Starts the tool with args in dir; before exec, setup runs in the child.
pid_t Spawn(const fs::path& dir, const std::vector<std::string>& args,
            const std::function<void()>& setup = {}) {
  pid_t pid = ::fork();
  if (pid == 0) {
    std::vector<char*> argv{const_cast<char*>(TAVJIT_TOOL)};
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    int null = ::open("/dev/null", O_WRONLY);
    if (null < 0 || ::chdir(dir.c_str()) != 0) ::_exit(127);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (setup) setup();
    ::execv(TAVJIT_TOOL, argv.data());
    ::_exit(127);
  }
  return pid;
}

int Wait(pid_t pid) {
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Names in dir other than those expected, and the temporaries of out, which
// it removes.
std::vector<std::string> Strays(const fs::path& dir, const std::vector<std::string>& expected,
                                const std::string& out, int* temporaries) {
  std::vector<std::string> strays;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.starts_with("." + out + ".tmp")) {
      ++*temporaries;
      fs::remove(e.path());
    } else if (std::find(expected.begin(), expected.end(), name) == expected.end()) {
      strays.push_back(name);
    }
  }
  return strays;
}

bool TemporaryExists(const fs::path& dir, const std::string& out) {
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(dir, ec))
    if (e.path().filename().string().starts_with("." + out + ".tmp")) return true;
  return false;
}

// Kills the tool at random moments, half of them just after it starts
// writing, and checks out is always its old or its complete new content.
void KillLoop(const TempDir& dir, const std::vector<std::string>& args, const std::string& input,
              const std::string& out, int rounds) {
  const std::string old_bytes = "an earlier file\r\n";
  const std::string out_path = (dir.path() / out).string();
  // The new content, from a run left alone.
  std::vector<std::string> full = args;
  full.back() = "reference";
  auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(Wait(Spawn(dir.path(), full)), 0);
  const auto duration = std::chrono::steady_clock::now() - start;
  const std::string new_bytes = ReadFile((dir.path() / "reference").string());
  ASSERT_GT(new_bytes.size(), 1u << 20);
  fs::remove(dir.path() / "reference");

  std::mt19937 rng(4711);
  int old_seen = 0, new_seen = 0, temporaries = 0;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE(round);
    dir.Write(out, old_bytes);
    pid_t pid = Spawn(dir.path(), args);
    ASSERT_GT(pid, 0);
    if (round % 2 == 0) {
      std::this_thread::sleep_for(duration * (rng() % 1000) / 1000);
    } else {
      const auto deadline = std::chrono::steady_clock::now() + duration * 3;
      while (!TemporaryExists(dir.path(), out) && std::chrono::steady_clock::now() < deadline) {
      }
      std::this_thread::sleep_for(std::chrono::microseconds(rng() % 3000));
    }
    ::kill(pid, SIGKILL);
    Wait(pid);
    const std::string now = ReadFile(out_path);
    ASSERT_TRUE(now == old_bytes || now == new_bytes) << "size " << now.size();
    (now == old_bytes ? old_seen : new_seen)++;
    EXPECT_EQ(Strays(dir.path(), {input, out}, out, &temporaries), std::vector<std::string>{});
  }
  // Some kills must have landed while the new file was being written.
  EXPECT_GT(temporaries, 0);
  ::testing::Test::RecordProperty("old", old_seen);
  ::testing::Test::RecordProperty("new", new_seen);
}

TEST(NothingLost, ScriptSurvivesKillMidWrite) {
  TempDir dir;
  std::string body = "<var name=\"n\">1</var>\n";
  for (int i = 0; i < 30000; ++i)
    body += "<inserttext>Line %n% of a long document, " + std::to_string(i) + "</inserttext>\n";
  dir.Write("big.tav", Doc(body));
  KillLoop(dir, {"compile", "big.tav", "-o", "big.vbs"}, "big.tav", "big.vbs", 12);
}

TEST(NothingLost, CatalogueSurvivesKillMidWrite) {
  TempDir dir;
  std::string json = "{\"elements\": [\n";
  for (int i = 0; i < 5000; ++i) {
    json += std::string(i ? "," : "") + "{\"name\": \"e" + std::to_string(i) +
            "\", \"description\": \"An element of a long catalogue\", \"attributes\": [" +
            "{\"name\": \"a\", \"type\": 5, \"default\": 1, \"description\": \"an attribute\"}," +
            "{\"name\": \"b\", \"type\": 7, \"arrayvalues\": \"x|y|z\"}]}\n";
  }
  dir.Write("big.json", json + "]}\n");
  KillLoop(dir, {"catalogue", "build", "big.json", "-o", "big.tavcat"}, "big.json",
           "big.tavcat", 10);
}

// A write that runs out of room (the file size limit stops it part way)
// fails the run and leaves the old file, with no temporary beside it.
TEST(NothingLost, FailedWriteKeepsEarlierFile) {
  TempDir dir;
  std::string body;
  for (int i = 0; i < 2000; ++i) body += "<inserttext>line " + std::to_string(i) + "</inserttext>";
  dir.Write("doc.tav", Doc(body));
  dir.Write("cat.json", "{\"elements\": [{\"name\": \"goto\", \"description\": \"" +
                            std::string(20000, 'd') + "\"}]}");
  auto limit = [] {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit r{8192, 8192};
    ::setrlimit(RLIMIT_FSIZE, &r);
  };
  const struct {
    std::vector<std::string> args;
    std::string input, out;
  } cases[] = {
      {{"compile", "doc.tav", "-o", "out.vbs"}, "doc.tav", "out.vbs"},
      {{"catalogue", "build", "cat.json", "-o", "out.tavcat"}, "cat.json", "out.tavcat"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.out);
    dir.Write(c.out, "an earlier file");
    EXPECT_EQ(Wait(Spawn(dir.path(), c.args, limit)), 1);
    EXPECT_EQ(ReadFile((dir.path() / c.out).string()), "an earlier file");
    int temporaries = 0;
    std::vector<std::string> expected{"doc.tav", "cat.json", "out.vbs"};
    if (c.out == "out.tavcat") expected.push_back("out.tavcat");
    EXPECT_EQ(Strays(dir.path(), expected, c.out, &temporaries), std::vector<std::string>{});
    EXPECT_EQ(temporaries, 0);
  }
}

}  // namespace

#endif  // TAVJIT_TOOL
