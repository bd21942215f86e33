// Completion, read off the text around the cursor: element names after '<',
// attributes in a start tag, values in an attribute value, variables after
// '%'. It works while the document is half typed.
#include <set>

#include "lsp/feature_support.h"

namespace tavjit::lsp {

namespace {

std::string SnippetEscape(std::string_view s) {
  std::string out;
  for (char c : s) {
    if (c == '$' || c == '}' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

class Completer {
 public:
  Completer(const Document& doc, const Scan& scan, const Catalogue& cat, size_t offset)
      : doc_(doc), scan_(scan), cat_(cat), offset_(offset) {}
  std::vector<CompletionItem> Run();

 private:
  void Add(std::string label, CompletionKind kind, Span replace, std::string insert,
           std::string detail = {}, std::string doc = {}, bool snippet = false) {
    items_.push_back({std::move(label), kind, std::move(detail), std::move(doc),
                      {doc_.RangeOf(replace), std::move(insert)}, snippet});
  }
  void ElementNames(const Tag& tag);
  void AttributeNames(const Tag& tag, const ScannedAttribute* editing);
  void Values(const Tag& tag, const ScannedAttribute& attr);
  bool References();  // after '%'
  void Variables(Span replace, bool ranges_only);
  void Element(const ElementDescription& e, const Tag& tag);

  const Document& doc_;
  const Scan& scan_;
  const Catalogue& cat_;
  size_t offset_;
  std::vector<CompletionItem> items_;
};

std::vector<CompletionItem> Completer::Run() {
  const Tag* tag = scan_.TagAt(offset_);
  if (!tag) {
    References();
    return std::move(items_);
  }
  if (tag->name.Contains(offset_)) {
    ElementNames(*tag);
    return std::move(items_);
  }
  if (tag->kind == Tag::Kind::End) return {};
  for (const ScannedAttribute& a : tag->attributes) {
    if (a.has_value && a.value.Contains(offset_) && offset_ > a.name.end) {
      if (!References()) Values(*tag, a);
      return std::move(items_);
    }
    if (a.name.Contains(offset_)) {
      AttributeNames(*tag, &a);
      return std::move(items_);
    }
  }
  if (offset_ > tag->name.end) AttributeNames(*tag, nullptr);
  return std::move(items_);
}

void Completer::Element(const ElementDescription& e, const Tag& tag) {
  // A tag being typed gets the whole element; a tag already written only
  // its name changed.
  std::string insert = e.name;
  const bool fresh = !tag.closed && tag.attributes.empty();
  if (fresh) {
    int n = 1;
    for (const AttributeDescription& a : e.attributes)
      if (a.required)
        insert += " " + a.name + "=\"${" + std::to_string(n++) + ":" +
                  SnippetEscape(a.value_when_left_out) + "}\"";
    if (e.name == "if" || e.name == "loop")
      insert += ">\n\t$0\n</" + e.name + ">";
    else if (e.contains_text)
      insert += ">$0</" + e.name + ">";
    else
      insert += "/>";
  }
  Add(e.name, CompletionKind::Class, tag.name, fresh ? insert : e.name, e.description,
      ElementMarkdown(e), fresh);
}

void Completer::ElementNames(const Tag& tag) {
  const int parent = scan_.ElementAt(tag.whole.begin);
  if (tag.kind == Tag::Kind::End) {
    if (parent >= 0) {
      const std::string name(scan_.NameOf(parent));
      Add(name, CompletionKind::Class, tag.name, tag.closed ? name : name + ">");
    }
    return;
  }
  const bool fresh = !tag.closed && tag.attributes.empty();
  if (parent < 0) {
    Add("tav", CompletionKind::Snippet, tag.name,
        fresh ? "tav version=\"1.0\" edition=\"korvane\">\n<tavhead><version>${1:1}</version>"
                "</tavhead>\n<tavbody>\n\t$0\n</tavbody>\n</tav>"
              : "tav",
        "a TAV document", "", fresh);
  } else if (parent == scan_.root) {
    for (const char* name : {"tavhead", "tavbody"})
      Add(name, CompletionKind::Class, tag.name,
          fresh ? std::string(name) + ">\n\t$0\n</" + name + ">" : name,
          name == std::string_view("tavhead") ? "the header" : "the body: the macro's steps", "",
          fresh);
  } else if (parent == scan_.head) {
    std::set<std::string> present;
    for (int c : scan_.elements[parent].children) present.insert(std::string(scan_.NameOf(c)));
    for (const HeaderElementDescription& h : cat_.Description().header)
      if (!present.count(h.name) || h.name == scan_.Str(tag.name))
        Add(h.name, CompletionKind::Field, tag.name,
            fresh ? h.name + ">$0</" + h.name + ">" : h.name, h.description, "", fresh);
  } else if (parent == scan_.body || scan_.InBody(parent)) {
    const bool in_if = scan_.NameOf(parent) == "if";
    for (const ElementDescription& e : cat_.Description().elements)
      if (e.place == ElementDescription::Place::Body ||
          (in_if && e.place == ElementDescription::Place::InsideIf))
        Element(e, tag);
  }
}

void Completer::AttributeNames(const Tag& tag, const ScannedAttribute* editing) {
  std::set<std::string> present;
  for (const ScannedAttribute& a : tag.attributes)
    if (&a != editing) {
      std::string n(scan_.Str(a.name));
      for (char& c : n) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      present.insert(n);
    }
  const Span replace = editing ? editing->name : Span{offset_, offset_};
  const bool with_value = !editing || !editing->has_value;
  auto add = [&](const std::string& name, std::string detail, std::string doc) {
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (present.count(lower)) return;
    Add(name, CompletionKind::Property, replace, with_value ? name + "=\"$1\"" : name,
        std::move(detail), std::move(doc), with_value);
  };
  const int e = scan_.ElementOfTag(static_cast<size_t>(&tag - scan_.tags.data()));
  if ((e >= 0 && e == scan_.root) || (scan_.root < 0 && scan_.Str(tag.name) == "tav")) {
    add("version", "1.0", "The version of the TAV format.");
    add("edition", "korvane", "The edition of TAV.");
    return;
  }
  if (const ElementDescription* d = BodyElement(scan_, cat_, tag))
    for (const AttributeDescription& a : d->attributes)
      add(a.name, a.type_in_words + (a.must_be_written ? ", required" : ""),
          AttributeMarkdown(*d, a));
}

void Completer::Values(const Tag& tag, const ScannedAttribute& attr) {
  const std::string_view aname = scan_.Str(attr.name);
  const int e = scan_.ElementOfTag(static_cast<size_t>(&tag - scan_.tags.data()));
  if ((e >= 0 && e == scan_.root) || scan_.Str(tag.name) == "tav") {
    if (aname == "version") Add("1.0", CompletionKind::Value, attr.value, "1.0");
    if (aname == "edition") Add("korvane", CompletionKind::Value, attr.value, "korvane");
    return;
  }
  const ElementDescription* d = BodyElement(scan_, cat_, tag);
  const AttributeDescription* a = d ? Catalogue::Attribute(*d, aname) : nullptr;
  if (!a) return;
  for (const std::string& c : a->choices) Add(c, CompletionKind::EnumMember, attr.value, c);
  if (a->type == 6)
    for (const char* v : {"true", "false"}) Add(v, CompletionKind::Value, attr.value, v);
  if (a->type == 5 || a->type == 6 || a->type == 8) {
    const bool declares = aname == "name" && (EqualsNoCase(d->name, "var") || EqualsNoCase(d->name, "range"));
    if (!declares) Variables(attr.value, EqualsNoCase(d->name, "setrange"));
  }
}

void Completer::Variables(Span replace, bool ranges_only) {
  std::set<std::string> seen;
  for (const Declaration& d : Declarations(scan_, cat_))
    if ((!ranges_only || d.range) && seen.insert(d.name).second)
      Add(d.name, CompletionKind::Variable, replace, d.name, d.range ? "range" : "var");
}

bool Completer::References() {
  size_t b = offset_;
  auto ref_char = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '.';
  };
  while (b > 0 && ref_char(scan_.text[b - 1])) --b;
  if (b == 0 || scan_.text[b - 1] != '%') return false;
  const size_t pct = b - 1;
  for (const Reference& r : scan_.references)
    if (r.whole.end == pct + 1) return false;  // the '%' closes a reference
  size_t end = offset_;
  while (end < scan_.text.size() && ref_char(scan_.text[end])) ++end;
  if (end < scan_.text.size() && scan_.text[end] == '%') ++end;
  const Span replace{pct, end};
  std::set<std::string> seen;
  for (const Declaration& d : Declarations(scan_, cat_)) {
    if (!seen.insert(d.name).second) continue;
    if (!d.range) {
      Add("%" + d.name + "%", CompletionKind::Variable, replace, "%" + d.name + "%", "var");
      continue;
    }
    for (std::string_view p : kRangeProperties) {
      const std::string ref = "%" + d.name + "." + std::string(p) + "%";
      Add(ref, CompletionKind::Variable, replace, ref, "range");
    }
  }
  return true;
}

}  // namespace

std::vector<CompletionItem> Complete(const Document& doc, const Scan& scan, const Catalogue& cat,
                                     Position at) {
  return Completer(doc, scan, cat, doc.OffsetAt(at)).Run();
}

}  // namespace tavjit::lsp
