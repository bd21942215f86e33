// The streaming parse: libxml2's SAX2 events go straight into the arena, with
// no tree of libxml2's own. It takes documents without a document type
// declaration, the usual kind; a declaration (and with it entities) sends the
// document to the tree parse.
#include <libxml/SAX2.h>
#include <libxml/parserInternals.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "support/memory.h"
#include "xml/libxml.h"
#include "xml/parse.h"

namespace tavjit::xml {

namespace {

struct Run {
  ArenaBuilder builder;
  ErrorLog* log;
  bool needs_tree = false;
  bool refused = false;
  bool out_of_memory = false;
  std::string name;
  Run(Arena* arena, ErrorLog* l) : builder(arena), log(l) {}
};

Run* RunOf(void* ctx) { return static_cast<Run*>(static_cast<xmlParserCtxtPtr>(ctx)->_private); }

void Stop(void* ctx, Run* run, bool needs_tree) {
  if (needs_tree)
    run->needs_tree = true;
  else
    run->refused = true;
  xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
}

std::string_view View(const xmlChar* s) {
  return s ? std::string_view(reinterpret_cast<const char*>(s)) : std::string_view();
}

// Without entity substitution libxml2 hands over an '&' inside an attribute
// value as "&#38;" (it would re-parse the value to build a tree); no other
// reference can remain in a document without a type declaration.
void StartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                  int nb_namespaces, const xmlChar** namespaces, int nb_attributes,
                  const xmlChar** attributes) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  Run* run = RunOf(ctx);
  const Place place = StartTagPlace(ctxt, &run->log->places);
  if (TooDeep(ctxt)) {
    run->log->Add(place, kTooDeep);
    return Stop(ctx, run, false);
  }
  bool ok;
  if (prefix) {
    run->name.assign(View(prefix)).append(":").append(View(localname));
    ok = run->builder.OpenElement(run->name, place);
  } else {
    ok = run->builder.OpenElement(View(localname), place);
  }
  auto add_ns = [&](int i) {
    const xmlChar* p = namespaces[2 * i];
    return run->builder.AddAttribute("xmlns", p ? ":" : "", View(p), View(namespaces[2 * i + 1]));
  };
  auto add_attr = [&](int i) {
    const xmlChar** a = attributes + 5 * i;
    std::string_view value(reinterpret_cast<const char*>(a[3]), static_cast<size_t>(a[4] - a[3]));
    return run->builder.AddAttribute(View(a[1]), a[1] ? ":" : "", View(a[0]), value, true);
  };
  ok = ok && ForEachInTagOrder(nb_namespaces > 0 && nb_attributes > 0
                                   ? AttributeOrder(ctxt, nb_namespaces, namespaces)
                                   : std::vector<int>(),
                               nb_namespaces, nb_attributes, add_ns, add_attr);
  if (!ok) Stop(ctx, run, false);
}

// Each callback adds to the arena, which may run out of memory.
template <class F>
void Building(void* ctx, F&& add) {
  Run* run = RunOf(ctx);
  WithinCallback(ctx, &run->out_of_memory, [&] {
    if (!add(run->builder)) Stop(ctx, run, false);
  });
}

void OnStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar*, int nb_namespaces, const xmlChar** namespaces,
                    int nb_attributes, int, const xmlChar** attributes) {
  Run* run = RunOf(ctx);
  WithinCallback(ctx, &run->out_of_memory, [&] {
    StartElement(ctx, localname, prefix, nb_namespaces, namespaces, nb_attributes, attributes);
  });
}

void OnEndElement(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
  Building(ctx, [](ArenaBuilder& b) {
    b.CloseElement();
    return true;
  });
}

void OnCharacters(void* ctx, const xmlChar* ch, int len) {
  Building(ctx, [&](ArenaBuilder& b) {
    return b.Text(std::string_view(reinterpret_cast<const char*>(ch), static_cast<size_t>(len)));
  });
}

void OnCData(void* ctx, const xmlChar* ch, int len) {
  Building(ctx, [&](ArenaBuilder& b) {
    return b.Leaf(NodeType::CData,
                  std::string_view(reinterpret_cast<const char*>(ch), static_cast<size_t>(len)));
  });
}

void OnComment(void* ctx, const xmlChar*) {
  Building(ctx, [](ArenaBuilder& b) { return b.Leaf(NodeType::Comment, {}); });
}

void OnProcessingInstruction(void* ctx, const xmlChar* target, const xmlChar*) {
  Building(ctx,
           [&](ArenaBuilder& b) { return b.Leaf(NodeType::ProcessingInstruction, {}, View(target)); });
}

void OnInternalSubset(void* ctx, const xmlChar*, const xmlChar*, const xmlChar*) {
  Stop(ctx, RunOf(ctx), true);
}

void OnReference(void* ctx, const xmlChar*) { Stop(ctx, RunOf(ctx), true); }

// libxml2 reads the bytes through a window of its own, as it reads a file:
// handed over whole, they would be copied whole into one buffer first.
struct Reader {
  std::string_view bytes;
  size_t pos = 0;
};

int Read(void* ctx, char* buffer, int len) {
  auto* r = static_cast<Reader*>(ctx);
  const size_t n = std::min(static_cast<size_t>(len), r->bytes.size() - r->pos);
  std::memcpy(buffer, r->bytes.data() + r->pos, n);
  r->pos += n;
  return static_cast<int>(n);
}

// A parser reading through Read; null when memory runs out. Built step by
// step: xmlCreateIOParserCtxt loses its input buffer when the input stream
// cannot be made.
xmlParserCtxtPtr NewParser(Reader* reader) {
  xmlParserCtxtPtr ctxt = xmlNewParserCtxt();
  if (!ctxt) return nullptr;
  xmlParserInputBufferPtr buf =
      xmlParserInputBufferCreateIO(Read, nullptr, reader, XML_CHAR_ENCODING_NONE);
  xmlParserInputPtr input = buf ? xmlNewIOInputStream(ctxt, buf, XML_CHAR_ENCODING_NONE) : nullptr;
  if (!input) {
    if (buf) xmlFreeParserInputBuffer(buf);
    xmlFreeParserCtxt(ctxt);
    return nullptr;
  }
  if (inputPush(ctxt, input) < 0) {  // which has freed the input and its buffer
    xmlFreeParserCtxt(ctxt);
    return nullptr;
  }
  return ctxt;
}

}  // namespace

ParseResult ParseStreaming(std::string_view bytes, Arena* arena, std::vector<Problem>* problems) {
  ErrorLog log;
  log.problems = problems;
  LibraryStateGuard guard(&log);
  xmlSAXHandler sax;
  std::memset(&sax, 0, sizeof sax);
  sax.initialized = XML_SAX2_MAGIC;
  sax.startElementNs = OnStartElement;
  sax.endElementNs = OnEndElement;
  sax.characters = OnCharacters;
  sax.ignorableWhitespace = OnCharacters;
  sax.cdataBlock = OnCData;
  sax.comment = OnComment;
  sax.processingInstruction = OnProcessingInstruction;
  sax.internalSubset = OnInternalSubset;
  sax.reference = OnReference;
  RefuseExternalLoads(&sax);

  // Sized for a typical document so that the arrays rarely move (what is
  // reserved and not used costs address space, not memory); taken before the
  // parser, which nothing could free if this threw.
  arena->nodes.reserve(bytes.size() / 24 + 16);
  arena->attrs.reserve(bytes.size() / 40 + 16);
  arena->chars.reserve(bytes.size() / 8 * 5 + 64);
  AdviseHugePages(arena->nodes.data(), arena->nodes.capacity() * sizeof(ArenaNode));
  AdviseHugePages(arena->attrs.data(), arena->attrs.capacity() * sizeof(ArenaAttr));
  AdviseHugePages(arena->chars.data(), arena->chars.capacity());
  Run run(arena, &log);

  Reader reader{bytes};
  xmlParserCtxtPtr ctxt = NewParser(&reader);
  if (!ctxt) return ParseResult::OutOfMemory;
  log.places.SetContext(ctxt);
  xmlSAXHandlerPtr own = ctxt->sax;
  ctxt->sax = &sax;
  ctxt->userData = ctxt;
  // No entity can be declared here, so lifting the size limits (a value may
  // pass 10 MB) costs no amplification check.
  xmlCtxtUseOptions(ctxt, BaseOptions(bytes) | XML_PARSE_HUGE);
  ctxt->_private = &run;
  xmlParseDocument(ctxt);
  const bool ok = Succeeded(ctxt, log) && reader.pos == bytes.size() && !run.refused &&
                  run.builder.ok();
  ctxt->sax = own;
  // libxml2 makes a document of its own to hold entities declared in a
  // malformed type declaration that our handler never saw.
  if (ctxt->myDoc) {
    xmlFreeDoc(ctxt->myDoc);
    ctxt->myDoc = nullptr;
  }
  xmlFreeParserCtxt(ctxt);
  if (run.out_of_memory || log.out_of_memory) return ParseResult::OutOfMemory;
  if (run.needs_tree) return ParseResult::NeedsTree;
  return ok ? ParseResult::Ok : ParseResult::NotWellFormed;
}

}  // namespace tavjit::xml
