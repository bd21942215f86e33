// The literal reference compiler, step by step as the direct algorithm goes.
#include "reference/reference_compiler.h"

#include "generator/attribute_check.h"
#include "generator/generator.h"
#include "generator/splice.h"
#include "support/text.h"

namespace tavref {

using namespace tavjit;

std::string ReferenceCompiler::LiteralTAVDecode(std::string_view text) {
  std::string s = ReplaceAll(text, "\r\n", "\n");
  s = ReplaceAll(s, "\r", "\n");
  s = ReplaceAll(s, "\n", "\r\n");
  s = ReplaceAll(s, "&#10;", "\r\n");
  s = ReplaceAll(s, "&#9;", "\t");
  s = ReplaceAll(s, "&#160;", " ");
  s = ReplaceAll(s, "&quot;", "\"");
  s = ReplaceAll(s, "&gt;", ">");
  s = ReplaceAll(s, "&lt;", "<");
  return ReplaceAll(s, "&amp;", "&");
}

std::string ReferenceCompiler::LiteralFixTextValue(std::string_view text) {
  std::string s = ReplaceAll(text, "\"", "\"\"");
  s = ReplaceAll(s, "\r\n", "\" & vbcrlf & \"");
  return "\"" + s + "\"";
}

void ReferenceCompiler::SetErrMsg(const std::string& msg) {
  err_msg_ = msg;
  events_.push_back({true, msg, text_});
}

void ReferenceCompiler::Warn(const std::string& msg) { events_.push_back({false, msg, text_}); }

bool ReferenceCompiler::Compile(std::string_view bytes) {
  doc_list_.Clear();
  err_msg_.clear();
  auto doc = xml::Document::Parse(bytes);
  bool result = false;
  if (!doc)
    SetErrMsg("Not a TAV document or file is not well formed");
  else
    result = CheckIfValid(*doc);
  doc_list_.Clear();
  return result;
}

static xml::Node FirstElement(xml::Node n) {
  while (n && !n.IsElement()) n = n.NextSibling();
  return n;
}

bool ReferenceCompiler::CheckIfValid(const xml::Document& doc) {
  xml::Node root = doc.Root();
  if (root.Name() != "tav") return SetErrMsg("This file is not a valid TAV document."), false;
  auto version = root.Attribute("version");
  if (!version) return false;
  if (*version != "1.0")
    return SetErrMsg("The file has an invalid or unsupported version number."), false;
  auto edition = root.Attribute("edition");
  if (!edition) return false;
  if (ToLower(TrimSpaces(*edition)) != "korvane")
    return SetErrMsg("This file isn't the Korvane edition of TAV"), false;
  xml::Node head = FirstElement(root.FirstChild());
  if (!head) return SetErrMsg("File doesn't contain a valid header."), false;
  if (head.Name() != "tavhead") return SetErrMsg("File doesn't contain a valid header"), false;
  if (!head.HasChildNodes()) return SetErrMsg("File header doesn't contain a version."), false;
  bool version_seen = false;
  for (xml::Node n = head.FirstChild(); n; n = n.NextSibling()) {
    if (!n.IsElement()) continue;
    std::string_view name = n.Name();
    if (name == "version")
      version_seen = true;
    else if (name != "author" && name != "company" && name != "description" && name != "email" &&
             name != "web")
      Warn("Invalid or unsupported element, '" + std::string(name) + "', found in header.");
  }
  if (!version_seen) return SetErrMsg("File header doesn't contain a version element."), false;
  xml::Node body = FirstElement(head.NextSibling());
  if (!body) return false;
  if (body.Name() != "tavbody") return SetErrMsg("File doesn't contain a valid body."), false;
  return PopulateDoc(body);
}

std::string ReferenceCompiler::GetUniqueKey() {
  if (doc_list_.Count() == 0) return "K1";
  for (int32_t n = 1; n <= doc_list_.Count() + 1; ++n) {
    try {
      (void)doc_list_.Item("K" + std::to_string(n))->Key();
    } catch (const CollectionError&) {
      return "K" + std::to_string(n);
    }
  }
  return {};
}

bool ReferenceCompiler::PopulateDoc(xml::Node parent) {
  for (xml::Node node = parent.FirstChild(); node; node = node.NextSibling()) {
    if (!node.IsElement()) continue;
    const std::string name(node.Name());
    CElements::Ptr def;
    try {
      def = catalogue_.Item(name);
    } catch (const CollectionError&) {
    }
    if (!def || name == "endif" || name == "endloop") {
      Warn("Unsupported element, '" + name + "', found in document body.");
      continue;
    }
    node.ForEachAttribute([&](std::string_view attr, std::string_view value) {
      try {
        def->Attributes().Item(attr)->SetValue(LiteralTAVDecode(value));
      } catch (const CollectionError&) {
        Warn("Unsupported attribute, '" + std::string(attr) + "', found in element '" + name + "'.");
      }
    });
    if (def->ContainsText()) def->SetText(LiteralTAVDecode(node.Text()));
    doc_list_.AddObject(*def, GetUniqueKey());
    if (node.HasChildNodes() && !PopulateDoc(node)) return false;
    const char* closing = name == "if" ? "endif" : name == "loop" ? "endloop" : nullptr;
    if (closing) {
      try {
        doc_list_.AddObject(*catalogue_.Item(closing), GetUniqueKey());
      } catch (const CollectionError&) {
      }
    }
  }
  return CreateScript();
}

bool ReferenceCompiler::CreateScript() {
  variables_ = CVariables();
  std::string script;
  for (const auto& element : doc_list_) {
    if (CheckAttribs(*element, [&](const std::string& m, const CElement&) { SetErrMsg(m); }) !=
        CheckResult::kAccepted)
      return false;
    std::string line = BuildElementLine(*element, variables_);
    if (ContainsNoCase(line, "docs.ActiveDocument"))
      line = "If docs.Count Then\r\n" + line + "\r\nEnd If";
    script += line + "\r\n";
    script = FixVariables(script, variables_);
  }
  if (!script.empty()) script = "Option Explicit\r\n" + script;
  text_ = script;
  return true;
}

}  // namespace tavref
