// A direct, literal rendering of the compiler, kept as the yardstick for the
// library's faster strategy: the walk files a copy of every element into a
// document element list under keys K1, K2, ...; the generator runs over the
// whole list at the end of every walked level and splices variables into the
// whole script after every element. Slow on purpose; used by tests only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "catalogue/records.h"
#include "xml/document.h"

namespace tavref {

struct Event {
  bool error;
  std::string message;
  std::string text;  // Text as a handler of the event sees it
  bool operator==(const Event&) const = default;
};

class ReferenceCompiler {
 public:
  explicit ReferenceCompiler(std::string_view catalogue_bytes) { catalogue_.LoadBytes(catalogue_bytes); }

  // Execute on a document already read into memory.
  bool Compile(std::string_view bytes);

  const std::string& Text() const { return text_; }
  const std::string& ErrMsg() const { return err_msg_; }
  const std::vector<Event>& Events() const { return events_; }
  const tavjit::CElements& Catalogue() const { return catalogue_; }
  void ClearEvents() { events_.clear(); }

  // The ten replacements and the two of a string literal, one after another.
  static std::string LiteralTAVDecode(std::string_view text);
  static std::string LiteralFixTextValue(std::string_view text);

 private:
  void SetErrMsg(const std::string& msg);
  void Warn(const std::string& msg);
  bool CheckIfValid(const tavjit::xml::Document& doc);
  bool PopulateDoc(tavjit::xml::Node parent);
  std::string GetUniqueKey();
  bool CreateScript();

  tavjit::CElements catalogue_, doc_list_;
  tavjit::CVariables variables_;
  std::string text_, err_msg_;
  std::vector<Event> events_;
};

}  // namespace tavref
