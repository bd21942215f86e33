// The tree parse: libxml2 builds its tree, entities stay references in it,
// and the expansion they would produce is measured against a budget before
// the tree is copied into the arena with every reference expanded. Only
// documents with a document type declaration come this way.
#include <libxml/SAX2.h>
#include <libxml/entities.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>

#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "xml/libxml.h"
#include "xml/parse.h"

namespace tavjit::xml {

namespace {

constexpr uint64_t kBudgetFactor = 10;
constexpr uint64_t kBudgetExtra = 1 << 20;

// An element keeps the place of its start tag in xmlNode::_private: libxml2
// keeps lines in 16 bits only, and no columns.
void SetPlace(xmlNode* n, Place place) {
  n->_private = reinterpret_cast<void*>(static_cast<uintptr_t>(
      static_cast<uint64_t>(place.column) << 32 | place.line));
}
Place PlaceOf(const xmlNode* n) {
  const auto v = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(n->_private));
  return {static_cast<uint32_t>(v), static_cast<uint32_t>(v >> 32)};
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
// ParseWithTree has bounded the total expansion, so this cannot blow up.
void AppendText(xmlNodePtr first, std::string* out) {
  std::vector<xmlNodePtr> stack;
  if (first) stack.push_back(first);
  while (!stack.empty()) {
    xmlNodePtr n = stack.back();
    if (n->next)
      stack.back() = n->next;
    else
      stack.pop_back();
    switch (n->type) {
      case XML_TEXT_NODE:
      case XML_CDATA_SECTION_NODE:
        if (n->content) *out += reinterpret_cast<const char*>(n->content);
        break;
      case XML_ELEMENT_NODE:
        if (n->children) stack.push_back(n->children);
        break;
      case XML_ENTITY_REF_NODE:
        if (xmlEntityPtr ent = InternalEntity(n); ent && ent->children)
          stack.push_back(ent->children);
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
  ErrorLog* log = nullptr;
  bool refused = false;  // external/undefined entity, too deep
  bool out_of_memory = false;
  // Elements whose namespace declarations stand among their other
  // attributes, with the order as written.
  std::unordered_map<const xmlNode*, std::vector<int>> attribute_order;
};

// libxml2 parses entity contents with contexts of their own that share our
// SAX handler and, normally, _private; without it nothing is recorded (the
// budget walk still refuses references that are not to internal entities).
ParseRun* RunOf(void* ctx) {
  return static_cast<ParseRun*>(static_cast<xmlParserCtxtPtr>(ctx)->_private);
}

void OnStartElement(void* ctx, const xmlChar* localname, const xmlChar* prefix,
                    const xmlChar* uri, int nb_namespaces,
                    const xmlChar** namespaces, int nb_attributes,
                    int nb_defaulted, const xmlChar** attributes) {
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  ParseRun* run = RunOf(ctx);
  PlaceFinder own(ctxt);  // for a context without our run
  const Place place = StartTagPlace(ctxt, run ? &run->log->places : &own);
  if (TooDeep(ctxt)) {
    if (run) {
      run->refused = true;
      run->log->Add(place, kTooDeep);
    }
    xmlStopParser(ctxt);
    return;
  }
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
  SetPlace(node, place);
  if (run && nb_namespaces > 0 && nb_attributes > 0) {
    WithinCallback(ctx, &run->out_of_memory, [&] {
      std::vector<int> order = AttributeOrder(ctxt, nb_namespaces, namespaces);
      if (!order.empty()) run->attribute_order.emplace(node, std::move(order));
    });
  }
}

bool IsExternalOrMissing(xmlEntityPtr ent) {
  return !ent || ent->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY ||
         ent->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY ||
         ent->etype == XML_EXTERNAL_PARAMETER_ENTITY;
}

// Every reference the parser resolves passes here, including those to
// external entities, which libxml2 silently leaves unexpanded in content.
// libxml2 reports a missing entity itself; an external one is tavjit's refusal.
void Refuse(void* ctx, ParseRun* run, xmlEntityPtr ent, const char* sign, const xmlChar* name) {
  run->refused = true;
  if (!ent) return;
  auto* ctxt = static_cast<xmlParserCtxtPtr>(ctx);
  run->log->Add(ctxt->input ? run->log->places.At(ctxt, BackTo(ctxt->input, sign[0]),
                                                   static_cast<uint32_t>(ctxt->input->line))
                            : Place{},
                "`" + std::string(sign) + reinterpret_cast<const char*>(name) +
                    ";` refers to an external entity, which tavjit never reads: a document "
                    "holds all its text itself");
}

xmlEntityPtr OnGetEntity(void* ctx, const xmlChar* name) {
  ParseRun* run = RunOf(ctx);
  xmlEntityPtr ent = xmlSAX2GetEntity(ctx, name);
  if (run && IsExternalOrMissing(ent)) Refuse(ctx, run, ent, "&", name);
  return ent;
}

xmlEntityPtr OnGetParameterEntity(void* ctx, const xmlChar* name) {
  ParseRun* run = RunOf(ctx);
  xmlEntityPtr ent = xmlSAX2GetParameterEntity(ctx, name);
  if (run && IsExternalOrMissing(ent)) Refuse(ctx, run, ent, "%", name);
  return ent;
}

xmlDocPtr ParseOnce(std::string_view bytes, ParseRun* run, ErrorLog* log) {
  log->worst = XML_ERR_NONE;
  xmlParserCtxtPtr ctxt =
      xmlCreateMemoryParserCtxt(bytes.data(), static_cast<int>(bytes.size()));
  if (!ctxt) {
    run->out_of_memory = true;
    return nullptr;
  }
  // libxml2's size limits stay in force here: lifting them would lift its
  // own entity amplification checks too.
  xmlCtxtUseOptions(ctxt, BaseOptions(bytes));
  ctxt->_private = run;
  log->places.SetContext(ctxt);
  xmlSAXHandlerPtr sax = ctxt->sax;
  sax->startElementNs = OnStartElement;
  sax->getEntity = OnGetEntity;
  sax->getParameterEntity = OnGetParameterEntity;
  RefuseExternalLoads(sax);

  xmlParseDocument(ctxt);
  bool ok = Succeeded(ctxt, *log) && !run->refused;
  xmlDocPtr doc = ctxt->myDoc;
  ctxt->myDoc = nullptr;
  xmlFreeParserCtxt(ctxt);
  if (doc && (!ok || !xmlDocGetRootElement(doc))) {
    xmlFreeDoc(doc);
    doc = nullptr;
  }
  return doc;
}


// Opens the element in the arena with its namespace declarations and
// attributes, values expanded, in the order the tag wrote them.
bool CopyStartTag(const xmlNode* n, const ParseRun& run, ArenaBuilder& b) {
  if (!b.OpenElement(QualifiedName(n->ns, n->name), PlaceOf(n))) return false;
  auto add_ns = [&](const xmlNs* ns) {
    const char* prefix = reinterpret_cast<const char*>(ns->prefix);
    return b.AddAttribute("xmlns", prefix ? ":" : "", prefix ? prefix : "",
                          ns->href ? reinterpret_cast<const char*>(ns->href) : "");
  };
  auto add_attr = [&](const xmlAttr* a) {
    std::string value;
    AppendText(a->children, &value);
    return b.AddAttribute(QualifiedName(a->ns, a->name), "", "", value);
  };
  if (auto order = run.attribute_order.find(n); order != run.attribute_order.end()) {
    std::vector<const xmlNs*> decls;
    for (const xmlNs* ns = n->nsDef; ns; ns = ns->next) decls.push_back(ns);
    std::vector<const xmlAttr*> attrs;
    for (const xmlAttr* a = n->properties; a; a = a->next) attrs.push_back(a);
    return ForEachInTagOrder(
        order->second, static_cast<int>(decls.size()), static_cast<int>(attrs.size()),
        [&](int i) { return add_ns(decls[static_cast<size_t>(i)]); },
        [&](int i) { return add_attr(attrs[static_cast<size_t>(i)]); });
  }
  for (const xmlNs* ns = n->nsDef; ns; ns = ns->next)
    if (!add_ns(ns)) return false;
  for (const xmlAttr* a = n->properties; a; a = a->next)
    if (!add_attr(a)) return false;
  return true;
}

// Copies a node that is not an element; kinds the arena does not keep are
// skipped.
bool CopyLeaf(const xmlNode* n, ArenaBuilder& b) {
  const char* content = n->content ? reinterpret_cast<const char*>(n->content) : "";
  switch (n->type) {
    case XML_TEXT_NODE:
      return !n->content || b.Text(content);
    case XML_CDATA_SECTION_NODE:
      return b.Leaf(NodeType::CData, content);
    case XML_COMMENT_NODE:
      return b.Leaf(NodeType::Comment, {});
    case XML_PI_NODE:
      return b.Leaf(NodeType::ProcessingInstruction, {}, reinterpret_cast<const char*>(n->name));
    case XML_ENTITY_REF_NODE: {
      std::string expansion;
      if (xmlEntityPtr ent = InternalEntity(n)) AppendText(ent->children, &expansion);
      return b.Leaf(NodeType::EntityReference, expansion, reinterpret_cast<const char*>(n->name));
    }
    default:
      return true;
  }
}

// Copies the tree into the arena: the root element and everything below it,
// in document order, with attribute values and entity references expanded.
bool CopyToArena(xmlDocPtr doc, const ParseRun& run, Arena* arena) {
  ArenaBuilder b(arena);
  xmlNodePtr root = xmlDocGetRootElement(doc);
  if (!root) return false;
  std::vector<xmlNodePtr> parents;
  xmlNodePtr n = root;
  while (n) {
    if (n->type == XML_ELEMENT_NODE) {
      if (!CopyStartTag(n, run, b)) return false;
      if (n->children) {
        parents.push_back(n);
        n = n->children;
        continue;
      }
      b.CloseElement();
    } else if (!CopyLeaf(n, b)) {
      return false;
    }
    // On to the next node in document order, closing finished elements.
    for (;;) {
      if (n == root) return b.ok();
      if (n->next) {
        n = n->next;
        break;
      }
      n = parents.back();
      parents.pop_back();
      b.CloseElement();
    }
  }
  return b.ok();
}

}  // namespace

ParseResult ParseWithTree(std::string_view bytes, Arena* arena, std::vector<Problem>* problems) {
  ErrorLog log;
  log.problems = problems;
  LibraryStateGuard guard(&log);
  ParseRun run;
  run.log = &log;
  std::unique_ptr<xmlDoc, void (*)(xmlDocPtr)> doc(ParseOnce(bytes, &run, &log), xmlFreeDoc);
  if (run.out_of_memory || log.out_of_memory) return ParseResult::OutOfMemory;
  if (!doc) return ParseResult::NotWellFormed;
  try {
    const uint64_t budget = kBudgetFactor * bytes.size() + kBudgetExtra;
    if (!WithinExpansionBudget(doc.get(), budget)) {
      log.Add(PlaceOf(xmlDocGetRootElement(doc.get())),
              "the entities of the document would expand to more than " +
                  std::to_string(kBudgetFactor) +
                  " times the size of the file: tavjit refuses such documents");
      return ParseResult::NotWellFormed;
    }
    if (!CopyToArena(doc.get(), run, arena)) return ParseResult::NotWellFormed;
  } catch (const std::bad_alloc&) {
    return ParseResult::OutOfMemory;
  }
  return ParseResult::Ok;
}

}  // namespace tavjit::xml
