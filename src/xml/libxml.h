// What the two parses share of libxml2: the guard that keeps the library
// silent and offline for one parse, and a few small helpers.
#pragma once

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include <cstdint>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "support/place.h"
#include "xml/document.h"

namespace tavjit::xml {

// Places of positions in the main input of one parse. Once the parser has
// read far, its buffer keeps only the end of what it read, so the start of
// the current line is remembered as positions go by; each byte is looked
// at once however long the line.
class PlaceFinder {
 public:
  explicit PlaceFinder(xmlParserCtxtPtr ctxt = nullptr) : ctxt_(ctxt) {}
  void SetContext(xmlParserCtxtPtr ctxt) { ctxt_ = ctxt; }
  // The place of p, a position at or before the current one in ctxt's input,
  // known to be on line `line`. Column 0 outside the main input (inside an
  // entity) or where the line's start has not been seen.
  Place At(xmlParserCtxtPtr ctxt, const xmlChar* p, uint32_t line);
  // The place of the current position (of the main input when ctxt is null).
  Place Here(xmlParserCtxtPtr ctxt = nullptr);
  // The same without reading the buffer, for an error of the encoding layer:
  // it may come while the buffer moves, and whether it has moved yet depends
  // on the heap. A column only where the line's start is known already.
  Place HereUnread() const;

 private:
  xmlParserCtxtPtr ctxt_;
  uint32_t line_ = 0;         // the line whose start is known
  uint64_t line_start_ = 0;   // offsets in the input's UTF-8 text
  uint64_t scanned_ = 0;      // everything before it has been looked at
};

// What one parse's error handler gathers.
struct ErrorLog {
  int worst = XML_ERR_NONE;
  bool out_of_memory = false;
  PlaceFinder places;
  std::vector<Problem>* problems = nullptr;  // kept when given
  // Adds a problem of tavjit's own (never throws: out of memory is noted).
  void Add(Place place, std::string reason);
};

// Initialises libxml2 once for the process, whichever thread comes first;
// then installs silent error handlers for one parse on this thread, and puts
// back whatever the host had, libxml2's last error included. (libxml2 keeps
// these per thread; nothing process-wide is touched.)
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
  bool had_last_error_ = false;
  xmlError last_error_{};
};

// Makes a parse's own handler refuse every external entity and subset, so
// that nothing outside the bytes is read whatever loader the process has.
void RefuseExternalLoads(xmlSAXHandler* sax);

// Runs f inside a libxml2 callback. An exception must not unwind through
// libxml2's frames: running out of memory stops the parse instead.
template <class F>
void WithinCallback(void* ctx, bool* out_of_memory, F&& f) {
  try {
    f();
  } catch (const std::bad_alloc&) {
    *out_of_memory = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
  }
}

// The last c before the current position of in (within a tag's length),
// or the current position.
const xmlChar* BackTo(xmlParserInputPtr in, char c);

// The place of the '<' that opens the tag being reported: libxml2 reports
// the start tag once it has read all of it.
Place StartTagPlace(xmlParserCtxtPtr ctxt, PlaceFinder* places);

// libxml2 reports a start tag's namespace declarations apart from its other
// attributes. Their order as written, read off the tag's own bytes: for each
// attribute of the tag, the index of its declaration, or -1 for the next
// other attribute. Empty when the declarations come first anyway (or the
// tag cannot be read back).
std::vector<int> AttributeOrder(xmlParserCtxtPtr ctxt, int nb_namespaces,
                                const xmlChar** namespaces);

// Calls on_ns(i) for declaration i and on_attr(j) for other attribute j, in
// the order AttributeOrder gave (declarations first when it is empty);
// stops at the first that returns false. Attributes the tag does not show,
// such as defaults from a document type, come last.
template <class OnNs, class OnAttr>
bool ForEachInTagOrder(const std::vector<int>& order, int nb_namespaces, int nb_attributes,
                       OnNs&& on_ns, OnAttr&& on_attr) {
  std::vector<bool> ns_done(static_cast<size_t>(nb_namespaces), false);
  int next_attr = 0;
  for (int k : order) {
    if (k >= 0) {
      ns_done[static_cast<size_t>(k)] = true;
      if (!on_ns(k)) return false;
    } else if (next_attr < nb_attributes) {
      if (!on_attr(next_attr++)) return false;
    }
  }
  for (int i = 0; i < nb_namespaces; ++i)
    if (!ns_done[static_cast<size_t>(i)] && !on_ns(i)) return false;
  for (; next_attr < nb_attributes; ++next_attr)
    if (!on_attr(next_attr)) return false;
  return true;
}

// A byte order mark decides the encoding; libxml2 would otherwise let the
// declaration switch away from it.
bool HasByteOrderMark(std::string_view bytes);

inline constexpr char kTooDeep[] =
    "elements nest more than 256 deep here: tavjit reads at most 256 levels";

// The one depth limit of both parses, for the element whose start tag is
// being reported: at most 256 open ancestors. Deeper documents are refused
// rather than handed to callers that walk them recursively.
bool TooDeep(xmlParserCtxtPtr ctxt);

// Whether a finished parse succeeded as far as libxml2 can tell: well-formed,
// namespaces included, nothing logged as an error, every byte read.
bool Succeeded(xmlParserCtxtPtr ctxt, const ErrorLog& log);

// Parser options common to both parses. Never NOENT, DTDLOAD, DTDATTR,
// DTDVALID or XINCLUDE: nothing outside the bytes is ever read.
int BaseOptions(std::string_view bytes);

}  // namespace tavjit::xml
