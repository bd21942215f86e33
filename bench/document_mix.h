// Generated TAV documents for the benchmarks and the differential test.
//   simple: 15 common commands, a third carrying text, if/loop nesting up to
//           depth 6, 50 variables declared first and referenced throughout.
//   full:   every element a document may write, ranges and %r.property%
//           references, references before the declaration and to names
//           nothing declares, multi-line texts, else and breakloop, nesting
//           up to depth 6, numbers and strings that take a variable.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace tavbench {

enum class Mix { kSimple, kFull };

namespace detail {

inline constexpr std::string_view kHead =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tav version=\"1.0\" edition=\"korvane\">\n"
    "  <tavhead><version>1.0</version><author>bench</author></tavhead>\n  <tavbody>\n";
inline constexpr std::string_view kTail = "  </tavbody>\n</tav>\n";

inline std::string Simple(long n, uint32_t seed) {
  std::mt19937 rng(seed);
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); };
  std::string out;
  out.reserve(static_cast<size_t>(n) * 48);
  out += kHead;
  const int kVars = 50;
  long emitted = 0;
  for (int v = 0; v < kVars && emitted < n; ++v, ++emitted)
    out += "    <var name=\"v" + std::to_string(v) + "\">" + std::to_string(v) + "</var>\n";
  int depth = 0;
  std::vector<bool> open_is_if;
  std::string indent = "    ";
  auto var = [&] { return "v" + std::to_string(pick(kVars)); };
  while (emitted < n) {
    int r = pick(100);
    if (r < 8 && depth < 6) {
      const bool is_if = pick(2) != 0;
      open_is_if.push_back(is_if);
      out += indent + (is_if ? "<if expression=\"" + var() + " &gt; 1\">\n"
                             : "<loop statement=\"" + var() + " &lt; 10\">\n");
      ++depth;
      indent += "  ";
    } else if (r < 14 && depth > 0) {
      indent.resize(indent.size() - 2);
      out += indent + (open_is_if.back() ? "</if>\n" : "</loop>\n");
      open_is_if.pop_back();
      --depth;
      continue;
    } else if (r < 24) {
      out += indent + "<inserttext>Value %" + var() + "% at line &quot;" + std::to_string(emitted) +
             "&quot;</inserttext>\n";
    } else if (r < 32) {
      out += indent + "<outputaddtext>Count: %" + var() + "%</outputaddtext>\n";
    } else if (r < 40) {
      out += indent + "<shortexpression>" + var() + " = " + var() + " + 1</shortexpression>\n";
    } else if (r < 50) {
      out += indent + "<goto line=\"%" + var() + "%\"/>\n";
    } else if (r < 58) {
      out += indent + "<findtext matchcase=\"true\" wholewords=\"false\">word" +
             std::to_string(pick(1000)) + "</findtext>\n";
    } else if (r < 64) {
      out += indent + "<findnext/>\n";
    } else if (r < 70) {
      out += indent + "<linecount variable=\"" + var() + "\"/>\n";
    } else if (r < 76) {
      out += indent + "<getline variable=\"" + var() + "\" line=\"" + std::to_string(pick(500)) +
             "\"/>\n";
    } else if (r < 82) {
      out += indent + "<outputclear/>\n";
    } else if (r < 88) {
      out += indent + "<bmtoggle/>\n";
    } else if (r < 94) {
      out += indent + "<opendoc filename=\"file" + std::to_string(pick(100)) + ".txt\"/>\n";
    } else {
      out += indent + "<cut/>\n";
    }
    ++emitted;
  }
  while (depth-- > 0) {
    indent.resize(indent.size() - 2);
    out += indent + (open_is_if.back() ? "</if>\n" : "</loop>\n");
    open_is_if.pop_back();
  }
  out += kTail;
  return out;
}

class Full {
 public:
  // 50 variables and 10 ranges from 1,000 elements on, fewer in smaller
  // documents; four in five declared first.
  Full(long n, uint32_t seed)
      : n_(n),
        vars_(static_cast<int>(std::clamp(n / 20, 4L, 50L))),
        early_vars_(vars_ * 4 / 5),
        ranges_(static_cast<int>(std::clamp(n / 100, 2L, 10L))),
        early_ranges_(ranges_ * 4 / 5),
        rng_(seed) {}

  std::string Make() {
    out_.reserve(static_cast<size_t>(n_) * 56);
    out_ += kHead;
    // Most variables and ranges are declared first; the others at even
    // intervals, so that earlier elements refer to them before they exist.
    for (int v = 0; v < early_vars_ && emitted_ < n_; ++v) Declare(v);
    for (int r = 0; r < early_ranges_ && emitted_ < n_; ++r) DeclareRange(r);
    const int late = (vars_ - early_vars_) + (ranges_ - early_ranges_);
    long next_late = 0;
    int late_done = 0;
    auto late_at = [&](int k) { return n_ * (k + 1) / (late + 1); };
    while (emitted_ < n_) {
      if (late_done < late && emitted_ >= (next_late = late_at(late_done))) {
        const int k = late_done++;
        if (k < vars_ - early_vars_)
          Declare(early_vars_ + k);
        else
          DeclareRange(early_ranges_ + k - (vars_ - early_vars_));
        continue;
      }
      const int r = Pick(100);
      if (r < 7 && open_.size() < 6) {
        Open();
      } else if (r < 12 && !open_.empty()) {
        Close();
      } else if (r < 14 && !open_.empty() && open_.back().is_if && !open_.back().has_else) {
        open_.back().has_else = true;
        Line("<else/>");
      } else if (r < 15 && InLoop()) {
        Line("<breakloop/>");
      } else {
        Command();
      }
    }
    while (!open_.empty()) Close();
    out_ += kTail;
    return std::move(out_);
  }

 private:
  struct Open_ {
    bool is_if, has_else;
  };

  int Pick(int k) { return static_cast<int>(rng_() % static_cast<unsigned>(k)); }
  std::string Num(int k) { return std::to_string(Pick(k)); }
  std::string Var() { return "v" + Num(vars_); }
  std::string Range() { return "r" + Num(ranges_); }
  // A reference in text: mostly a variable, some range properties (one
  // spelled in capitals), a few names nothing declares.
  std::string Ref() {
    const int r = Pick(100);
    if (r < 1) return "%u" + Num(5) + "%";
    if (r < 10) {
      static constexpr const char* kProps[] = {"startlineno", "startcolno", "endlineno",
                                               "endcolno", "columnsel"};
      if (r == 9) return "%R" + Num(ranges_) + ".StartLineNo%";
      return "%" + Range() + "." + kProps[Pick(5)] + "%";
    }
    return "%" + Var() + "%";
  }
  // A number attribute: a number or a variable reference.
  std::string Number() { return Pick(3) == 0 ? "%" + Var() + "%" : std::to_string(1 + Pick(500)); }
  std::string Truth() {
    static constexpr const char* kTruths[] = {"true", "false", "True", "FALSE"};
    return kTruths[Pick(4)];
  }
  std::string File() { return "C:\\work\\file" + Num(100) + "_%" + Var() + "%.txt"; }
  // Text for a string literal: quotes, entities, references; some on
  // several lines.
  std::string Words() {
    switch (Pick(6)) {
      case 0: return "Value " + Ref() + " at &quot;" + std::to_string(emitted_) + "&quot;";
      case 1: return "Line one " + Ref() + "\n" + indent_ + "  line two &amp; " + Ref();
      case 2: return "From " + Ref() + " to " + Ref();
      case 3: return "a &lt; b, tab&amp;#9;here";
      case 4: return "Count: " + Ref();
      default: return "word" + Num(1000);
    }
  }
  // Script statements: one line, or several with a block of their own.
  std::string Code() {
    const std::string a = Var(), b = Var();
    switch (Pick(4)) {
      case 0: return a + " = " + b + " + 1";
      case 1: return a + " = " + a + " * 2\n" + indent_ + b + " = " + b + " - 1";
      case 2:
        return "If " + a + " &gt; 2 Then\n" + indent_ + "  " + a + " = 0\n" + indent_ + "End If";
      default: return a + " = Len(\"" + Ref() + "\")";
    }
  }

  void Line(const std::string& element) {
    out_ += indent_ + element + "\n";
    ++emitted_;
  }
  void Declare(int v) {
    const std::string name = "v" + std::to_string(v);
    Line(v % 3 == 0 ? "<var name=\"" + name + "\">Start " + Ref() + "</var>"
                    : "<var name=\"" + name + "\">" + std::to_string(v) + "</var>");
  }
  void DeclareRange(int r) { Line("<range name=\"r" + std::to_string(r) + "\"/>"); }
  bool InLoop() const {
    for (const Open_& o : open_)
      if (!o.is_if) return true;
    return false;
  }
  void Open() {
    const bool is_if = Pick(2) != 0;
    Line(is_if ? "<if expression=\"" + Var() + " &gt; " + Num(9) + "\">"
               : "<loop statement=\"" + Var() + " &lt; " + Num(90) + "\">");
    open_.push_back({is_if, false});
    indent_ += "  ";
  }
  void Close() {
    indent_.resize(indent_.size() - 2);
    out_ += indent_ + (open_.back().is_if ? "</if>\n" : "</loop>\n");
    open_.pop_back();
  }
  // An element with text.
  void Text(const std::string& start, const std::string& name, const std::string& text) {
    Line(start + ">" + text + "</" + name + ">");
  }

  void Command() {
    const std::string v = Var();
    switch (Pick(65)) {
      case 0: return Text("<set variable=\"" + v + "\"", "set", Pick(2) ? Num(100) : Words());
      case 1: return Text("<shortexpression", "shortexpression", Code());
      case 2:
        return Line("<setrange name=\"" + Range() + "\" startlineno=\"" + Number() +
                    "\" startcolno=\"1\" endlineno=\"" + Number() + "\" endcolno=\"" + Number() +
                    "\" columnsel=\"" + Truth() + "\"/>");
      case 3: return Line("<newdoc template=\"tmpl" + Num(5) + ".txt\"/>");
      case 4: return Line("<opendoc filename=\"" + File() + "\"/>");
      case 5: return Line(Pick(2) ? "<savedoc/>" : "<savedoc filename=\"" + File() + "\"/>");
      case 6: return Line("<saveall/>");
      case 7: return Line("<printdoc showdialog=\"" + Truth() + "\"/>");
      case 8: return Line("<printall/>");
      case 9: return Line("<showinbrowser/>");
      case 10: return Line("<closedoc/>");
      case 11: return Line("<closeall/>");
      case 12: return Line("<undo/>");
      case 13: return Line("<redo/>");
      case 14: return Line("<getlanguage variable=\"" + v + "\"/>");
      case 15:
        return Line("<setlanguage name=\"" + std::string(Pick(2) ? "VBScript" : "HTML") + "\"/>");
      case 16: return Line("<gettext variable=\"" + v + "\"/>");
      case 17: return Text("<settext", "settext", Words());
      case 18: return Line("<getline variable=\"" + v + "\" line=\"" + Number() + "\"/>");
      case 19: return Line("<getseltext variable=\"" + v + "\"/>");
      case 20: return Text("<setseltext", "setseltext", Words());
      case 21: return Line("<getsel range=\"" + Range() + "\"/>");
      case 22: return Line("<setsel range=\"" + Range() + "\"/>");
      case 23: return Text("<inserttext", "inserttext", Words());
      case 24: return Line("<insertfile filename=\"" + File() + "\"/>");
      case 25: return Line("<linecount variable=\"" + v + "\"/>");
      case 26:
        return Line("<encloselines startstring=\"&lt;b&gt;\" endstring=\"&lt;/b&gt;\" "
                    "afterindent=\"" + Truth() + "\"/>");
      case 27: return Line("<cut/>");
      case 28: return Line("<copy/>");
      case 29: return Line("<paste/>");
      case 30:
        return Text("<findtext matchcase=\"" + Truth() + "\" wholewords=\"" + Truth() + "\"",
                    "findtext", Words());
      case 31: return Text("<replacetext preservecase=\"" + Truth() + "\"", "replacetext", Words());
      case 32: return Line("<findnext/>");
      case 33: return Line("<findprev/>");
      case 34: return Line("<findmarkall/>");
      case 35: return Line("<replacenext/>");
      case 36: return Line("<replaceall selectiononly=\"" + Truth() + "\"/>");
      case 37: return Line("<goto line=\"" + Number() + "\"/>");
      case 38: return Line("<usertool index=\"" + Number() + "\"/>");
      case 39: return Line("<funclist/>");
      case 40:
        return Text("<choicedlg variable=\"" + v + "\" title=\"Pick " + Ref() +
                        "\" oncancel=\"Exit\"",
                    "choicedlg", Words());
      case 41:
        return Text(
            Pick(2) ? "<msgbox" : "<msgbox variable=\"" + v + "\" buttons=\"4\" icon=\"32\"",
            "msgbox", Words());
      case 42:
        return Text("<inputbox variable=\"" + v + "\" default=\"" + Ref() + "\"", "inputbox",
                    Words());
      case 43: return Text("<vbscript", "vbscript", Code());
      case 44:
        return Line("<shell filename=\"" + File() + "\" verb=\"open\"" +
                    (Pick(2) ? "" : " variable=\"" + v + "\"") + "/>");
      case 45: return Line("<bmtoggle/>");
      case 46: return Line("<bmnext/>");
      case 47: return Line("<bmprev/>");
      case 48: return Line("<bmfirst/>");
      case 49: return Line("<bmlast/>");
      case 50: return Line("<bmclear/>");
      case 51: return Line("<bmcount variable=\"" + v + "\"/>");
      case 52: return Line("<outputsetvisible visible=\"" + Truth() + "\"/>");
      case 53: return Line("<outputgetvisible variable=\"" + v + "\"/>");
      case 54: return Line("<outputclear/>");
      case 55: return Line("<outputlinecount variable=\"" + v + "\"/>");
      case 56: return Line("<outputgetselected variable=\"" + v + "\"/>");
      case 57: return Line("<outputsetselected line=\"" + Number() + "\"/>");
      case 58: return Line("<outputgetline line=\"" + Number() + "\" variable=\"" + v + "\"/>");
      case 59: return Line("<outputgettext variable=\"" + v + "\"/>");
      case 60:
        return Text(Pick(2) ? "<outputaddtext" : "<outputaddtext line=\"" + Number() + "\"",
                    "outputaddtext", Words());
      default: return Text("<inserttext", "inserttext", Words());
    }
  }

  long n_;
  int vars_, early_vars_, ranges_, early_ranges_;
  long emitted_ = 0;
  std::mt19937 rng_;
  std::string out_;
  std::string indent_ = "    ";
  std::vector<Open_> open_;
};

}  // namespace detail

// A document of about n body elements.
inline std::string MakeDocument(long n, uint32_t seed, Mix mix) {
  if (mix == Mix::kSimple) return detail::Simple(n, seed);
  return detail::Full(n, seed).Make();
}

}  // namespace tavbench
