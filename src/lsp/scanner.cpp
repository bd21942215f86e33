#include "lsp/scanner.h"

#include <algorithm>
#include <cctype>

namespace tavjit::lsp {

bool IsNameStart(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' || c >= 0x80;
}

bool IsNameChar(unsigned char c) {
  return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.';
}

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsVariableChar(char c) { return IsAsciiLetter(c) || IsDigit(c) || c == '_'; }

std::string Code(std::string_view s) { return "`" + std::string(s) + "`"; }

class Scanner {
 public:
  explicit Scanner(std::string_view text) : t_(text), n_(text.size()) { out_.text = text; }
  Scan Run();

 private:
  void Problem(Span span, std::string explanation) {
    if (!out_.problem) out_.problem = Scan::Problem{span, std::move(explanation)};
  }
  bool At(size_t i, std::string_view s) const { return t_.substr(i, s.size()) == s; }
  void SkipSpaces() {
    while (i_ < n_ && IsSpace(t_[i_])) ++i_;
  }
  Span Name() {
    const size_t b = i_;
    if (i_ < n_ && IsNameStart(static_cast<unsigned char>(t_[i_])))
      while (i_ < n_ && IsNameChar(static_cast<unsigned char>(t_[i_]))) ++i_;
    return {b, i_};
  }
  // Skips a construct that ends in close; an unclosed one runs to the end.
  size_t SkipTo(std::string_view close, std::string_view what);
  void Text(size_t begin, size_t end);
  // References and (unless in a CDATA section) the '&'s of a text or value.
  void Values(Span s, bool markup = true);
  void StartTag();
  void EndTag();
  void Doctype();
  void Close(int element, size_t content_end, size_t end) {
    out_.elements[element].content_end = content_end;
    out_.elements[element].end = end;
  }

  std::string_view t_;
  size_t n_, i_ = 0;
  Scan out_;
  std::vector<int> open_;
  bool has_doctype_ = false;
  bool root_done_ = false;
};

size_t Scanner::SkipTo(std::string_view close, std::string_view what) {
  const size_t end = t_.find(close, i_);
  if (end == std::string_view::npos) {
    Problem({i_, n_}, std::string(what) + " is never closed with " + Code(close));
    return n_;
  }
  return end + close.size();
}

void Scanner::Values(Span s, bool markup) {
  for (size_t p = s.begin; p < s.end; ++p) {
    if (t_[p] == '&' && markup && !has_doctype_) {
      size_t q = p + 1;
      bool ok = false;
      if (q < s.end && t_[q] == '#') {
        ++q;
        const bool hex = q < s.end && t_[q] == 'x';
        if (hex) ++q;
        const size_t d = q;
        while (q < s.end && (IsDigit(t_[q]) || (hex && std::isxdigit(static_cast<unsigned char>(t_[q])))))
          ++q;
        ok = q > d && q < s.end && t_[q] == ';';
      } else {
        while (q < s.end && IsNameChar(static_cast<unsigned char>(t_[q]))) ++q;
        const std::string_view name = t_.substr(p + 1, q - p - 1);
        ok = q < s.end && t_[q] == ';' &&
             (name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot");
      }
      if (!ok) Problem({p, p + 1}, "`&` must start a reference such as `&amp;` or `&#10;`");
    } else if (t_[p] == '%') {
      size_t q = p + 1;
      if (q >= s.end || !(IsAsciiLetter(t_[q]) || t_[q] == '_')) continue;
      while (q < s.end && IsVariableChar(t_[q])) ++q;
      const Span name{p + 1, q};
      Span property{q, q};
      if (q < s.end && t_[q] == '.') {
        size_t r = q + 1;
        while (r < s.end && IsAsciiLetter(t_[r])) ++r;
        if (r > q + 1 && r < s.end && t_[r] == '%') {
          property = {q + 1, r};
          q = r;
        }
      }
      if (q < s.end && t_[q] == '%') {
        out_.references.push_back({{p, q + 1}, name, property});
        p = q;
      }
    }
  }
}

void Scanner::Text(size_t begin, size_t end) {
  if (begin >= end) return;
  if (open_.empty()) {
    size_t p = begin;
    if (p == 0 && At(0, "\xEF\xBB\xBF")) p = 3;
    while (p < end && IsSpace(t_[p])) ++p;
    if (p < end)
      Problem({p, p + 1}, out_.root < 0 ? "text before the root element" : "text after the root element");
    return;
  }
  Values({begin, end});
}

void Scanner::Doctype() {
  has_doctype_ = true;
  char quote = 0;
  int depth = 0;
  for (i_ += 2; i_ < n_; ++i_) {
    const char c = t_[i_];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '[') {
      ++depth;
    } else if (c == ']') {
      --depth;
    } else if (c == '>' && depth <= 0) {
      ++i_;
      return;
    }
  }
  Problem({n_, n_}, "the document type declaration is never closed");
}

void Scanner::StartTag() {
  Tag tag;
  tag.whole.begin = i_++;
  tag.name = Name();
  const std::string_view name = out_.Str(tag.name);
  if (tag.name.begin == tag.name.end) {
    Problem({tag.whole.begin, tag.whole.begin + 1},
            "`<` must start a tag name; write `&lt;` for a less-than sign");
  } else {
    while (true) {
      const size_t before = i_;
      SkipSpaces();
      if (i_ >= n_) {
        Problem(tag.name, "the tag " + Code("<" + std::string(name)) + " is never finished with `>`");
        break;
      }
      const char c = t_[i_];
      if (c == '>') {
        tag.closed = true;
        ++i_;
        break;
      }
      if (c == '/' && At(i_ + 1, ">")) {
        tag.closed = tag.self_closing = true;
        i_ += 2;
        break;
      }
      if (c == '<') {
        Problem(tag.name, "the tag " + Code("<" + std::string(name)) + " is never finished with `>`");
        break;
      }
      if (!IsNameStart(static_cast<unsigned char>(c))) {
        Problem({i_, i_ + 1}, "unexpected " + Code(std::string(1, c)) + " in the tag " +
                                  Code("<" + std::string(name)));
        ++i_;
        continue;
      }
      ScannedAttribute a;
      a.name = Name();
      const std::string_view aname = out_.Str(a.name);
      if (before == a.name.begin)
        Problem(a.name, "attributes must be separated by a space");
      for (const ScannedAttribute& other : tag.attributes)
        if (out_.Str(other.name) == aname)
          Problem(a.name, "the attribute " + Code(aname) + " is given twice");
      a.value = {a.name.end, a.name.end};
      SkipSpaces();
      if (i_ < n_ && t_[i_] == '=') {
        ++i_;
        SkipSpaces();
        a.has_value = true;
        if (i_ < n_ && (t_[i_] == '"' || t_[i_] == '\'')) {
          const char q = t_[i_++];
          a.value.begin = i_;
          while (i_ < n_ && t_[i_] != q && t_[i_] != '<') ++i_;
          a.value.end = i_;
          if (i_ < n_ && t_[i_] == q)
            ++i_;
          else
            Problem(a.name, "the value of " + Code(aname) + " has no closing quote");
        } else {
          a.value.begin = i_;
          while (i_ < n_ && !IsSpace(t_[i_]) && t_[i_] != '>' && t_[i_] != '<' && !At(i_, "/>")) ++i_;
          a.value.end = i_;
          Problem(a.name, "the value of " + Code(aname) + " must be in quotes");
        }
        Values(a.value);
      } else {
        Problem(a.name, "the attribute " + Code(aname) + " has no value: write " +
                            Code(std::string(aname) + "=\"...\""));
      }
      tag.attributes.push_back(a);
    }
  }
  tag.whole.end = i_;
  const size_t index = out_.tags.size();
  out_.tags.push_back(std::move(tag));
  out_.element_of_tag.push_back(-1);
  const Tag& t = out_.tags.back();
  if (!t.closed) return;

  const int parent = open_.empty() ? -1 : open_.back();
  if (parent < 0 && root_done_)
    Problem(t.name, "a document has one root element; this one comes after it");
  const int e = static_cast<int>(out_.elements.size());
  out_.elements.push_back({index, std::nullopt, parent, {}, t.whole.end, t.whole.end});
  out_.element_of_tag.back() = e;
  if (parent >= 0) {
    out_.elements[parent].children.push_back(e);
    if (parent == out_.root) {
      if (out_.head < 0 && name == "tavhead") out_.head = e;
      if (out_.body < 0 && name == "tavbody") out_.body = e;
    }
  } else if (out_.root < 0) {
    out_.root = e;
  }
  if (t.self_closing) {
    if (parent < 0) root_done_ = true;
  } else {
    open_.push_back(e);
  }
}

void Scanner::EndTag() {
  Tag tag;
  tag.kind = Tag::Kind::End;
  tag.whole.begin = i_;
  i_ += 2;
  tag.name = Name();
  const std::string name(out_.Str(tag.name));
  SkipSpaces();
  if (i_ < n_ && t_[i_] == '>') {
    tag.closed = true;
    ++i_;
  } else {
    Problem(tag.name.begin == tag.name.end ? Span{tag.whole.begin, tag.whole.begin + 2} : tag.name,
            "the end tag " + Code("</" + name) + " is never finished with `>`");
  }
  tag.whole.end = i_;
  const size_t index = out_.tags.size();
  out_.tags.push_back(tag);
  out_.element_of_tag.push_back(-1);

  auto match = std::find_if(open_.rbegin(), open_.rend(),
                            [&](int e) { return out_.NameOf(e) == name; });
  if (match == open_.rend()) {
    Problem(tag.name, Code("</" + name + ">") + " closes no open element");
    return;
  }
  if (match != open_.rbegin())
    Problem(out_.StartTag(open_.back()).name,
            Code("<" + std::string(out_.NameOf(open_.back())) + ">") + " is not closed before " +
                Code("</" + name + ">"));
  while (true) {
    const int e = open_.back();
    open_.pop_back();
    if (e == *match) {
      out_.elements[e].end_tag = index;
      Close(e, tag.whole.begin, tag.whole.end);
      if (out_.elements[e].parent < 0) root_done_ = true;
      break;
    }
    Close(e, tag.whole.begin, tag.whole.begin);
  }
}

Scan Scanner::Run() {
  while (i_ < n_) {
    const size_t lt = t_.find('<', i_);
    Text(i_, lt == std::string_view::npos ? n_ : lt);
    if (lt == std::string_view::npos) break;
    i_ = lt;
    if (At(i_, "<!--")) {
      const size_t b = i_;
      i_ = SkipTo("-->", "the comment");
      out_.comments.push_back({b, i_});
    } else if (At(i_, "<![CDATA[")) {
      const size_t b = i_ + 9;
      i_ = SkipTo("]]>", "the CDATA section");
      if (open_.empty()) Problem({b - 9, b}, "a CDATA section outside the root element");
      Values({b, std::max(b, i_ - 3)}, false);
    } else if (At(i_, "<!")) {
      Doctype();
    } else if (At(i_, "<?")) {
      if (At(i_, "<?xml") && i_ + 5 < n_ && IsSpace(t_[i_ + 5]) && i_ != 0 &&
          !(i_ == 3 && At(0, "\xEF\xBB\xBF")))
        Problem({i_, i_ + 5}, "the XML declaration must come first in the document");
      i_ = SkipTo("?>", "the processing instruction");
    } else if (At(i_, "</")) {
      EndTag();
    } else {
      StartTag();
    }
  }
  for (auto it = open_.rbegin(); it != open_.rend(); ++it) Close(*it, n_, n_);
  if (!open_.empty())
    Problem(out_.StartTag(open_.back()).name,
            Code("<" + std::string(out_.NameOf(open_.back())) + ">") + " is never closed");
  if (out_.root < 0) Problem({0, 0}, "the document has no root element");
  return std::move(out_);
}

}  // namespace

Scan ScanText(std::string_view text) { return Scanner(text).Run(); }

const Tag* Scan::TagAt(size_t offset) const {
  auto it = std::upper_bound(tags.begin(), tags.end(), offset,
                             [](size_t o, const Tag& t) { return o < t.whole.begin + 1; });
  if (it == tags.begin()) return nullptr;
  const Tag& t = *std::prev(it);
  const bool inside = t.closed ? offset < t.whole.end : offset <= t.whole.end;
  return inside && offset > t.whole.begin ? &t : nullptr;
}

int Scan::ElementOfTag(size_t tag_index) const {
  return tag_index < element_of_tag.size() ? element_of_tag[tag_index] : -1;
}

int Scan::ElementAt(size_t offset) const {
  // The last element whose start tag ends at or before offset, then up to
  // the first whose content still holds it.
  auto it = std::upper_bound(elements.begin(), elements.end(), offset,
                             [&](size_t o, const ScannedElement& e) {
                               return o < tags[e.tag].whole.end;
                             });
  if (it == elements.begin()) return -1;
  int e = static_cast<int>(std::prev(it) - elements.begin());
  while (e >= 0) {
    const ScannedElement& el = elements[e];
    if (tags[el.tag].whole.end <= offset && offset <= el.content_end && !tags[el.tag].self_closing)
      return e;
    e = el.parent;
  }
  return -1;
}

const ScannedAttribute* Scan::FindAttribute(const Tag& tag, std::string_view name) const {
  for (const ScannedAttribute& a : tag.attributes)
    if (EqualsNoCase(Str(a.name), name)) return &a;
  return nullptr;
}

bool Scan::InBody(int element) const {
  for (int e = elements[element].parent; e >= 0; e = elements[e].parent)
    if (e == body) return true;
  return false;
}

bool IsVariableName(std::string_view s) {
  if (s.empty() || IsDigit(s[0])) return false;
  return std::all_of(s.begin(), s.end(), IsVariableChar);
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + 32);
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + 32);
    if (x != y) return false;
  }
  return true;
}

}  // namespace tavjit::lsp
