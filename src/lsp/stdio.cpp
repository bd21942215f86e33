// The server on standard input and output: framing, waiting for input or for
// the next debounced diagnostics, writing whole messages. Input is read on a
// thread of its own, so that one wait covers both on every platform.
#ifdef _WIN32
#include <io.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <thread>

#include "lsp/framing.h"
#include "lsp/server.h"

namespace tavjit::lsp {

namespace {

// A larger body is refused (and skipped), not buffered.
constexpr size_t kMaxBody = 64u << 20;

long ReadSome(char* buf, size_t size) {
#ifdef _WIN32
  return _read(0, buf, static_cast<unsigned>(size));
#else
  for (;;) {
    const ssize_t n = ::read(0, buf, size);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
#endif
}

bool WriteAll(std::string_view bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), stdout) == bytes.size() &&
         std::fflush(stdout) == 0;
}

// What the reading thread hands over. Shared, for the thread may outlive the
// loop: a read blocked on standard input cannot be called off portably, and
// the process ends around it.
struct Input {
  std::mutex mutex;
  std::condition_variable arrived;
  std::string bytes;
  bool ended = false;
};

void ReadInput(std::shared_ptr<Input> input) {
  char buf[1 << 16];
  for (;;) {
    const long n = ReadSome(buf, sizeof buf);
    std::lock_guard<std::mutex> lock(input->mutex);
    if (n <= 0) {
      input->ended = true;  // the client closed its end
    } else {
      input->bytes.append(buf, static_cast<size_t>(n));
    }
    input->arrived.notify_one();
    if (n <= 0) return;
  }
}

}  // namespace

int RunServer(const ServerOptions& options) {
  std::string error;
  std::optional<Catalogue> catalogue = LoadCatalogue(options.catalogue, &error);
  if (!catalogue) {
    std::cerr << "tavjit: error: " << error << '\n';
    return 2;
  }
#ifndef _WIN32
  // A client that goes away must end the server through a failed write,
  // not a signal.
  ::signal(SIGPIPE, SIG_IGN);
#endif
  bool output_gone = false;
  Server server(std::move(*catalogue), options, [&](const json& message) {
    if (!output_gone) output_gone = !WriteAll(Frame(Dump(message)));
  });
  FrameReader reader(kMaxBody);
  auto input = std::make_shared<Input>();
  std::thread(ReadInput, input).detach();
  std::string chunk;
  bool ended = false;
  while (!server.Exited() && !output_gone && !ended) {
    {
      std::unique_lock<std::mutex> lock(input->mutex);
      auto ready = [&] { return !input->bytes.empty() || input->ended; };
      if (auto deadline = server.Deadline())
        input->arrived.wait_until(lock, *deadline, ready);
      else
        input->arrived.wait(lock, ready);
      chunk.swap(input->bytes);
      input->bytes.clear();
      ended = input->ended && chunk.empty();
    }
    if (!chunk.empty()) {
      reader.Feed(chunk);
      while (!server.Exited()) {
        std::optional<FrameReader::Item> item = reader.Next();
        if (!item) break;
        if (item->ok)
          server.Receive(item->text);
        else
          server.ReceiveBroken(item->text);
      }
    }
    server.RunDue(Server::Clock::now());
  }
  return server.ExitCode();
}

}  // namespace tavjit::lsp
