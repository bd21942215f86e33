#include "compiler/xml_document.h"

#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <climits>
#include <unordered_map>
#include <vector>

#include "support/text.h"

namespace tavjit::xml {

struct Document::State {
  xmlDocPtr doc = nullptr;
  ~State() {
    if (doc) xmlFreeDoc(doc);
  }
};

namespace {

// Limits. Documents that declare no entity are parsed with libxml2's size
// limits lifted (a value or text may be longer than 10 MB): that mode also
// lifts libxml2's own entity amplification checks, so a document that
// declares an entity is parsed again with the limits in force, and its
// expansion is then measured against our budget. Nesting is capped in both
// modes at libxml2's default depth: deeper documents are refused rather than
// handed to callers that walk them recursively.
constexpr int kMaxDepth = 256;  // open ancestors of the deepest element
constexpr uint64_t kBudgetFactor = 10;
constexpr uint64_t kBudgetExtra = 1 << 20;

// What an element keeps in xmlNode::_private: its line above bit 0, and in
// bit 0 whether xml:space="preserve" is in scope. libxml2 keeps lines in 16
// bits only.
void* PackElementInfo(uint64_t line, bool preserve) {
  return reinterpret_cast<void*>(
      static_cast<uintptr_t>((line << 1) | (preserve ? 1 : 0)));
}
uintptr_t ElementInfo(const xmlNode* n) {
  return reinterpret_cast<uintptr_t>(n->_private);
}

bool IsXmlSpace(xmlChar c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsBlank(const xmlChar* s) {
  if (!s) return true;
  for (; *s; ++s)
    if (!IsXmlSpace(*s)) return false;
  return true;
}

bool PreserveSpace(const xmlNode* element) {
  return element && element->type == XML_ELEMENT_NODE &&
         (ElementInfo(element) & 1) != 0;
}

// Whitespace-only text between elements is not part of the document's
// content unless xml:space="preserve" says otherwise.
bool IsDroppedText(const xmlNode* n) {
  return n->type == XML_TEXT_NODE && !PreserveSpace(n->parent) &&
         IsBlank(n->content);
}

bool IsVisible(const xmlNode* n) {
  switch (n->type) {
    case XML_ELEMENT_NODE:
    case XML_CDATA_SECTION_NODE:
    case XML_ENTITY_REF_NODE:
    case XML_COMMENT_NODE:
    case XML_PI_NODE:
      return true;
    case XML_TEXT_NODE:
      return !IsDroppedText(n);
    default:
      return false;
  }
}

xmlNodePtr SkipHidden(xmlNodePtr n) {
  while (n && !IsVisible(n)) n = n->next;
  return n;
}

// The internal entity an entity reference node stands for, or null.
xmlEntityPtr InternalEntity(const xmlNode* ref) {
  auto* ent = reinterpret_cast<xmlEntityPtr>(ref->children);
  if (!ent || ent->type != XML_ENTITY_DECL ||
      ent->etype != XML_INTERNAL_GENERAL_ENTITY)
    return nullptr;
  return ent;
}

std::string QualifiedName(const xmlNs* ns, const xmlChar* name) {
  std::string out;
  if (ns && ns->prefix) {
    out = reinterpret_cast<const char*>(ns->prefix);
    out += ':';
  }
  if (name) out += reinterpret_cast<const char*>(name);
  return out;
}

// Appends the text of a node list and everything below it, entity
// references expanded. Iterative: entity contents are shared between their
// references, so this walks with its own stack rather than parent links.
// Parse has bounded the total expansion, so this cannot blow up.
void AppendText(xmlNodePtr first, bool verbatim, std::string* out) {
  struct Pending {
    xmlNodePtr node;
    bool in_entity;
  };
  std::vector<Pending> stack;
  if (first) stack.push_back({first, verbatim});
  while (!stack.empty()) {
    Pending& top = stack.back();
    xmlNodePtr n = top.node;
    bool in_entity = top.in_entity;
    if (n->next)
      top.node = n->next;
    else
      stack.pop_back();
    switch (n->type) {
      case XML_TEXT_NODE:
        if (n->content && (in_entity || !IsDroppedText(n)))
          *out += reinterpret_cast<const char*>(n->content);
        break;
      case XML_CDATA_SECTION_NODE:
        if (n->content) *out += reinterpret_cast<const char*>(n->content);
        break;
      case XML_ELEMENT_NODE:
        if (n->children) stack.push_back({n->children, in_entity});
        break;
      case XML_ENTITY_REF_NODE:
        if (xmlEntityPtr ent = InternalEntity(n); ent && ent->children)
          stack.push_back({ent->children, true});
        break;
      default:
        break;
    }
  }
}

// Measures what reading every value and text of the document would produce
// (text bytes plus one per node visited), each entity counted at every
// reference, without expanding anything: an entity's size is computed once.
// False when that exceeds the budget, or when a reference is to an entity
// that is not an internal one (or refers back to itself).
bool WithinExpansionBudget(xmlDocPtr doc, uint64_t budget) {
  constexpr uint64_t kInProgress = UINT64_MAX;
  std::unordered_map<const xmlEntity*, uint64_t> sizes;
  struct Frame {
    xmlEntityPtr entity;  // null for the document itself
    uint64_t total = 0;
    std::vector<xmlNodePtr> pending;  // sibling lists still to visit
  };
  std::vector<Frame> frames;
  frames.push_back({nullptr, 0, {}});
  if (doc->children) frames.back().pending.push_back(doc->children);
  while (true) {
    Frame& f = frames.back();
    if (f.pending.empty()) {
      if (!f.entity) return f.total <= budget;
      uint64_t size = f.total;
      sizes[f.entity] = size;
      frames.pop_back();
      frames.back().total += size;
      if (frames.back().total > budget) return false;
      continue;
    }
    xmlNodePtr n = f.pending.back();
    if (n->next)
      f.pending.back() = n->next;
    else
      f.pending.pop_back();
    f.total += 1;
    switch (n->type) {
      case XML_ELEMENT_NODE:
        if (n->children) f.pending.push_back(n->children);
        if (n->properties)
          f.pending.push_back(reinterpret_cast<xmlNodePtr>(n->properties));
        break;
      case XML_ATTRIBUTE_NODE:
        if (n->children) f.pending.push_back(n->children);
        break;
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
      case XML_COMMENT_NODE:
      case XML_PI_NODE:
        if (n->content) f.total += xmlStrlen(n->content);
        break;
      case XML_ENTITY_REF_NODE: {
        xmlEntityPtr ent = InternalEntity(n);
        if (!ent) return false;
        auto [it, fresh] = sizes.try_emplace(ent, kInProgress);
        if (!fresh) {
          if (it->second == kInProgress) return false;
          f.total += it->second;
          break;
        }
        Frame inner{ent, 0, {}};
        if (ent->children) inner.pending.push_back(ent->children);
        frames.push_back(std::move(inner));  // invalidates f
        continue;
      }
      default:  // the DTD and anything else hold no content
        break;
    }
    if (frames.back().total > budget) return false;
  }
}

// One attempt at parsing; reached from the SAX callbacks through
// xmlParserCtxt::_private.
struct ParseRun {
  bool huge = false;
  bool refused = false;          // external/undefined entity, too deep
  bool entity_declared = false;  // in huge mode: parse again with limits
};

// libxml2 parses entity contents with contexts of their own that share our
// SAX handler and, normally, _private; without it nothing is recorded (the
// budget walk still refuses references that are not to internal entities).
ParseRun* RunOf(void* ctx) {
  return static_cast<ParseRun*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
}

// The line of the '<' that opens the tag being reported: libxml2 reports
// the start tag once it has read all of it.
uint64_t StartTagLine(xmlParserCtxtPtr ctxt) {
  xmlParserInputPtr in = ctxt->input;
  if (!in || in->line <= 0) return 0;
  uint64_t newlines = 0;
  for (const xmlChar* p = in->cur; p > in->base;) {
    --p;
    if (*p == '<') {
      return newlines < static_cast<uint64_t>(in->line)
                 ? static_cast<uint64_t>(in->line) - newlines
                 : 0;
    }
    if (*p == '\n') ++newlines;
  }
  return static_cast<uint64_t>(in->line);
}

void OnStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* uri, int nb_namespaces,
                    const xmlChar** namespaces, int nb_attributes,
                    int nb_defaulted, const xmlChar** attributes) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  ParseRun* run = RunOf(ctx);
  if (ctxt->nameNr > kMaxDepth) {
    if (run) run->refused = true;
    xmlStopParser(ctxt);
    return;
  }
  uint64_t line = StartTagLine(ctxt);
  xmlNodePtr parent = ctxt->node;
  // Attribute defaults declared in the internal subset are supplied, as a
  // conforming parser does; libxml2 drops them unless asked to load DTDs.
  int saved_loadsubset = ctxt->loadsubset;
  ctxt->loadsubset |= XML_COMPLETE_ATTRS;
  xmlSAX2StartElementNs(ctx, localname, prefix, uri, nb_namespaces, namespaces,
                     nb_attributes, nb_defaulted, attributes);
  ctxt->loadsubset = saved_loadsubset;
  xmlNodePtr node = ctxt->node;
  if (!node || node == parent || node->type != XML_ELEMENT_NODE) return;
  bool preserve = PreserveSpace(node->parent);
  for (int i = 0; i < nb_attributes; ++i) {
    const xmlChar** a = attributes + 5 * i;
    if (!a[1] || !xmlStrEqual(a[1], BAD_CAST "xml") ||
        !xmlStrEqual(a[0], BAD_CAST "space"))
      continue;
    std::string_view value(reinterpret_cast<const char*>(a[3]), a[4] - a[3]);
    if (value == "preserve")
      preserve = true;
    else if (value == "default")
      preserve = false;
  }
  node->_private = PackElementInfo(line, preserve);
}

bool IsExternalOrMissing(xmlEntityPtr ent) {
  return !ent || ent->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY ||
         ent->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY ||
         ent->etype == XML_EXTERNAL_PARAMETER_ENTITY;
}

// Every reference the parser resolves passes here, including those to
// external entities, which libxml2 silently leaves unexpanded in content.
xmlEntityPtr OnGetEntity(void* ctx, const xmlChar* name) {
  ParseRun* run = RunOf(ctx);
  xmlEntityPtr ent = xmlSAX2GetEntity(ctx, name);
  if (run && IsExternalOrMissing(ent)) run->refused = true;
  return ent;
}

xmlEntityPtr OnGetParameterEntity(void* ctx, const xmlChar* name) {
  ParseRun* run = RunOf(ctx);
  xmlEntityPtr ent = xmlSAX2GetParameterEntity(ctx, name);
  if (run && IsExternalOrMissing(ent)) run->refused = true;
  return ent;
}

void OnEntityDecl(void* ctx, const xmlChar* name, int type,
                  const xmlChar* public_id, const xmlChar* system_id,
                  xmlChar* content) {
  ParseRun* run = RunOf(ctx);
  if (run && run->huge) {
    run->entity_declared = true;
    xmlStopParser(static_cast<xmlParserCtxtPtr>(ctx));
    return;
  }
  xmlSAX2EntityDecl(ctx, name, type, public_id, system_id, content);
}

xmlParserInputPtr RefuseExternalEntity(const char*, const char*,
                                       xmlParserCtxtPtr) {
  return nullptr;
}

struct ErrorLog {
  int worst = XML_ERR_NONE;
};

void OnStructuredError(void* ctx, xmlErrorPtr error) {
  auto* log = static_cast<ErrorLog*>(ctx);
  if (error && error->level > log->worst) log->worst = error->level;
}

void OnGenericError(void*, const char*, ...) {}

// Installs our error handlers and the refusing entity loader for one Parse
// and puts back whatever the host had, including libxml2's last error.
class LibraryStateGuard {
 public:
  explicit LibraryStateGuard(ErrorLog* log)
      : structured_(xmlStructuredError),
        structured_ctx_(xmlStructuredErrorContext),
        generic_(xmlGenericError),
        generic_ctx_(xmlGenericErrorContext),
        loader_(xmlGetExternalEntityLoader()) {
    if (xmlErrorPtr last = xmlGetLastError()) {
      had_last_error_ = true;
      xmlCopyError(last, &last_error_);
    }
    xmlSetStructuredErrorFunc(log, OnStructuredError);
    xmlSetGenericErrorFunc(nullptr, OnGenericError);
    xmlSetExternalEntityLoader(RefuseExternalEntity);
  }
  ~LibraryStateGuard() {
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

// libxml2 stops at a NUL byte as if the input ended there.
bool ConsumedAll(xmlParserCtxtPtr ctxt) {
  xmlParserInputPtr in = ctxt->input;
  if (!in || in->cur != in->end) return false;
  return !in->buf || !in->buf->raw || xmlBufUse(in->buf->raw) == 0;
}

bool HasByteOrderMark(std::string_view b) {
  return b.starts_with("\xEF\xBB\xBF") || b.starts_with("\xFF\xFE") ||
         b.starts_with("\xFE\xFF") ||
         b.starts_with(std::string_view("\0\0\xFE\xFF", 4));
}

xmlDocPtr ParseOnce(std::string_view bytes, ParseRun* run, ErrorLog* log) {
  log->worst = XML_ERR_NONE;
  xmlParserCtxtPtr ctxt =
      xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
  if (!ctxt) return nullptr;
  // Never NOENT, DTDLOAD, DTDATTR, DTDVALID or XINCLUDE: nothing outside
  // the bytes is ever read, and entities stay references until read.
  int options = XML_PARSE_NONET | (run->huge ? XML_PARSE_HUGE : 0);
  // A byte order mark decides the encoding; libxml2 would otherwise let the
  // declaration switch away from it.
  if (HasByteOrderMark(bytes)) options |= XML_PARSE_IGNORE_ENC;
  xmlCtxtUseOptions(ctxt, options);
  ctxt->_private = run;
  xmlSAXHandlerPtr sax = ctxt->sax;
  sax->startElementNs = OnStartElement;
  sax->getEntity = OnGetEntity;
  sax->getParameterEntity = OnGetParameterEntity;
  sax->entityDecl = OnEntityDecl;

  xmlParseDocument(ctxt);
  bool ok = ctxt->wellFormed && ctxt->nsWellFormed && !run->refused &&
            !run->entity_declared && log->worst < XML_ERR_ERROR &&
            ConsumedAll(ctxt);
  xmlDocPtr doc = ctxt->myDoc;
  ctxt->myDoc = nullptr;
  xmlFreeParserCtxt(ctxt);
  if (doc && (!ok || !xmlDocGetRootElement(doc))) {
    xmlFreeDoc(doc);
    doc = nullptr;
  }
  return doc;
}

}  // namespace

Document::~Document() = default;

std::unique_ptr<Document> Document::Parse(std::string_view bytes) {
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX))
    return nullptr;
  xmlInitParser();
  ErrorLog log;
  LibraryStateGuard guard(&log);
  ParseRun run;
  run.huge = true;
  xmlDocPtr doc = ParseOnce(bytes, &run, &log);
  if (!doc && run.entity_declared) {
    run = ParseRun{};
    doc = ParseOnce(bytes, &run, &log);
    uint64_t budget = kBudgetFactor * bytes.size() + kBudgetExtra;
    if (doc && !WithinExpansionBudget(doc, budget)) {
      xmlFreeDoc(doc);
      doc = nullptr;
    }
  }
  if (!doc) return nullptr;
  std::unique_ptr<Document> document(new Document);
  document->state_ = std::make_unique<State>();
  document->state_->doc = doc;
  return document;
}

Node Document::Root() const {
  return Node(xmlDocGetRootElement(state_->doc), this);
}

namespace {
xmlNodePtr AsNode(void* p) { return static_cast<xmlNodePtr>(p); }
}  // namespace

bool Node::IsElement() const {
  return node_ && AsNode(node_)->type == XML_ELEMENT_NODE;
}

std::string Node::Name() const {
  xmlNodePtr n = AsNode(node_);
  if (!n) return {};
  switch (n->type) {
    case XML_ELEMENT_NODE:
      return QualifiedName(n->ns, n->name);
    case XML_TEXT_NODE:
      return "#text";
    case XML_CDATA_SECTION_NODE:
      return "#cdata-section";
    case XML_COMMENT_NODE:
      return "#comment";
    default:  // processing instruction target, entity name
      return n->name ? reinterpret_cast<const char*>(n->name) : "";
  }
}

uint32_t Node::Line() const {
  xmlNodePtr n = AsNode(node_);
  if (!n) return 0;
  if (n->type == XML_ELEMENT_NODE) {
    uint64_t line = ElementInfo(n) >> 1;
    return line > UINT32_MAX ? 0 : static_cast<uint32_t>(line);
  }
  return n->line < 65535 ? n->line : 0;
}

Node Node::FirstChild() const {
  xmlNodePtr n = AsNode(node_);
  // An entity reference's content is shared by all its references and is
  // read through Text() only; it has no children of its own here.
  if (!n || n->type != XML_ELEMENT_NODE) return {};
  return Node(SkipHidden(n->children), doc_);
}

Node Node::NextSibling() const {
  xmlNodePtr n = AsNode(node_);
  if (!n) return {};
  return Node(SkipHidden(n->next), doc_);
}

std::optional<std::string> Node::Attribute(std::string_view name) const {
  for (AttrCursor c = FirstAttribute(); c.valid(); c = NextAttribute(c))
    if (AttributeName(c) == name) return AttributeValue(c);
  return std::nullopt;
}

std::string Node::Text() const {
  xmlNodePtr n = AsNode(node_);
  if (!n) return {};
  std::string out;
  bool preserve;
  switch (n->type) {
    case XML_ELEMENT_NODE:
      AppendText(n->children, false, &out);
      preserve = PreserveSpace(n);
      break;
    case XML_ENTITY_REF_NODE:
      if (xmlEntityPtr ent = InternalEntity(n)) AppendText(ent->children, true, &out);
      preserve = PreserveSpace(n->parent);
      break;
    default:
      if (n->content) out = reinterpret_cast<const char*>(n->content);
      preserve = PreserveSpace(n->parent);
      break;
  }
  if (preserve) return out;
  std::string_view trimmed = TrimXmlSpace(out);
  if (trimmed.size() == out.size()) return out;
  return std::string(trimmed);
}

Node::AttrCursor Node::FirstAttribute() const {
  xmlNodePtr n = AsNode(node_);
  if (!n || n->type != XML_ELEMENT_NODE) return {};
  if (n->nsDef) return {n->nsDef, nullptr};
  return {nullptr, n->properties};
}

Node::AttrCursor Node::NextAttribute(AttrCursor c) const {
  if (c.ns) {
    auto* ns = static_cast<xmlNsPtr>(c.ns);
    if (ns->next) return {ns->next, nullptr};
    return {nullptr, AsNode(node_)->properties};
  }
  if (c.attr) return {nullptr, static_cast<xmlAttrPtr>(c.attr)->next};
  return {};
}

std::string Node::AttributeName(AttrCursor c) const {
  if (c.ns) {
    auto* ns = static_cast<xmlNsPtr>(c.ns);
    std::string out = "xmlns";
    if (ns->prefix) {
      out += ':';
      out += reinterpret_cast<const char*>(ns->prefix);
    }
    return out;
  }
  auto* attr = static_cast<xmlAttrPtr>(c.attr);
  return attr ? QualifiedName(attr->ns, attr->name) : std::string();
}

std::string Node::AttributeValue(AttrCursor c) const {
  if (c.ns) {
    auto* ns = static_cast<xmlNsPtr>(c.ns);
    return ns->href ? reinterpret_cast<const char*>(ns->href) : "";
  }
  std::string out;
  if (auto* attr = static_cast<xmlAttrPtr>(c.attr))
    AppendText(attr->children, true, &out);
  return out;
}

}  // namespace tavjit::xml
