// What each fuzz target checks for one input, shared with the test that
// replays the seed corpora and fuzz/regressions/. Each returns "" when the
// input behaves, else what went wrong.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/catalogue_json.h"
#include "catalogue/records.h"
#include "tavjit/catalogue.hpp"
#include "tavjit/tavjit.hpp"

namespace tavfuzz {

inline bool WriteWholeFile(const std::string& path, std::string_view bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// An instance with the built-in catalogue and its ErrorMessage events.
struct Compiler {
  tavjit::CTavJIT jit;
  std::vector<std::string> errors;
  Compiler() {
    jit.OnErrorMessage([this](const std::string& m) { errors.push_back(m); });
    jit.InitDefault();
    jit.EnableExplanations(true);
    jit.EnableLint(true);
  }
};

// A document compiled by an initialised instance, from memory (reading a
// file adds nothing that depends on the bytes). Beyond not crashing, the
// compile keeps its promises to the host: success carries no message, a
// failure raises at most one ErrorMessage and ErrMsg holds its text, and a
// script starts with "Option Explicit". A failure is explained, with a line
// (every document has one, bytes or not).
inline std::string CheckDocument(Compiler& c, std::string_view bytes) {
  c.errors.clear();
  const bool ok = c.jit.ExecuteFromBytes(bytes);
  const std::string& msg = c.jit.ErrMsg();
  if (ok && (!msg.empty() || !c.errors.empty())) return "success with an error message";
  bool placed = false;
  for (const tavjit::Explanation& e : c.jit.Explanations())
    placed = placed || e.line.value_or(0) > 0 || e.message == "out of memory";
  if (!ok && !placed) return "a failure without an explanation that has a line";
  if (c.errors.size() > 1) return "more than one ErrorMessage";
  if (c.errors.size() == 1 && c.errors.front() != msg) return "ErrMsg differs from the event";
  if (c.errors.empty() && !msg.empty()) return "ErrMsg set without an event";
  const std::string& text = c.jit.Text();
  if (ok && !text.empty() && !text.starts_with("Option Explicit\r\n"))
    return "script without Option Explicit";
  return "";
}

inline bool ValidUtf8(std::string_view s) {
  size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    size_t n = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (n == 0 || i + n > s.size()) return false;
    uint32_t cp = n == 1 ? c : c & (0x7F >> n);
    for (size_t k = 1; k < n; ++k) {
      const auto d = static_cast<unsigned char>(s[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    static constexpr uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < kMin[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return false;
    i += n;
  }
  return true;
}

// True when the catalogue has a JSON form that keeps everything: no
// infinite or NaN default, no text that is not UTF-8.
inline bool HasExactJsonForm(const tavjit::CElements& c) {
  for (const auto& e : c) {
    for (const std::string* s : {&e->ElementName(), &e->Description(), &e->Parent(), &e->Text(),
                                 &e->TextDescription(), &e->Information()})
      if (!ValidUtf8(*s)) return false;
    for (const auto& a : e->Attributes()) {
      for (const std::string* s :
           {&a->AttributeName(), &a->Description(), &a->Value(), &a->ArrayValues()})
        if (!ValidUtf8(*s)) return false;
      const tavjit::Variant& d = a->DefaultValue();
      if (d.AsDouble() && !std::isfinite(*d.AsDouble())) return false;
      if (d.AsText() && !ValidUtf8(*d.AsText())) return false;
    }
  }
  return true;
}

// Uses most elements of the built-in catalogue, so that a hostile catalogue
// meets the generator's branches.
inline constexpr char kSampleDocument[] = R"(<?xml version="1.0"?>
<tav version="1.0" edition="korvane">
  <tavhead><version>1</version><author>fuzz</author></tavhead>
  <tavbody>
    <var name="n">3</var>
    <range name="r"/>
    <setrange name="r" startlineno="1" startcolno="1" endlineno="2" endcolno="%n%" columnsel="false"/>
    <loop statement="n &gt; 0">
      <inserttext>Line %n% of %r.startlineno%</inserttext>
      <shortexpression>n = n - 1</shortexpression>
      <if expression="n = 1"><breakloop/></if>
    </loop>
    <if expression="n = 0"><msgbox buttons="ok" variable="n">Done %n%</msgbox><else/>
      <goto line="5"/></if>
    <findtext matchcase="false" wholewords="true">colour</findtext>
    <replacetext preservecase="true">color</replacetext>
    <replaceall selectiononly="false"/>
    <newdoc/><opendoc filename="a.txt"/><savedoc/><printdoc showdialog="true"/>
    <getline variable="n" line="2"/><encloselines startstring="(" afterindent="true"/>
    <choicedlg variable="n" title="t">a|b</choicedlg><inputbox variable="n">How many?</inputbox>
    <shell filename="notepad" verb="open"/><usertool index="1"/><bmcount variable="n"/>
    <outputsetvisible visible="true"/><outputaddtext line="1">Done %n%</outputaddtext>
  </tavbody>
</tav>
)";

// A catalogue file loaded from bytes: what loads saves to bytes that load
// back to the same catalogue, its JSON source builds the same file, its
// schema is made or refused with a message, and a document compiles against
// it without harm. sample_path holds
// kSampleDocument.
inline std::string CheckCatalogue(std::string_view bytes, const std::string& sample_path) {
  tavjit::CElements loaded;
  loaded.LoadBytes(bytes);
  const std::string saved = loaded.SaveBytes();
  tavjit::CElements again;
  again.LoadBytes(saved);
  if (again.SaveBytes() != saved) return "saved bytes load to a different catalogue";
  if (HasExactJsonForm(loaded)) {
    tavjit::CElements from_json;
    std::string error;
    if (!tavjit::LoadCatalogueJson(tavjit::DumpCatalogueJson(loaded), from_json, &error))
      return "its JSON source does not build: " + error;
    if (from_json.SaveBytes() != saved) return "its JSON source builds a different file";
  }
  std::string error;
  if (!tavjit::CatalogueSchema(bytes, &error) && error.empty())
    return "no schema and no message";
  tavjit::CTavJIT jit;
  jit.InitFromBytes(std::string(bytes));
  jit.Execute(sample_path);
  return "";
}

// A JSON catalogue source: what builds dumps to a source that builds the
// identical file; what does not build says why.
inline std::string CheckCatalogueJson(std::string_view text) {
  std::string error;
  const std::optional<std::string> built = tavjit::BuildCatalogue(text, &error);
  if (!built) return error.empty() ? "refused without a message" : "";
  const std::optional<std::string> dumped = tavjit::DumpCatalogue(*built, &error);
  if (!dumped) return "built bytes do not dump: " + error;
  const std::optional<std::string> rebuilt = tavjit::BuildCatalogue(*dumped, &error);
  if (!rebuilt) return "the dump does not build: " + error;
  if (*rebuilt != *built) return "the dump builds different bytes";
  return "";
}

// A scratch file of this process, removed at exit.
inline std::string ScratchPath(const char* what) {
  return "/tmp/tavjit-fuzz-" + std::string(what) + "-" + std::to_string(::getpid());
}

}  // namespace tavfuzz
