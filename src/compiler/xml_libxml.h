// What the two parses share of libxml2: the guard that keeps the library
// silent and offline for one parse, and a few small helpers.
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstdint>
#include <string_view>

namespace tavjit::xml {

// Open ancestors of the deepest element accepted. Deeper documents are
// refused rather than handed to callers that walk them recursively.
constexpr int kMaxDepth = 256;

struct ErrorLog {
  int worst = XML_ERR_NONE;
};

// Installs silent error handlers and an entity loader that refuses
// everything for one parse, and puts back whatever the host had, libxml2's
// last error included.
class LibraryStateGuard {
 public:
  explicit LibraryStateGuard(ErrorLog* log);
  ~LibraryStateGuard();
  LibraryStateGuard(const LibraryStateGuard&) = delete;
  LibraryStateGuard& operator=(const LibraryStateGuard&) = delete;

 private:
  xmlStructuredErrorFunc structured_;
  void* structured_ctx_;
  xmlGenericErrorFunc generic_;
  void* generic_ctx_;
  xmlExternalEntityLoader loader_;
  bool had_last_error_ = false;
  xmlError last_error_{};
};

// The line of the '<' that opens the tag being reported: libxml2 reports
// the start tag once it has read all of it.
uint32_t StartTagLine(xmlParserCtxtPtr ctxt);

// libxml2 stops at a NUL byte as if the input ended there.
bool ConsumedAll(xmlParserCtxtPtr ctxt);

// A byte order mark decides the encoding; libxml2 would otherwise let the
// declaration switch away from it.
bool HasByteOrderMark(std::string_view bytes);

// Parser options common to both parses. Never NOENT, DTDLOAD, DTDATTR,
// DTDVALID or XINCLUDE: nothing outside the bytes is ever read.
int BaseOptions(std::string_view bytes);

}  // namespace tavjit::xml
