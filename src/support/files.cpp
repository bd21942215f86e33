// Reading whole files and replacing them atomically, on POSIX systems;
// files_windows.cpp serves Windows.
#ifndef _WIN32

#include "support/files.h"
#include "support/memory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tavjit {

ReadStatus ReadWholeFile(const std::string& path, std::string* out) {
  struct stat st;
  if (path.empty() || ::stat(path.c_str(), &st) != 0 || S_ISDIR(st.st_mode))
    return ReadStatus::Missing;
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return ReadStatus::Unreadable;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  bool out_of_memory = false;
  std::string data;
  if (ok) {
    try {
      // Read to the end rather than trusting the size: some files report 0
      // and some grow. The bytes go straight into the string, sized one byte
      // past the size reported, so that the read that finds the end fits.
      data.reserve(st.st_size > 0 ? static_cast<size_t>(st.st_size) + 1 : 65536);
      AdviseHugePages(data.data(), data.capacity());
      data.resize(data.capacity());
      size_t used = 0;
      for (;;) {
        if (used == data.size()) data.resize(data.size() * 2);
        ssize_t n = ::read(fd, data.data() + used, data.size() - used);
        if (n > 0) {
          used += static_cast<size_t>(n);
        } else if (n == 0) {
          break;
        } else if (errno != EINTR) {
          ok = false;
          break;
        }
      }
      data.resize(used);
    } catch (const std::bad_alloc&) {
      ok = false;
      out_of_memory = true;
    } catch (const std::length_error&) {
      ok = false;
      out_of_memory = true;
    }
  }
  if (::close(fd) != 0) ok = false;
  if (out_of_memory) return ReadStatus::OutOfMemory;
  if (!ok) return ReadStatus::Unreadable;
  *out = std::move(data);
  return ReadStatus::Ok;
}

namespace {

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool Fail(std::string* error, const char* what) {
  if (error) *error = std::string(what) + ": " + std::strerror(errno);
  return false;
}

}  // namespace

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  std::string target = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    target = real;
    std::free(real);
  }
  size_t slash = target.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  if (base.empty()) {
    if (error) *error = "no file name";
    return false;
  }

  struct stat old;
  const bool have_old = ::stat(target.c_str(), &old) == 0;
  if (have_old && !S_ISREG(old.st_mode)) {
    if (error) *error = "not a regular file";
    return false;
  }

  static std::atomic<unsigned> counter{0};
  std::string temp;
  int fd = -1;
  for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
    temp = dir + "/." + base + ".tmp" + std::to_string(::getpid()) + "-" +
           std::to_string(counter++);
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0 && errno != EEXIST) return Fail(error, "cannot create a temporary file");
  }
  if (fd < 0) return Fail(error, "cannot create a temporary file");

  bool ok = WriteAll(fd, bytes);
  if (ok && have_old) ok = ::fchmod(fd, old.st_mode & 07777) == 0;
  if (ok) ok = ::fsync(fd) == 0;
  int saved = errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    saved = errno;
  }
  if (ok && ::rename(temp.c_str(), target.c_str()) != 0) {
    ok = false;
    saved = errno;
  }
  if (!ok) {
    ::unlink(temp.c_str());
    errno = saved;
    return Fail(error, "cannot write");
  }
  // Make the rename itself durable; the new content is in place either way.
  int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dfd >= 0) {
    ::fsync(dfd);
    ::close(dfd);
  }
  return true;
}

}  // namespace tavjit

#endif  // _WIN32
