// The server on standard input and output: framing, waiting for input or for
// the next debounced diagnostics, writing whole messages.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "lsp/framing.h"
#include "lsp/server.h"

namespace tavjit::lsp {

namespace {

// A larger body is refused (and skipped), not buffered.
constexpr size_t kMaxBody = 64u << 20;

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

}  // namespace

int RunServer(const ServerOptions& options) {
  std::string error;
  std::optional<Catalogue> catalogue = LoadCatalogue(options.catalogue, &error);
  if (!catalogue) {
    std::cerr << "tavjit: error: " << error << '\n';
    return 2;
  }
  // A client that goes away must end the server through a failed write,
  // not a signal.
  ::signal(SIGPIPE, SIG_IGN);
  bool output_gone = false;
  Server server(std::move(*catalogue), options, [&](const json& message) {
    if (!output_gone) output_gone = !WriteAll(STDOUT_FILENO, Frame(Dump(message)));
  });
  FrameReader reader(kMaxBody);
  char buf[1 << 16];
  while (!server.Exited() && !output_gone) {
    int timeout = -1;
    if (auto deadline = server.Deadline()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          *deadline - Server::Clock::now());
      timeout = static_cast<int>(std::max<int64_t>(0, left.count()));
    }
    pollfd in{STDIN_FILENO, POLLIN, 0};
    const int ready = ::poll(&in, 1, timeout);
    if (ready < 0 && errno != EINTR) break;
    if (ready > 0) {
      const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // the client closed its end
      reader.Feed({buf, static_cast<size_t>(n)});
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
