// The libxml2 helpers both parses use.
#include "xml/libxml.h"

#include <libxml/globals.h>
#include <libxml/parserInternals.h>
#include <string.h>

#include <mutex>

namespace tavjit::xml {

namespace {

void OnStructuredError(void* ctx, xmlErrorPtr error) {
  auto* log = static_cast<ErrorLog*>(ctx);
  if (!error) return;
  if (error->level > log->worst) log->worst = error->level;
  if (error->code == XML_ERR_NO_MEMORY) log->out_of_memory = true;
}

void OnGenericError(void*, const char*, ...) {}

xmlParserInputPtr RefuseEntity(void*, const xmlChar*, const xmlChar*) { return nullptr; }

void IgnoreExternalSubset(void*, const xmlChar*, const xmlChar*, const xmlChar*) {}

// libxml2's first initialisation is not safe when threads race to it.
xmlStructuredErrorFunc InitialisedLibrary() {
  static std::once_flag once;
  std::call_once(once, xmlInitParser);
  return xmlStructuredError;
}

#ifdef _WIN32
// Windows' C library has no memrchr.
const void* memrchr(const void* s, int c, size_t n) {
  for (const auto* p = static_cast<const unsigned char*>(s) + n; p != s;)
    if (*--p == static_cast<unsigned char>(c)) return p;
  return nullptr;
}
#endif

}  // namespace

void RefuseExternalLoads(xmlSAXHandler* sax) {
  sax->resolveEntity = RefuseEntity;
  sax->externalSubset = IgnoreExternalSubset;
}

LibraryStateGuard::LibraryStateGuard(ErrorLog* log)
    : structured_(InitialisedLibrary()),
      structured_ctx_(xmlStructuredErrorContext),
      generic_(xmlGenericError),
      generic_ctx_(xmlGenericErrorContext) {
  if (xmlErrorPtr last = xmlGetLastError()) {
    had_last_error_ = true;
    xmlCopyError(last, &last_error_);
  }
  xmlSetStructuredErrorFunc(log, OnStructuredError);
  xmlSetGenericErrorFunc(nullptr, OnGenericError);
}

LibraryStateGuard::~LibraryStateGuard() {
  xmlSetGenericErrorFunc(generic_ctx_, generic_);
  xmlSetStructuredErrorFunc(structured_ctx_, structured_);
  if (had_last_error_) {
    if (xmlErrorPtr last = xmlGetLastError()) xmlCopyError(&last_error_, last);
    xmlResetError(&last_error_);
  } else {
    xmlResetLastError();
  }
}

uint32_t StartTagLine(xmlParserCtxtPtr ctxt) {
  xmlParserInputPtr in = ctxt->input;
  if (!in || in->line <= 0 || !in->cur || !in->base) return 0;
  const void* lt = memrchr(in->base, '<', static_cast<size_t>(in->cur - in->base));
  if (!lt) return static_cast<uint32_t>(in->line);
  uint64_t newlines = 0;
  for (const xmlChar* p = static_cast<const xmlChar*>(lt) + 1;
       (p = static_cast<const xmlChar*>(memchr(p, '\n', static_cast<size_t>(in->cur - p))));
       ++p)
    ++newlines;
  return newlines < static_cast<uint64_t>(in->line)
             ? static_cast<uint32_t>(static_cast<uint64_t>(in->line) - newlines)
             : 0;
}

std::vector<int> AttributeOrder(xmlParserCtxtPtr ctxt, int nb_namespaces,
                                const xmlChar** namespaces) {
  xmlParserInputPtr in = ctxt->input;
  if (nb_namespaces == 0 || !in || !in->cur || !in->base) return {};
  // No '<' can stand inside a tag, so the last one before the position is
  // where the tag starts.
  const auto* p = static_cast<const xmlChar*>(
      memrchr(in->base, '<', static_cast<size_t>(in->cur - in->base)));
  if (!p) return {};
  const xmlChar* const end = in->cur;
  auto is_space = [](xmlChar c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  auto skip_spaces = [&] {
    while (p < end && is_space(*p)) ++p;
  };
  ++p;
  while (p < end && !is_space(*p) && *p != '/' && *p != '>') ++p;  // the element's name
  std::vector<int> order;
  std::vector<bool> ns_done(static_cast<size_t>(nb_namespaces), false);
  bool reordered = false, seen_other = false;
  for (;;) {
    skip_spaces();
    if (p >= end || *p == '/' || *p == '>') break;
    const xmlChar* name = p;
    while (p < end && !is_space(*p) && *p != '=') ++p;
    const std::string_view n(reinterpret_cast<const char*>(name), static_cast<size_t>(p - name));
    skip_spaces();
    if (p >= end || *p != '=') return {};
    ++p;
    skip_spaces();
    if (p >= end || (*p != '"' && *p != '\'')) return {};
    p = static_cast<const xmlChar*>(memchr(p + 1, *p, static_cast<size_t>(end - p - 1)));
    if (!p) return {};
    ++p;
    int index = -1;
    if (n == "xmlns" || n.starts_with("xmlns:")) {
      const std::string_view prefix = n.size() > 5 ? n.substr(6) : std::string_view();
      for (int i = 0; i < nb_namespaces; ++i) {
        const xmlChar* pre = namespaces[2 * i];
        const std::string_view have =
            pre ? std::string_view(reinterpret_cast<const char*>(pre)) : std::string_view();
        if (!ns_done[static_cast<size_t>(i)] && (pre != nullptr) == (n.size() > 5) &&
            have == prefix) {
          index = i;
          ns_done[static_cast<size_t>(i)] = true;
          break;
        }
      }
      if (index < 0) continue;  // a declaration libxml2 drops, such as xmlns:xml
      reordered |= seen_other;
    } else {
      seen_other = true;
    }
    order.push_back(index);
  }
  if (!reordered) return {};
  return order;
}

// libxml2 stops at a NUL byte as if the input ended there.
static bool ConsumedAll(xmlParserCtxtPtr ctxt) {
  xmlParserInputPtr in = ctxt->input;
  if (!in || in->cur != in->end) return false;
  return !in->buf || !in->buf->raw || xmlBufUse(in->buf->raw) == 0;
}

bool HasByteOrderMark(std::string_view b) {
  return b.starts_with("\xEF\xBB\xBF") || b.starts_with("\xFF\xFE") ||
         b.starts_with("\xFE\xFF") || b.starts_with(std::string_view("\0\0\xFE\xFF", 4));
}

int BaseOptions(std::string_view bytes) {
  int options = XML_PARSE_NONET;
  if (HasByteOrderMark(bytes)) options |= XML_PARSE_IGNORE_ENC;
  return options;
}

bool TooDeep(xmlParserCtxtPtr ctxt) {
  constexpr int kMaxDepth = 256;
  return ctxt->nameNr > kMaxDepth;
}

bool Succeeded(xmlParserCtxtPtr ctxt, const ErrorLog& log) {
  return ctxt->wellFormed && ctxt->nsWellFormed && log.worst < XML_ERR_ERROR && ConsumedAll(ctxt);
}

}  // namespace tavjit::xml
