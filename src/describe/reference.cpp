// CatalogueReference: a Markdown reference of a catalogue's elements for
// macro authors. Each example is compiled by the compiler itself, so the
// script shown is the script a document gets.
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/catalogue_json.h"
#include "compiler/example_compiler.h"
#include "describe/document_shape.h"
#include "generator/branch_table.h"
#include "generator/vocabulary.h"
#include "tavjit/catalogue.hpp"

namespace tavjit {

namespace {

std::string Lf(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i] == '\r' ? '\n' : text[i];
  }
  return out;
}

// Catalogue text as Markdown prose: characters that would start markup are
// escaped. In a table cell line breaks become blanks and bars are escaped.
std::string Prose(std::string_view text, bool cell = false) {
  std::string out;
  for (char c : Lf(text)) {
    if (cell && c == '\n') c = ' ';
    if (c == '\\' || c == '*' || c == '_' || c == '`' || c == '[' || c == ']' || c == '<' ||
        (cell && c == '|'))
      out += '\\';
    out += c;
  }
  return out;
}

std::string Code(std::string_view text) {
  if (text.find('`') != std::string_view::npos || text.find_first_of("\r\n|") != text.npos)
    return Prose(text, true);
  return "`" + std::string(text) + "`";
}

std::string XmlAttributeValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// GitHub's heading anchors: lower case, blanks as hyphens, most
// punctuation dropped.
std::string Anchor(std::string_view name) {
  std::string out;
  for (char c : name) {
    if (c >= 'A' && c <= 'Z')
      out += static_cast<char>(c - 'A' + 'a');
    else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
             static_cast<unsigned char>(c) >= 0x80)
      out += c;
  }
  return out;
}

// "n > 0" from a description that says "..., for example n > 0.": the
// words up to a full stop, colon, comma or semicolon that ends them, or "or".
std::string ExampleIn(std::string_view description) {
  const size_t at = description.find("for example ");
  if (at == std::string_view::npos) return {};
  std::string_view rest = description.substr(at + 12);
  size_t end = 0;
  for (; end < rest.size(); ++end) {
    const char c = rest[end];
    const bool last = end + 1 == rest.size() || rest[end + 1] == ' ';
    if ((c == '.' || c == ':' || c == ',' || c == ';') && last) break;
    if (rest.substr(end).starts_with(" or ")) break;
  }
  return std::string(rest.substr(0, end));
}

bool MentionsN(std::string_view text) {
  for (size_t i = text.find('n'); i != std::string_view::npos; i = text.find('n', i + 1))
    if ((i == 0 || !std::isalnum(static_cast<unsigned char>(text[i - 1]))) &&
        (i + 1 == text.size() || !std::isalnum(static_cast<unsigned char>(text[i + 1]))))
      return true;
  return false;
}

// An example as a document would write it: values of the attribute's type
// (the example its description gives, the variable n, the range r), texts
// that splice n, and the variables used declared first.
class ExampleWriter {
 public:
  explicit ExampleWriter(const shape::Placement& placement) : placement_(placement) {
    // What if and loop hold in their examples: a step that takes text alone.
    for (const CElements::Ptr& e : placement.steps) {
      const branches::BranchRow* row = branches::FindRow(e->ElementName());
      if (row && row->role == branches::kDeclaresVariable) has_var_ = true;
      if (row && row->role == branches::kDeclaresRange) has_range_ = true;
      bool plain = e->ContainsText() && row && row->role == branches::kNone;
      for (const CAttributes::Ptr& a : e->Attributes()) plain = plain && !shape::MustBeWritten(*a);
      if (plain && !inner_) inner_ = e.get();
    }
  }

  std::string Body(const CElement& e) {
    uses_n_ = uses_r_ = false;
    const branches::BranchRow* row = branches::FindRow(e.ElementName());
    role_ = row ? row->role : branches::kNone;
    std::string s;
    if (&e == placement_.else_element.get()) {
      const CElement& holder = *placement_.if_element;
      role_ = branches::kIf;
      s = Open(holder) + ">" + Inner() + Element(e) + Inner() + "</" + holder.ElementName() + ">";
    } else if (role_ == branches::kIf || role_ == branches::kLoop) {
      s = Open(e) + ">" + Inner() + "</" + e.ElementName() + ">";
    } else {
      s = Element(e);
    }
    std::string head;
    if (has_var_ && uses_n_ && role_ != branches::kDeclaresVariable)
      head += "<var name=\"n\">3</var>\n";
    if (has_range_ && uses_r_) head += "<range name=\"r\"/>\n";
    return head + s;
  }

 private:
  std::string Value(const CAttribute& a) {
    switch (TypeOf(a)) {
      case AttributeType::kNumber:
        if (!has_var_) break;
        uses_n_ = true;
        return "%n%";
      case AttributeType::kVariableName:
        if (role_ == branches::kDeclaresRange) return "r";
        if (role_ == branches::kDeclaresVariable) return "n";
        if (a.AttributeName() == "range" || role_ == branches::kSetsRange) {
          if (!has_range_) break;
          uses_r_ = true;
          return "r";
        }
        if (!has_var_) break;
        uses_n_ = true;
        return "n";
      case AttributeType::kText: {
        const std::string example = ExampleIn(a.Description());
        if (example.empty()) return shape::SampleValue(a);
        uses_n_ = uses_n_ || MentionsN(example);
        return example;
      }
      default: break;
    }
    return shape::SampleValue(a);
  }
  std::string Text(const CElement& e) {
    std::string example = ExampleIn(e.TextDescription());
    if (example.empty() && has_var_ && e.TextDescription().find("%name%") != std::string::npos)
      example = "Line %n%";
    if (example.empty()) return "text";
    uses_n_ = uses_n_ || MentionsN(example) || example.find("%n%") != std::string::npos;
    return XmlAttributeValue(example);
  }
  std::string Open(const CElement& e) {
    std::string s = "<" + e.ElementName();
    for (const CAttributes::Ptr& a : e.Attributes())
      s += " " + a->AttributeName() + "=\"" + XmlAttributeValue(Value(*a)) + "\"";
    return s;
  }
  std::string Element(const CElement& e) {
    return Open(e) + (e.ContainsText() ? ">" + Text(e) + "</" + e.ElementName() + ">" : "/>");
  }
  std::string Inner() { return inner_ ? Element(*inner_) : std::string(); }

  const shape::Placement& placement_;
  const CElement* inner_ = nullptr;
  branches::Role role_ = branches::kNone;
  bool has_var_ = false, has_range_ = false;  // the catalogue declares variables, ranges
  bool uses_n_ = false, uses_r_ = false;
};

// The example body in a whole document, compiled as it would be on a fresh
// instance.
ExampleCompiler::Result CompileBody(ExampleCompiler& compiler, const std::string& body) {
  return compiler.Compile(
      "<?xml version=\"1.0\"?><tav version=\"1.0\" edition=\"" + std::string(kEdition) +
      "\"><tavhead><version>1</version></tavhead><tavbody>\n" + body + "\n</tavbody></tav>");
}

std::string TypeCell(const CAttribute& a) {
  if (TypeOf(a) != AttributeType::kChoice) return shape::KindInWords(a);
  const std::vector<std::string> values = shape::ChoiceValues(a);
  if (values.empty()) return shape::KindInWords(a);
  std::string s = "one of ";
  for (size_t i = 0; i < values.size(); ++i) s += (i ? ", " : "") + Code(values[i]);
  return s;
}

class ReferenceWriter {
 public:
  explicit ReferenceWriter(std::string_view catalogue_bytes) : compiler_(catalogue_bytes) {}
  std::string Write(const CElements& catalogue);

 private:
  void Intro();
  void Element(const CElement& e);
  void Attributes(const CElement& e);
  void Example(const CElement& e);

  ExampleCompiler compiler_;
  shape::Placement placement_;
  std::vector<const CElement*> order_;
  std::string out_;
};

void ReferenceWriter::Intro() {
  out_ +=
      "# Element reference\n"
      "\n"
      "The elements that the body of a TAV document (`tavbody`) may hold, as the catalogue\n"
      "defines them. Written by `tavjit catalogue docs`; do not edit by hand.\n"
      "\n"
      "Attribute types:\n"
      "\n"
      "- number or variable: a number (`12`, `-1.5`, `2e3`), or a variable given by its name\n"
      "  (`n`) or by a reference (`%n%`).\n"
      "- true or false, or a variable: `true` or `false` in any letter case, or a variable as\n"
      "  above.\n"
      "- one of: one of the values listed, in any letter case.\n"
      "- variable name: letters, digits and `_`, not starting with a digit.\n"
      "- text: anything.\n"
      "\n"
      "An element that leaves an attribute out gets the value that the last element of the\n"
      "same name gave it, or else the default. A text loses the blanks and line breaks at its\n"
      "ends unless `xml:space=\"preserve\"` is in force; `%n%` in it splices in the variable\n"
      "`n` ([values.md](values.md) says how texts and values are read). Each example is\n"
      "compiled on its own by the compiler; every line of a script ends in CR LF.\n"
      "\n";
  // The contents: one link per element, in the order of the sections.
  std::string line;
  for (const CElement* e : order_) {
    std::string link = "[" + Code(e->ElementName()) + "](#" + Anchor(e->ElementName()) + ")";
    if (!line.empty() && line.size() + link.size() + 2 > 100) {
      out_ += line + ",\n";
      line.clear();
    }
    line += (line.empty() ? "" : ", ") + link;
  }
  out_ += line + "\n\n";
}

void ReferenceWriter::Attributes(const CElement& e) {
  if (e.Attributes().Count() == 0) {
    out_ += "No attributes.\n\n";
    return;
  }
  out_ += "| Attribute | Type | Required | Default | Description |\n";
  out_ += "|---|---|---|---|---|\n";
  for (const CAttributes::Ptr& a : e.Attributes()) {
    const std::string left_out = shape::ValueWhenLeftOut(*a);
    out_ += "| " + Code(a->AttributeName()) + " | " + TypeCell(*a) + " | " +
            (shape::MustBeWritten(*a) ? "yes" : "no") + " | " +
            (left_out.empty() ? std::string() : Code(left_out)) + " | " +
            Prose(a->Description(), true) + " |\n";
  }
  out_ += "\n";
}

void ReferenceWriter::Example(const CElement& e) {
  const std::string body = ExampleWriter(placement_).Body(e);
  const ExampleCompiler::Result c = CompileBody(compiler_, body);
  out_ += "```xml\n" + body + "\n```\n\n";
  if (!c.ok) {
    out_ += "The compiler rejects this example" +
            (c.errmsg.empty() ? std::string(".") : ": " + Prose(c.errmsg)) + "\n\n";
    return;
  }
  std::string script = Lf(c.text);
  if (!script.empty() && script.back() != '\n') script += '\n';
  out_ += "gives\n\n```vb\n" + script + "```\n\n";
}

void ReferenceWriter::Element(const CElement& e) {
  out_ += "## " + Code(e.ElementName()) + "\n\n";
  if (!e.Description().empty()) out_ += Prose(e.Description()) + "\n\n";
  if (!e.Information().empty()) out_ += Prose(e.Information()) + "\n\n";
  if (&e == placement_.if_element.get()) {
    out_ += "Holds the elements it runs";
    if (placement_.else_element)
      out_ += ", then optionally " + Code(placement_.else_element->ElementName()) +
              " and the elements that run otherwise";
    out_ += ".\n\n";
  } else if (&e == placement_.loop_element.get()) {
    out_ += "Holds the elements it repeats.\n\n";
  } else if (&e == placement_.else_element.get()) {
    out_ += "Stands only inside " + Code(placement_.if_element->ElementName()) + ".\n\n";
  }
  Attributes(e);
  if (e.ContainsText()) {
    out_ += std::string("Text (") + (e.TextRequired() ? "required" : "optional") +
            (e.TextAllowMultiLine() ? ", may span lines" : ", one line") + ")";
    out_ += e.TextDescription().empty() ? "." : ": " + Prose(e.TextDescription());
    out_ += "\n\n";
  } else {
    out_ += "No text.\n\n";
  }
  Example(e);
}

std::string ReferenceWriter::Write(const CElements& catalogue) {
  placement_ = shape::PlaceElements(catalogue);
  // else follows the if that holds it.
  for (const CElements::Ptr& e : placement_.steps) {
    order_.push_back(e.get());
    if (e == placement_.if_element && placement_.else_element)
      order_.push_back(placement_.else_element.get());
  }
  Intro();
  for (const CElement* e : order_) Element(*e);
  // The file ends in one line break, not a blank line.
  while (out_.size() > 1 && out_.back() == '\n' && out_[out_.size() - 2] == '\n') out_.pop_back();
  return std::move(out_);
}

}  // namespace

std::optional<std::string> CatalogueReference(std::string_view catalogue_bytes,
                                              std::string* error) {
  CElements catalogue;
  if (!LoadCatalogueFileBytes(catalogue_bytes, catalogue, error)) return std::nullopt;
  return ReferenceWriter(catalogue_bytes).Write(catalogue);
}

}  // namespace tavjit
