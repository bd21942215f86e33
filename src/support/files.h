// Reading and replacing whole files.
#pragma once

#include <string>
#include <string_view>

namespace tavjit {

enum class ReadStatus { Ok, Missing, Unreadable, OutOfMemory };

// Reads a whole file. Missing: nothing at path, or a directory. Unreadable:
// it cannot be opened or read, or it is not a regular file (a pipe could
// block and a device never end). OutOfMemory: it did not fit.
ReadStatus ReadWholeFile(const std::string& path, std::string* out);

// Replaces path with bytes through a temporary file beside it, flushed and
// renamed over it, so readers see the old content or the new, never a mix,
// and a failure (or a killed process) leaves the old file as it was. Through
// a symbolic link the file it points to is replaced. error, if given, says
// why it failed.
bool ReplaceFileAtomically(const std::string& path, std::string_view bytes,
                           std::string* error = nullptr);

}  // namespace tavjit
