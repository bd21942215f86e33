#include "compiler/xml_libxml.h"

#include <libxml/globals.h>
#include <libxml/parserInternals.h>
#include <string.h>

namespace tavjit::xml {

namespace {

void OnStructuredError(void* ctx, xmlErrorPtr error) {
  auto* log = static_cast<ErrorLog*>(ctx);
  if (error && error->level > log->worst) log->worst = error->level;
}

void OnGenericError(void*, const char*, ...) {}

xmlParserInputPtr RefuseExternalEntity(const char*, const char*, xmlParserCtxtPtr) {
  return nullptr;
}

}  // namespace

LibraryStateGuard::LibraryStateGuard(ErrorLog* log)
    : structured_(xmlStructuredError),
      structured_ctx_(xmlStructuredErrorContext),
      generic_(xmlGenericError),
      generic_ctx_(xmlGenericErrorContext),
      loader_(xmlGetExternalEntityLoader()) {
  xmlInitParser();
  if (xmlErrorPtr last = xmlGetLastError()) {
    had_last_error_ = true;
    xmlCopyError(last, &last_error_);
  }
  xmlSetStructuredErrorFunc(log, OnStructuredError);
  xmlSetGenericErrorFunc(nullptr, OnGenericError);
  xmlSetExternalEntityLoader(RefuseExternalEntity);
}

LibraryStateGuard::~LibraryStateGuard() {
  xmlSetExternalEntityLoader(loader_);
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

bool ConsumedAll(xmlParserCtxtPtr ctxt) {
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

}  // namespace tavjit::xml
