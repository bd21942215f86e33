// CatalogueSchema: an XML Schema of the documents a catalogue accepts, with
// every description as documentation, for editors that complete and check.
// Value types follow attribute checking; where the schema cannot or should
// not follow the compiler is written up in docs/schema.md.
#include <string>

#include "catalogue/catalogue_json.h"
#include "describe/document_shape.h"
#include "generator/vocabulary.h"
#include "tavjit/catalogue.hpp"

namespace tavjit {

namespace {

// Escapes text for an attribute value or character data. Line breaks and
// tabs become references so that attribute values keep them; other control
// characters cannot appear in XML at all and are dropped.
std::string Escape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default:
        if (static_cast<unsigned char>(c) >= 0x20) out += c;
    }
  }
  return out;
}

// Documentation keeps its line breaks as plain LF.
std::string EscapeDoc(std::string_view text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      if (i + 1 < text.size() && text[i + 1] == '\n') continue;
      out += '\n';
    } else if (text[i] == '\n') {
      out += '\n';
    } else {
      out += Escape(text.substr(i, 1));
    }
  }
  return out;
}

// A variable name, empty or not, and a reference to one, with blanks around
// (attribute checking trims them); or blanks alone, the empty name.
constexpr std::string_view kName = "[A-Za-z_][A-Za-z0-9_]*";
const std::string kVariablePattern = " *" + std::string(kName) + " *| *%(" + std::string(kName) +
                                     ")?% *| +";
// The numeric texts of attribute checking.
constexpr std::string_view kNumeralPattern =
    R"( *[+\-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+\-]?[0-9]+)? *)";
constexpr std::string_view kTruthPattern = "[Tt][Rr][Uu][Ee]|[Ff][Aa][Ll][Ss][Ee]";

// Matches the word in any letter case, blanks around: " *[Kk][Oo]... *".
std::string AnyCasePattern(std::string_view word) {
  std::string p = " *";
  for (char c : word) {
    p += '[';
    p += static_cast<char>(c - 'a' + 'A');
    p += c;
    p += ']';
  }
  return p + " *";
}

class SchemaWriter {
 public:
  std::string Write(const CElements& catalogue);

 private:
  void Line(int indent, std::string_view text) {
    out_.append(2 * indent, ' ').append(text).append("\n");
  }
  void Documentation(int indent, std::string_view text) {
    if (text.empty()) return;
    Line(indent, "<xs:annotation>");
    Line(indent + 1, "<xs:documentation>" + EscapeDoc(text) + "</xs:documentation>");
    Line(indent, "</xs:annotation>");
  }
  void Pattern(std::string_view name, std::string_view pattern);
  void Union(std::string_view name, std::string_view members);
  void FixedTypes();
  void Root();
  void Header();
  void ElementDeclaration(int indent, const CElement& e);
  void ElementType(const CElement& e);
  void Attribute(int indent, const CAttribute& a);
  void XmlAttributes(int indent);
  void StepsRef(int indent) {
    Line(indent, R"(<xs:group ref="tav-steps" minOccurs="0" maxOccurs="unbounded"/>)");
  }

  std::string out_;
  shape::Placement placement_;
};

std::string TypeName(const CElement& e) { return "element-" + e.ElementName(); }

void SchemaWriter::Pattern(std::string_view name, std::string_view pattern) {
  Line(1, "<xs:simpleType name=\"" + std::string(name) + "\">");
  Line(2, "<xs:restriction base=\"xs:string\">");
  Line(3, "<xs:pattern value=\"" + Escape(pattern) + "\"/>");
  Line(2, "</xs:restriction>");
  Line(1, "</xs:simpleType>");
}

void SchemaWriter::Union(std::string_view name, std::string_view members) {
  Line(1, "<xs:simpleType name=\"" + std::string(name) + "\">");
  Line(2, "<xs:union memberTypes=\"" + std::string(members) + "\"/>");
  Line(1, "</xs:simpleType>");
}

// The value types. The "-or-empty" forms serve attributes that may be given
// empty: attribute checking skips an empty value, or fills in its default.
void SchemaWriter::FixedTypes() {
  Line(1, "<xs:simpleType name=\"tav-empty\">");
  Line(2, "<xs:restriction base=\"xs:string\">");
  Line(3, "<xs:length value=\"0\"/>");
  Line(2, "</xs:restriction>");
  Line(1, "</xs:simpleType>");
  Line(1, "<xs:simpleType name=\"tav-text\">");
  Line(2, "<xs:restriction base=\"xs:string\">");
  Line(3, "<xs:minLength value=\"1\"/>");
  Line(2, "</xs:restriction>");
  Line(1, "</xs:simpleType>");
  Pattern("tav-variable", kVariablePattern);
  Pattern("tav-numeral", kNumeralPattern);
  Pattern("tav-truth-word", kTruthPattern);
  Pattern("tav-variable-name", kName);
  Union("tav-number", "tav-numeral tav-variable");
  Union("tav-truth", "tav-truth-word tav-variable");
  Union("tav-number-or-empty", "tav-number tav-empty");
  Union("tav-truth-or-empty", "tav-truth tav-empty");
  Union("tav-variable-name-or-empty", "tav-variable-name tav-empty");
  Pattern("tav-edition", AnyCasePattern(kEdition));
}

void SchemaWriter::Root() {
  Line(1, "<xs:element name=\"tav\">");
  Documentation(2, "A TAV document: a header, then a body whose elements are the macro's steps.");
  Line(2, "<xs:complexType>");
  Line(3, "<xs:sequence>");
  Line(4, "<xs:element name=\"tavhead\" type=\"tav-header\">");
  Documentation(5, "The header: a version element, and author, company, description, email "
                   "and web if wanted, in any order.");
  Line(4, "</xs:element>");
  Line(4, "<xs:element name=\"tavbody\" type=\"tav-body\">");
  Documentation(5, "The body: the steps of the macro, in the order they run.");
  Line(4, "</xs:element>");
  Line(3, "</xs:sequence>");
  Line(3, "<xs:attribute name=\"version\" type=\"xs:string\" fixed=\"1.0\" use=\"required\">");
  Documentation(4, "The version of the TAV format: 1.0.");
  Line(3, "</xs:attribute>");
  Line(3, "<xs:attribute name=\"edition\" type=\"tav-edition\" use=\"required\">");
  Documentation(4, "The edition of TAV: " + std::string(kEdition) + ", in any letter case.");
  Line(3, "</xs:attribute>");
  XmlAttributes(3);
  Line(2, "</xs:complexType>");
  Line(1, "</xs:element>");
}

void SchemaWriter::Header() {
  Line(1, "<xs:complexType name=\"tav-header\">");
  Line(2, "<xs:all>");
  for (const shape::HeaderElement& item : shape::kHeaderElements) {
    const bool required = item.name == shape::kHeaderVersion;
    Line(3, "<xs:element name=\"" + std::string(item.name) + "\" type=\"xs:string\"" +
                (required ? "" : " minOccurs=\"0\"") + ">");
    Documentation(4, item.description);
    Line(3, "</xs:element>");
  }
  Line(2, "</xs:all>");
  XmlAttributes(2);
  Line(1, "</xs:complexType>");
}

void SchemaWriter::ElementDeclaration(int indent, const CElement& e) {
  std::string doc = e.Description();
  if (e.ContainsText() && !e.TextDescription().empty())
    doc += (doc.empty() ? "" : "\n\n") + ("Text: " + e.TextDescription());
  if (!e.Information().empty()) doc += (doc.empty() ? "" : "\n\n") + e.Information();
  Line(indent, "<xs:element name=\"" + Escape(e.ElementName()) + "\" type=\"" +
                   Escape(TypeName(e)) + "\">");
  Documentation(indent + 1, doc);
  Line(indent, "</xs:element>");
}

void SchemaWriter::Attribute(int indent, const CAttribute& a) {
  const bool must = shape::MustBeWritten(a);
  const std::string left_out = shape::ValueWhenLeftOut(a);
  std::string doc = a.Description();
  doc += (doc.empty() ? "" : "\n\n") + ("Type: " + shape::KindInWords(a) + ".");
  if (!left_out.empty()) doc += "\nWhen left out: " + left_out + ".";

  std::string type;
  switch (TypeOf(a)) {
    case AttributeType::kText: type = must ? "tav-text" : "xs:string"; break;
    case AttributeType::kNumber: type = must ? "tav-number" : "tav-number-or-empty"; break;
    case AttributeType::kTruth: type = must ? "tav-truth" : "tav-truth-or-empty"; break;
    case AttributeType::kVariableName:
      type = must ? "tav-variable-name" : "tav-variable-name-or-empty";
      break;
    case AttributeType::kChoice: break;  // listed below
  }
  std::string open = "<xs:attribute name=\"" + Escape(a.AttributeName()) + "\"";
  if (!type.empty()) open += " type=\"" + type + "\"";
  if (must) open += " use=\"required\"";
  Line(indent, open + ">");
  Documentation(indent + 1, doc);
  if (type.empty()) {
    // Choices compare exactly here; attribute checking ignores letter case.
    std::vector<std::string> values = shape::ChoiceValues(a);
    if (!must || values.empty()) values.insert(values.begin(), "");
    Line(indent + 1, "<xs:simpleType>");
    Line(indent + 2, "<xs:restriction base=\"xs:string\">");
    for (const std::string& v : values)
      Line(indent + 3, "<xs:enumeration value=\"" + Escape(v) + "\"/>");
    Line(indent + 2, "</xs:restriction>");
    Line(indent + 1, "</xs:simpleType>");
  }
  Line(indent, "</xs:attribute>");
}

void SchemaWriter::ElementType(const CElement& e) {
  Line(1, "<xs:complexType name=\"" + Escape(TypeName(e)) + "\"" +
              (e.ContainsText() ? " mixed=\"true\"" : "") + ">");
  if (&e == placement_.if_element.get()) {
    Line(2, "<xs:sequence>");
    StepsRef(3);
    if (placement_.else_element) {
      Line(3, "<xs:sequence minOccurs=\"0\">");
      ElementDeclaration(4, *placement_.else_element);
      StepsRef(4);
      Line(3, "</xs:sequence>");
    }
    Line(2, "</xs:sequence>");
  } else if (&e == placement_.loop_element.get()) {
    StepsRef(2);
  }
  for (const CAttributes::Ptr& a : e.Attributes()) Attribute(2, *a);
  XmlAttributes(2);
  Line(1, "</xs:complexType>");
}

// xml:space and the other attributes of XML itself, which the parser reads
// (xml:space="preserve" keeps blanks in the text) wherever they stand.
void SchemaWriter::XmlAttributes(int indent) {
  Line(indent, "<xs:anyAttribute namespace=\"http://www.w3.org/XML/1998/namespace\" "
               "processContents=\"lax\"/>");
}

std::string SchemaWriter::Write(const CElements& catalogue) {
  placement_ = shape::PlaceElements(catalogue);
  out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out_ += "<!-- The TAV documents a catalogue accepts; written by tavjit catalogue schema. -->\n";
  out_ += "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">\n";
  Root();
  Header();
  Line(1, "<xs:complexType name=\"tav-body\">");
  StepsRef(2);
  XmlAttributes(2);
  Line(1, "</xs:complexType>");
  Line(1, "<xs:group name=\"tav-steps\">");
  Line(2, "<xs:choice>");
  for (const CElements::Ptr& e : placement_.steps) ElementDeclaration(3, *e);
  Line(2, "</xs:choice>");
  Line(1, "</xs:group>");
  for (const CElements::Ptr& e : placement_.steps) ElementType(*e);
  if (placement_.else_element) ElementType(*placement_.else_element);
  FixedTypes();
  out_ += "</xs:schema>\n";
  return std::move(out_);
}

// Names go into the schema as written, so each must be an XML name.
bool CheckNames(const CElements& catalogue, std::string* error) {
  for (const CElements::Ptr& e : catalogue) {
    if (!shape::IsXmlName(e->ElementName())) {
      if (error) *error = "element name '" + e->ElementName() + "' is not an XML name";
      return false;
    }
    for (const CAttributes::Ptr& a : e->Attributes()) {
      if (!shape::IsXmlName(a->AttributeName()) || a->AttributeName() == "xmlns") {
        if (error)
          *error = "attribute name '" + a->AttributeName() + "' of element '" +
                   e->ElementName() + "' is not an XML name";
        return false;
      }
    }
  }
  return true;
}

}  // namespace

std::optional<std::string> CatalogueSchema(std::string_view catalogue_bytes, std::string* error) {
  CElements catalogue;
  if (!LoadCatalogueFileBytes(catalogue_bytes, catalogue, error)) return std::nullopt;
  if (!CheckNames(catalogue, error)) return std::nullopt;
  return SchemaWriter().Write(catalogue);
}

}  // namespace tavjit
