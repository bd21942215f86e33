// Catalogues and bag blocks shared by the catalogue tests.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "catalogue/property_bag.h"
#include "catalogue/records.h"

namespace tavjit::testing_util {

// Every stored property set, every DefaultValue type, CR LF and non-ASCII
// text.
inline CElements SampleCatalogue() {
  CElements c;
  auto g = c.Add("goto", "Go to a line", false, "", false, false, "", "");
  g->SetInformation("info");
  g->Attributes().Add("line", 5, "", "", true, Variant(int32_t{1}), "Line number");
  g->Attributes().Add("column", 5, "3", "", false, Variant(2.5), "");
  auto m = c.Add("msgbox", "Show a message", true, "The message", true, true, "tavbody",
                 "Hello\r\nWorld");
  m->Attributes().Add("buttons", 7, "ok", "ok|okcancel", false, Variant("ok"), "Buttons");
  m->Attributes().Add("modal", 6, "", "", false, Variant(true), "");
  m->Attributes().Add("title", 1, "", "", false, Variant(), "");
  m->Attributes().Add("neg", -3, "", "", false, Variant(int32_t{-7}), "");
  m->Attributes().Add("blank", 8, "", "", false, Variant(std::string()), "");
  c.Add("Straße", "", false, "", false, false, "", "ü");
  return c;
}

using Entries = std::vector<std::pair<std::string, Variant>>;

// A bag block holding exactly these entries, in this order.
inline std::string Block(const Entries& entries) {
  PropertyBag bag;
  for (const auto& [key, value] : entries) bag.WriteProperty(key, value, Variant());
  return bag.Contents();
}

}  // namespace tavjit::testing_util
