// Writes a TAV document of about N body elements for the benchmark: a
// realistic mix of commands, about a third carrying text, if/loop nesting up
// to depth 6, and 50 variables referenced throughout.
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_document N [SEED]\n");
    return 2;
  }
  const long n = std::atol(argv[1]);
  std::mt19937 rng(argc > 2 ? static_cast<unsigned>(std::atol(argv[2])) : 1u);
  auto pick = [&](int k) { return static_cast<int>(rng() % static_cast<unsigned>(k)); };
  std::string out;
  out.reserve(static_cast<size_t>(n) * 48);
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<tav version=\"1.0\" edition=\"korvane\">\n"
         "  <tavhead><version>1.0</version><author>bench</author></tavhead>\n  <tavbody>\n";
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
  out += "  </tavbody>\n</tav>\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}
