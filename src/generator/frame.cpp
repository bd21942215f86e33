// The generator frame: runs over the document element list and assembles
// the script from the element lines.
#include "generator/generator.h"
#include "support/text.h"

namespace tavjit {

namespace {
constexpr std::string_view kActiveDocument = "docs.ActiveDocument";
constexpr std::string_view kCrLf = "\r\n";
}  // namespace

bool CreateScript(const CElements& list, CVariables& variables, std::string& text,
                  const ErrorReporter& report) {
  variables = CVariables();
  std::string script;
  for (const auto& element : list) {
    try {
      if (!CheckAttribs(*element, report)) return false;
    } catch (const ValueError&) {
      return false;  // a value that cannot be examined ends the run silently
    }
    std::string line = BuildElementLine(*element, variables);
    if (ContainsNoCase(line, kActiveDocument))
      line = "If docs.Count Then\r\n" + line + "\r\nEnd If";
    script += line;
    script += kCrLf;
    script = FixVariables(script, variables);
  }
  if (!script.empty()) script.insert(0, "Option Explicit\r\n");
  text = std::move(script);
  return true;
}

}  // namespace tavjit
