// Whole-file reading and replacing on Windows. Paths are UTF-8, as
// everywhere in the library, and reach the file system as UTF-16.
#ifdef _WIN32

#include <windows.h>

#include <atomic>
#include <string>

#include "support/files.h"

namespace tavjit {

namespace {

// A path that is not UTF-8 is taken in the ANSI code page, the narrow
// strings older Windows programs pass.
std::wstring Wide(const std::string& s) {
  for (UINT page : {UINT{CP_UTF8}, UINT{CP_ACP}}) {
    const DWORD flags = page == CP_UTF8 ? MB_ERR_INVALID_CHARS : 0;
    const int n = ::MultiByteToWideChar(page, flags, s.data(), static_cast<int>(s.size()), nullptr, 0);
    if (n <= 0) continue;
    std::wstring w(static_cast<size_t>(n), L'\0');
    ::MultiByteToWideChar(page, flags, s.data(), static_cast<int>(s.size()), w.data(), n);
    return w;
  }
  return std::wstring();
}

std::string SystemMessage(DWORD code) {
  char* text = nullptr;
  const DWORD n = ::FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
  std::string message = n ? std::string(text, n) : "error " + std::to_string(code);
  if (text) ::LocalFree(text);
  while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                              message.back() == ' ' || message.back() == '.'))
    message.pop_back();
  return message;
}

bool Fail(std::string* error, const char* what, DWORD code = ::GetLastError()) {
  if (error) *error = std::string(what) + ": " + SystemMessage(code);
  return false;
}

// The file a path names, through any symbolic link; the path itself when
// nothing is there yet.
std::wstring FinalPath(const std::wstring& path) {
  HANDLE h = ::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return path;
  std::wstring out(MAX_PATH, L'\0');
  DWORD n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), 0);
  if (n >= out.size()) {
    out.resize(n + 1);
    n = ::GetFinalPathNameByHandleW(h, out.data(), static_cast<DWORD>(out.size()), 0);
  }
  ::CloseHandle(h);
  if (n == 0 || n >= out.size()) return path;
  out.resize(n);
  return out;
}

}  // namespace

ReadStatus ReadWholeFile(const std::string& path, std::string* out) {
  const std::wstring wpath = Wide(path);
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (wpath.empty() ||
      !::GetFileAttributesExW(wpath.c_str(), GetFileExInfoStandard, &attributes) ||
      (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return ReadStatus::Missing;
  // Others may go on reading, writing or deleting; a file someone holds
  // locked fails here.
  HANDLE h = ::CreateFileW(wpath.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return ReadStatus::Unreadable;
  bool ok = ::GetFileType(h) == FILE_TYPE_DISK;
  bool out_of_memory = false;
  std::string data;
  if (ok) {
    try {
      LARGE_INTEGER size;
      if (::GetFileSizeEx(h, &size)) data.reserve(static_cast<size_t>(size.QuadPart));
      char buf[65536];
      for (DWORD n = 0; (ok = ::ReadFile(h, buf, sizeof buf, &n, nullptr) != 0) && n > 0;)
        data.append(buf, n);
    } catch (const std::exception&) {  // bad_alloc, length_error
      ok = false;
      out_of_memory = true;
    }
  }
  if (!::CloseHandle(h)) ok = false;
  if (out_of_memory) return ReadStatus::OutOfMemory;
  if (!ok) return ReadStatus::Unreadable;
  *out = std::move(data);
  return ReadStatus::Ok;
}

bool ReplaceFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  const std::wstring target = FinalPath(Wide(path));
  const size_t slash = target.find_last_of(L"\\/");
  const std::wstring dir = slash == std::wstring::npos ? L"." : target.substr(0, slash);
  const std::wstring base = slash == std::wstring::npos ? target : target.substr(slash + 1);
  if (base.empty()) {
    if (error) *error = "no file name";
    return false;
  }
  const DWORD old = ::GetFileAttributesW(target.c_str());
  if (old != INVALID_FILE_ATTRIBUTES && (old & FILE_ATTRIBUTE_DIRECTORY)) {
    if (error) *error = "not a regular file";
    return false;
  }

  static std::atomic<unsigned> counter{0};
  std::wstring temp;
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0; attempt < 100 && h == INVALID_HANDLE_VALUE; ++attempt) {
    temp = dir + L"\\." + base + L".tmp" + std::to_wstring(::GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++);
    h = ::CreateFileW(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
    if (h == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS)
      return Fail(error, "cannot create a temporary file");
  }
  if (h == INVALID_HANDLE_VALUE) return Fail(error, "cannot create a temporary file");

  bool ok = true;
  for (std::string_view rest = bytes; ok && !rest.empty();) {
    DWORD n = 0;
    const DWORD chunk = rest.size() > (1u << 30) ? (1u << 30) : static_cast<DWORD>(rest.size());
    ok = ::WriteFile(h, rest.data(), chunk, &n, nullptr) && n > 0;
    rest.remove_prefix(n);
  }
  if (ok) ok = ::FlushFileBuffers(h);
  DWORD saved = ::GetLastError();
  if (!::CloseHandle(h) && ok) {
    ok = false;
    saved = ::GetLastError();
  }
  if (ok && !::MoveFileExW(temp.c_str(), target.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ok = false;
    saved = ::GetLastError();
  }
  if (!ok) {
    ::DeleteFileW(temp.c_str());
    return Fail(error, "cannot write", saved);
  }
  return true;
}

}  // namespace tavjit

#endif  // _WIN32
