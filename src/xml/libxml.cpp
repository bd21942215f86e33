// The libxml2 helpers both parses use.
#include "xml/libxml.h"

#include <libxml/globals.h>
#include <libxml/parserInternals.h>
#include <string.h>

#include <cstdio>
#include <cstring>
#include <mutex>

#include "support/text.h"

namespace tavjit::xml {

namespace {

std::string Code(const char* s) { return "`" + std::string(s ? s : "") + "`"; }

// libxml2's own words, for findings tavjit has none for: first letter in
// lower case, without the line break at the end.
std::string LibraryWords(const xmlError& e) {
  std::string m = e.message ? e.message : "";
  while (!m.empty() && (m.back() == '\n' || m.back() == ' ')) m.pop_back();
  if (!m.empty() && m[0] >= 'A' && m[0] <= 'Z' && !(m.size() > 1 && m[1] >= 'A' && m[1] <= 'Z'))
    m[0] = static_cast<char>(m[0] + 32);
  return m;
}

bool Mentions(const xmlError& e, const char* word) {
  return e.message && std::strstr(e.message, word);
}

// The position an error concerns, moved back to the '<' or '&' that starts
// the construct where libxml2 reports it after reading its name.
const xmlChar* ErrorPosition(const xmlError& e, xmlParserInputPtr in) {
  switch (e.code) {
    case XML_ERR_TAG_NAME_MISMATCH: return BackTo(in, '<');
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
    case XML_ERR_ENTITYREF_SEMICOL_MISSING: return BackTo(in, '&');
    case XML_ERR_NAME_REQUIRED:
      if (Mentions(e, "EntityRef")) return BackTo(in, '&');
      if (Mentions(e, "StartTag")) return BackTo(in, '<');
      break;
    default: break;
  }
  return in->cur;
}

std::string Reason(const xmlError& e, xmlParserInputPtr in) {
  switch (e.code) {
    case XML_ERR_DOCUMENT_EMPTY:
      return "the file holds no element: a TAV document is one `tav` element";
    case XML_ERR_DOCUMENT_END:
      return "something follows the end of the root element: a document has exactly one root "
             "element, and only comments may follow it";
    case XML_ERR_TAG_NAME_MISMATCH:
      return "`</" + std::string(e.str2 ? e.str2 : "") + ">` does not close `<" +
             std::string(e.str1 ? e.str1 : "") + ">`, opened at line " + std::to_string(e.int1) +
             ": every start tag needs its own end tag, in the same letter case";
    case XML_ERR_TAG_NOT_FINISHED:
      return "`<" + std::string(e.str1 ? e.str1 : "") + ">`, opened at line " +
             std::to_string(e.int1) + ", is never closed: the file ends before its end tag";
    case XML_ERR_UNDECLARED_ENTITY:
    case XML_WAR_UNDECLARED_ENTITY:
      return "`&" + std::string(e.str1 ? e.str1 : "") +
             ";` names no entity: XML knows only `&amp;`, `&lt;`, `&gt;`, `&quot;`, `&apos;` and "
             "character numbers such as `&#10;`; write `&amp;` for an `&` of the text itself";
    case XML_ERR_ENTITYREF_SEMICOL_MISSING:
    case XML_ERR_NAME_REQUIRED:
      if (e.code == XML_ERR_NAME_REQUIRED && Mentions(e, "StartTag"))
        return "a `<` that does not start a tag: write `&lt;` for a `<` of the text itself";
      if (e.code == XML_ERR_NAME_REQUIRED && !Mentions(e, "EntityRef")) break;
      return "an `&` that does not start a reference such as `&amp;`: write `&amp;` for an `&` "
             "of the text itself";
    case XML_ERR_LT_IN_ATTRIBUTE:
      return "a `<` inside an attribute value: write `&lt;`";
    case XML_ERR_ATTRIBUTE_WITHOUT_VALUE:
      return "attribute " + Code(e.str1) + " has no value: write it as " +
             Code((std::string(e.str1 ? e.str1 : "") + "=\"...\"").c_str());
    case XML_ERR_ATTRIBUTE_NOT_STARTED:
      return "an attribute value must stand in quotes, `\"` or `'`";
    case XML_ERR_ATTRIBUTE_NOT_FINISHED:
      return "an attribute value has no closing quote";
    case XML_ERR_ATTRIBUTE_REDEFINED:
      return "attribute " + Code(e.str1) + " is given twice in one tag";
    case XML_ERR_GT_REQUIRED:
      return "a start tag is not finished with `>` or `/>`";
    case XML_ERR_LTSLASH_REQUIRED:
      return "an end tag is not finished with `>`";
    case XML_ERR_COMMENT_NOT_FINISHED:
      return "a comment is never closed with `-->`";
    case XML_ERR_UNSUPPORTED_ENCODING:
      return "the XML declaration names an encoding that cannot be read: " + Code(e.str1);
    case XML_NS_ERR_UNDEFINED_NAMESPACE:
      return "the prefix " + Code(e.str1) + " is not declared with an `xmlns:` attribute";
    case XML_ERR_INVALID_CHAR:
      if (Mentions(e, "not proper UTF-8") && in && in->cur &&
          in->cur < in->end && !(in->buf && in->buf->encoder)) {
        char byte[8];
        std::snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned>(*in->cur));
        const uint64_t offset = in->consumed + static_cast<uint64_t>(in->cur - in->base);
        return "the byte " + std::string(byte) + " at offset " + std::to_string(offset) +
               " is not UTF-8, which a document is read as unless its XML declaration names "
               "another encoding (such as `<?xml version=\"1.0\" encoding=\"windows-1252\"?>`)";
      }
      break;
    default:
      break;
  }
  return LibraryWords(e);
}

void OnStructuredError(void* ctx, xmlErrorPtr error) {
  auto* log = static_cast<ErrorLog*>(ctx);
  if (!error) return;
  if (error->level > log->worst) log->worst = error->level;
  if (error->code == XML_ERR_NO_MEMORY) log->out_of_memory = true;
  // The findings: errors, and the one warning that refuses a document.
  if (!log->problems || log->problems->size() >= Document::kMaxProblems ||
      (error->level < XML_ERR_ERROR && error->code != XML_WAR_UNDECLARED_ENTITY))
    return;
  auto* ctxt = (error->domain == XML_FROM_PARSER || error->domain == XML_FROM_NAMESPACE)
                   ? static_cast<xmlParserCtxtPtr>(error->ctxt)
                   : nullptr;
  xmlParserInputPtr in = ctxt ? ctxt->input : nullptr;
  // Errors of the encoding layer name no parser: where the parser stands.
  Place place = log->places.HereUnread();
  if (in && in->cur && in->base)
    place = log->places.At(ctxt, ErrorPosition(*error, in), static_cast<uint32_t>(in->line));
  if (place.line == 0 && error->line > 0) place = {static_cast<uint32_t>(error->line), 0};
  log->Add(place, Reason(*error, in));
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

const xmlChar* BackTo(xmlParserInputPtr in, char c) {
  for (const xmlChar* q = in->cur; q > in->base && in->cur - q < 1024;)
    if (*--q == c) return q;
  return in->cur;
}

// libxml2 goes on after an error and often reports its consequences at the
// same place: the first finding of a place stands for them.
void ErrorLog::Add(Place place, std::string reason) {
  if (!problems || problems->size() >= Document::kMaxProblems) return;
  if (!problems->empty() && place.line && problems->back().place.line == place.line &&
      problems->back().place.column == place.column)
    return;
  try {
    problems->push_back({place, std::move(reason)});
  } catch (const std::bad_alloc&) {
    out_of_memory = true;
  }
}

namespace {

// The place of offset `at` on a line that starts at offset `start`: column 0
// when it is not on it or too far along.
Place PlaceOnLine(uint32_t line, uint64_t at, uint64_t start) {
  return {line, at >= start && at - start < UINT32_MAX ? static_cast<uint32_t>(at - start + 1) : 0};
}

}  // namespace

Place PlaceFinder::At(xmlParserCtxtPtr ctxt, const xmlChar* p, uint32_t line) {
  // Inside an entity's text: the place of the reference in the document.
  if (ctxt != ctxt_ && ctxt_) return Here(ctxt_);
  xmlParserInputPtr in = ctxt ? ctxt->input : nullptr;
  if (!in || !in->base || !p || p < in->base || line == 0 ||
      (ctxt->inputNr > 0 && in != ctxt->inputTab[0]))
    return {line, 0};
  // An error of the encoding layer may come while the buffer moves, before
  // the input follows it: nothing is read then.
  if (in->buf && in->buf->buffer && xmlBufContent(in->buf->buffer) != in->base) return {line, 0};
  const uint64_t base = in->consumed;  // where the buffer starts in the text
  const uint64_t at = base + static_cast<uint64_t>(p - in->base);
  // On the first line, after a byte order mark.
  const uint64_t first = base == 0 && in->end - in->base >= 3 && in->base[0] == 0xEF &&
                                 in->base[1] == 0xBB && in->base[2] == 0xBF
                             ? 3
                             : 0;
  auto column = [&](uint64_t start) { return PlaceOnLine(line, at, start); };
  if (at < scanned_) {
    // Behind what was looked at: from the buffer alone.
    if (const void* nl = LastByte(in->base, '\n', static_cast<size_t>(p - in->base)))
      return column(base + static_cast<uint64_t>(static_cast<const xmlChar*>(nl) - in->base) + 1);
    if (base == 0) return column(first);
    return line == line_ ? column(line_start_) : Place{line, 0};
  }
  const xmlChar* from = scanned_ > base ? in->base + (scanned_ - base) : in->base;
  if (const void* nl = LastByte(from, '\n', static_cast<size_t>(p - from))) {
    line_ = line;
    line_start_ = base + static_cast<uint64_t>(static_cast<const xmlChar*>(nl) - in->base) + 1;
  } else if (base == 0 && from == in->base) {
    line_ = line;
    line_start_ = first;
  }
  scanned_ = at;
  return line == line_ ? column(line_start_) : Place{line, 0};
}

Place PlaceFinder::Here(xmlParserCtxtPtr ctxt) {
  if (!ctxt) ctxt = ctxt_;
  xmlParserInputPtr in = ctxt ? ctxt->input : nullptr;
  if (!in || in->line <= 0) return {};
  return At(ctxt, in->cur, static_cast<uint32_t>(in->line));
}

Place PlaceFinder::HereUnread() const {
  xmlParserInputPtr in = ctxt_ ? ctxt_->input : nullptr;
  if (!in || in->line <= 0) return {};
  const auto line = static_cast<uint32_t>(in->line);
  if (!in->cur || !in->base) return {line, 0};
  // Offsets only: the pointers may be the old buffer's.
  const uint64_t at =
      in->consumed + (reinterpret_cast<uintptr_t>(in->cur) - reinterpret_cast<uintptr_t>(in->base));
  uint64_t start;
  if (line == line_)
    start = line_start_;
  else if (line == 1 && line_ == 0 && in->consumed == 0 && in->buf && in->buf->encoder)
    start = 0;  // a converted text starts with no byte order mark
  else
    return {line, 0};
  return PlaceOnLine(line, at, start);
}

Place StartTagPlace(xmlParserCtxtPtr ctxt, PlaceFinder* places) {
  xmlParserInputPtr in = ctxt->input;
  if (!in || in->line <= 0 || !in->cur || !in->base) return {};
  const void* lt = LastByte(in->base, '<', static_cast<size_t>(in->cur - in->base));
  if (!lt) return {static_cast<uint32_t>(in->line), 0};
  uint64_t newlines = 0;
  for (const xmlChar* p = static_cast<const xmlChar*>(lt) + 1;
       (p = static_cast<const xmlChar*>(memchr(p, '\n', static_cast<size_t>(in->cur - p))));
       ++p)
    ++newlines;
  if (newlines >= static_cast<uint64_t>(in->line)) return {};
  const auto line = static_cast<uint32_t>(static_cast<uint64_t>(in->line) - newlines);
  return places->At(ctxt, static_cast<const xmlChar*>(lt), line);
}

std::vector<int> AttributeOrder(xmlParserCtxtPtr ctxt, int nb_namespaces,
                                const xmlChar** namespaces) {
  xmlParserInputPtr in = ctxt->input;
  if (nb_namespaces == 0 || !in || !in->cur || !in->base) return {};
  // No '<' can stand inside a tag, so the last one before the position is
  // where the tag starts.
  const auto* p = static_cast<const xmlChar*>(
      LastByte(in->base, '<', static_cast<size_t>(in->cur - in->base)));
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
