// tavjit: the command-line driver. Options, files, output formatting and exit
// codes only; compiling is the library's.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "lsp/server.h"
#include "tavjit/catalogue.hpp"
#include "tavjit/tavjit.hpp"

#if defined(__SSE2__) && defined(__x86_64__)
#include <emmintrin.h>
#endif
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kExitOk = 0, kExitFailed = 1, kExitUsage = 2;

struct UsageError {
  std::string message;
};

std::optional<std::string> ReadFile(const std::string& path) {
  std::error_code ec;
  if (!fs::is_regular_file(path, ec)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::string data;
  const uintmax_t size = fs::file_size(path, ec);
  if (!ec) {
    data.resize(static_cast<size_t>(size));
    in.read(data.data(), static_cast<std::streamsize>(data.size()));
    data.resize(static_cast<size_t>(in.gcount()));
  }
  // Whatever follows (a file that grew, or a size not known).
  char buf[1 << 16];
  while (in.read(buf, sizeof buf) || in.gcount() > 0)
    data.append(buf, static_cast<size_t>(in.gcount()));
  if (in.bad()) return std::nullopt;
  return data;
}

std::string ReadStdin() {
  std::string data;
  char buf[1 << 16];
  for (size_t n; (n = std::fread(buf, 1, sizeof buf, stdin)) > 0;) data.append(buf, n);
  return data;
}

// Catalogue-file bytes from --catalogue (a catalogue file or a JSON source,
// told apart by content), or the built-in catalogue.
std::string LoadCatalogue(const std::string& path) {
  if (path.empty()) return tavjit::DefaultCatalogue();
  std::optional<std::string> bytes = ReadFile(path);
  if (!bytes) throw UsageError{"cannot read catalogue '" + path + "'"};
  if (tavjit::LooksLikeCatalogueFile(*bytes)) return *bytes;
  std::string error;
  std::optional<std::string> built = tavjit::BuildCatalogue(*bytes, &error);
  if (!built)
    throw UsageError{"'" + path + "' is neither a catalogue file nor a JSON catalogue source: " +
                     error};
  return *built;
}

void WriteOrThrow(const std::string& path, std::string_view bytes) {
  std::string error;
  if (!tavjit::WriteFileAtomically(path, bytes, &error))
    throw std::runtime_error("cannot write '" + path + "': " + error);
}

// Writes an output file; a failure is reported and the run goes on.
bool Write(const std::string& path, std::string_view bytes) {
  std::string error;
  if (tavjit::WriteFileAtomically(path, bytes, &error)) return true;
  std::cerr << "tavjit: error: cannot write '" << path << "': " << error << '\n';
  return false;
}


// How the lint's and the compiler's warnings count.
struct Strictness {
  bool lint_errors = false;     // a lint finding fails the file
  bool warnings_fail = false;   // a warning fails the file
  bool caret = true;
};

const char* Name(tavjit::Severity s) {
  switch (s) {
    case tavjit::Severity::Error: return "error";
    case tavjit::Severity::Warning: return "warning";
    case tavjit::Severity::Note: return "note";
  }
  return "note";
}

tavjit::Severity SeverityOf(const tavjit::Diagnostic& d) {
  return d.kind == tavjit::Diagnostic::Kind::Warning ? tavjit::Severity::Warning
                                                     : tavjit::Severity::Error;
}

// What a diagnostic counts as for the file, as printed.
tavjit::Severity Counted(tavjit::Severity s, const Strictness& how) {
  return s == tavjit::Severity::Warning && how.warnings_fail ? tavjit::Severity::Error : s;
}
tavjit::Severity CountedLint(const tavjit::LintFinding& f, const Strictness& how) {
  return how.lint_errors ? tavjit::Severity::Error : Counted(f.severity, how);
}

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    // ASCII 32 bytes at a time.
    if (i + 32 <= s.size()) {
      uint64_t w[4];
      std::memcpy(w, s.data() + i, 32);
      if (((w[0] | w[1] | w[2] | w[3]) & 0x8080808080808080ull) == 0) {
        i += 32;
        continue;
      }
    }
    const auto c = static_cast<unsigned char>(s[i]);
    const size_t len = c < 0x80 ? 1 : (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3
                                    : (c & 0xF8) == 0xF0 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    for (size_t k = 1; k < len; ++k)
      if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
    i += len;
  }
  return true;
}

#if defined(__SSE2__) && defined(__x86_64__)
// The line feeds among the 64 bytes at p.
uint32_t LineFeeds64(const char* p) {
  const __m128i lf = _mm_set1_epi8('\n');
  __m128i ones = _mm_setzero_si128();  // a match is -1: subtracted, it counts one
  for (int k = 0; k < 4; ++k)
    ones = _mm_sub_epi8(
        ones, _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * k)), lf));
  const __m128i sums = _mm_sad_epu8(ones, _mm_setzero_si128());
  return static_cast<uint32_t>(_mm_cvtsi128_si32(sums) + _mm_extract_epi16(sums, 4));
}
#endif

// The source lines diagnostics show, and only those: found in one pass over
// the document, which is read block by block and not kept. Line ends are as
// XML reads them (LF, CR LF or a lone CR). A line that is not UTF-8, or holds
// a NUL (UTF-16), is not shown: its columns would not match its bytes.
class SourceLines {
 public:
  explicit SourceLines(std::vector<uint32_t> wanted) : wanted_(std::move(wanted)) {
    std::sort(wanted_.begin(), wanted_.end());
    wanted_.erase(std::unique(wanted_.begin(), wanted_.end()), wanted_.end());
    next_ = wanted_.begin();
  }
  // The next block of the document; false once every wanted line is found.
  bool Feed(std::string_view block) {
    if (first_) {
      first_ = false;
      if (block.starts_with("\xEF\xBB\xBF")) block.remove_prefix(3);
    }
    // The next LF and the next CR, each searched for again only once passed.
    size_t lf = block.find('\n'), cr = block.find('\r');
    for (size_t at = 0; at < block.size() && next_ != wanted_.end();) {
      if (after_cr_ && block[at] == '\n') {  // the LF of a CR LF split between blocks
        after_cr_ = false;
        ++at;
        continue;
      }
      after_cr_ = false;
      if (cr < at) cr = block.find('\r', at);
      if (cr == std::string_view::npos && line_ < *next_) {
        at = SkipLines(block, at);
        if (line_ < *next_) break;
      }
      if (lf < at) lf = block.find('\n', at);
      const size_t end = std::min(lf, cr);
      const bool wanted = line_ == *next_;
      if (wanted) current_.append(block.substr(at, end - at));
      if (end == std::string_view::npos) break;
      if (wanted) EndWanted();
      ++line_;
      at = end + 1;
      if (block[end] == '\r') {
        if (at < block.size())
          at += block[at] == '\n';
        else
          after_cr_ = true;
      }
    }
    return next_ != wanted_.end();
  }
  // The end of the document: ends the last line.
  void End() {
    if (next_ != wanted_.end() && line_ == *next_) EndWanted();
  }
  // Line n, 1-based, if wanted and shown.
  std::optional<std::string_view> Line(uint32_t n) const {
    const auto it = std::lower_bound(lines_.begin(), lines_.end(), n,
                                     [](const auto& l, uint32_t v) { return l.first < v; });
    if (it == lines_.end() || it->first != n) return std::nullopt;
    return it->second;
  }

 private:
  // Past the lines before the next one wanted, in a stretch without a CR:
  // most lines are not shown, and nothing but their ends is looked at.
  size_t SkipLines(std::string_view block, size_t at) {
    const uint32_t want = *next_;
#if defined(__SSE2__) && defined(__x86_64__)
    // Sixty-four bytes at a time, their line feeds counted together.
    while (line_ < want && block.size() - at >= 64) {
      const uint32_t n = LineFeeds64(block.data() + at);
      if (line_ + n >= want) break;  // the line starts in these bytes: found below
      line_ += n;
      at += 64;
    }
#endif
    for (; line_ < want; ++line_) {
      const void* end = std::memchr(block.data() + at, '\n', block.size() - at);
      if (!end) return block.size();
      at = static_cast<size_t>(static_cast<const char*>(end) - block.data()) + 1;
    }
    return at;
  }
  void EndWanted() {
    if (current_.find('\0') == std::string::npos && IsUtf8(current_))
      lines_.emplace_back(line_, std::move(current_));
    current_.clear();
    ++next_;
  }
  std::vector<uint32_t> wanted_;
  std::vector<uint32_t>::const_iterator next_;
  std::vector<std::pair<uint32_t, std::string>> lines_;
  std::string current_;
  uint32_t line_ = 1;
  bool first_ = true, after_cr_ = false;
};

struct FileResult {
  std::string file;
  bool result = false;
  std::string text, errmsg;
  std::vector<tavjit::Diagnostic> events;
  std::vector<tavjit::Explanation> explanations;
  std::span<const tavjit::LintFinding> lint;  // the compiler's own, until its next compile
  std::optional<SourceLines> source;
};

using Shown = std::optional<std::pair<uint32_t, uint32_t>>;  // the place last shown

void Print(const FileResult& r, const std::optional<uint32_t>& line,
           const std::optional<uint32_t>& column, tavjit::Severity severity,
           const std::string& message, bool caret, Shown& shown, std::string& out) {
  const std::pair<uint32_t, uint32_t> place{line.value_or(0), column.value_or(0)};
  if (severity == tavjit::Severity::Note && shown == place) caret = false;
  shown = place;
  out += r.file;
  if (line) out.append(1, ':').append(std::to_string(*line));
  if (line && column) out.append(1, ':').append(std::to_string(*column));
  out.append(": ").append(Name(severity)).append(": ").append(message).push_back('\n');
  std::optional<std::string_view> text;
  if (caret && line && column && r.source) text = r.source->Line(*line);
  if (text && *column <= text->size() + 1) {
    out.append(*text).push_back('\n');
    // Tabs stay tabs and a character takes one place, so the caret lines up.
    size_t spaces = 0;
    for (size_t i = 0; i + 1 < *column; ++i) {
      const auto c = static_cast<unsigned char>((*text)[i]);
      if (c == '\t') {
        out.append(spaces, ' ').push_back('\t');
        spaces = 0;
      } else if ((c & 0xC0) != 0x80) {
        ++spaces;
      }
    }
    out.append(spaces, ' ').append("^\n");
  }
}

// A file's diagnostics reach stderr, which writes at once whatever it is
// given: in pieces of 64 KiB, so that writes are few and a document's many
// findings are not held twice.
void PrintDiagnostics(const FileResult& r, const Strictness& how) {
  Shown shown;
  std::string out;
  auto print = [&](const std::optional<uint32_t>& line, const std::optional<uint32_t>& column,
                   tavjit::Severity severity, const std::string& message) {
    Print(r, line, column, severity, message, how.caret, shown, out);
    if (out.size() < (1 << 16)) return;
    std::cerr << out;
    out.clear();
  };
  // Each event, then the explanations that belong to it.
  std::vector<std::vector<const tavjit::Explanation*>> notes(r.events.size());
  for (const tavjit::Explanation& e : r.explanations)
    if (e.event && *e.event < r.events.size()) notes[*e.event].push_back(&e);
  for (size_t i = 0; i < r.events.size(); ++i) {
    const tavjit::Diagnostic& d = r.events[i];
    print(d.line, d.column, Counted(SeverityOf(d), how), d.message);
    for (const tavjit::Explanation* e : notes[i]) print(e->line, e->column, e->severity, e->message);
  }
  for (const tavjit::Explanation& e : r.explanations)
    if (!e.event || *e.event >= r.events.size())
      print(e.line, e.column, Counted(e.severity, how), e.message);
  for (const tavjit::LintFinding& f : r.lint)
    print(f.line, f.column, CountedLint(f, how), f.message);
  std::cerr << out;
}

// The lines of what is printed for the file that have a column to show.
std::vector<uint32_t> LinesShown(const FileResult& r) {
  std::vector<uint32_t> lines;
  auto add = [&lines](const std::optional<uint32_t>& line, const std::optional<uint32_t>& column) {
    if (line && column && *line) lines.push_back(*line);
  };
  for (const tavjit::Diagnostic& d : r.events) add(d.line, d.column);
  for (const tavjit::Explanation& e : r.explanations) add(e.line, e.column);
  for (const tavjit::LintFinding& f : r.lint) add(f.line, f.column);
  return lines;
}

// Those lines of a file, read again block by block; none when it cannot be
// read (it may have gone since it was compiled).
std::optional<SourceLines> ReadLines(const std::string& path, std::vector<uint32_t> wanted) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  SourceLines lines(std::move(wanted));
  std::vector<char> block(1 << 16);
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0)
    if (!lines.Feed({block.data(), static_cast<size_t>(in.gcount())})) return lines;
  if (in.bad()) return std::nullopt;
  lines.End();
  return lines;
}

// Whether the file fails with what was printed for it.
bool Fails(const FileResult& r, const Strictness& how) {
  if (!r.result) return true;
  for (const tavjit::Diagnostic& d : r.events)
    if (Counted(SeverityOf(d), how) == tavjit::Severity::Error) return true;
  for (const tavjit::LintFinding& f : r.lint)
    if (CountedLint(f, how) == tavjit::Severity::Error) return true;
  return false;
}

nlohmann::ordered_json OrNull(const std::optional<uint32_t>& n) {
  return n ? nlohmann::ordered_json(*n) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json ToJson(const FileResult& r, bool lint, const Strictness& how) {
  nlohmann::ordered_json events = nlohmann::ordered_json::array();
  for (const tavjit::Diagnostic& d : r.events)
    events.push_back({{"kind", d.kind == tavjit::Diagnostic::Kind::Warning ? "warning" : "error"},
                      {"message", d.message},
                      {"line", OrNull(d.line)},
                      {"column", OrNull(d.column)}});
  nlohmann::ordered_json explanations = nlohmann::ordered_json::array();
  for (const tavjit::Explanation& e : r.explanations)
    explanations.push_back({{"severity", Name(e.severity)},
                            {"message", e.message},
                            {"line", OrNull(e.line)},
                            {"column", OrNull(e.column)},
                            {"event", e.event ? nlohmann::ordered_json(*e.event)
                                              : nlohmann::ordered_json(nullptr)}});
  nlohmann::ordered_json out = {{"file", r.file},
                                {"result", r.result},
                                {"text", r.text},
                                {"errmsg", r.errmsg},
                                {"events", events},
                                {"explanations", explanations}};
  if (lint) {
    nlohmann::ordered_json findings = nlohmann::ordered_json::array();
    for (const tavjit::LintFinding& f : r.lint)
      findings.push_back({{"line", OrNull(f.line)},
                          {"column", OrNull(f.column)},
                          {"severity", Name(CountedLint(f, how))},
                          {"message", f.message}});
    out["lint"] = std::move(findings);
  }
  return out;
}

// Adds one file's object to the JSON array being written, indented as
// nlohmann indents an array's elements. A file whose object does not fit in
// memory is listed with its result and the reason alone.
void AppendJson(std::string* array, FileResult& r, bool lint, const Strictness& how) {
  std::string object;
  try {
    object =
        ToJson(r, lint, how).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  } catch (const std::bad_alloc&) {
    FileResult small{r.file, false, {}, {}, {}, {}, {}, {}};
    small.explanations = {{tavjit::Severity::Error, "out of memory", {}, {}, {}}};
    object = ToJson(small, lint, how)
                 .dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
  *array += array->empty() ? "[\n  " : ",\n  ";
  for (char c : object) {
    *array += c;
    if (c == '\n') *array += "  ";
  }
}

// The script in UTF-16 little-endian with a byte order mark, or in
// Windows-1252 (UTF-8 is written as compiled). nullopt, with the
// reason, when a character has no place in the encoding.
std::optional<std::string> Encode(const std::string& script, const std::string& encoding,
                                  std::string* why) {
  static constexpr char32_t k1252[32] = {
      0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
  std::string out = encoding == "utf-16" ? "\xFF\xFE" : "";
  uint32_t line = 1;
  for (size_t i = 0; i < script.size();) {
    const auto c = static_cast<unsigned char>(script[i]);
    const int len = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
    char32_t cp = len == 1 ? c : len == 2 ? c & 0x1F : len == 3 ? c & 0x0F : c & 0x07;
    for (int k = 1; k < len && i + k < script.size(); ++k)
      cp = (cp << 6) | (static_cast<unsigned char>(script[i + k]) & 0x3F);
    const std::string_view written(script.data() + i, std::min<size_t>(len, script.size() - i));
    i += static_cast<size_t>(len);
    if (cp == '\n') ++line;
    if (encoding == "utf-16") {
      auto unit = [&out](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
      };
      if (cp >= 0x10000) {
        unit(0xD800 + ((cp - 0x10000) >> 10));
        unit(0xDC00 + ((cp - 0x10000) & 0x3FF));
      } else {
        unit(cp);
      }
      continue;
    }
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      out += static_cast<char>(cp);
      continue;
    }
    const char32_t* hit = std::find(std::begin(k1252), std::end(k1252), cp);
    if (cp == 0 || hit == std::end(k1252)) {
      char code[16];
      std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(cp));
      *why = "line " + std::to_string(line) + " of the script holds " + code + " (" +
             std::string(written) + "), which cp1252 cannot hold";
      return std::nullopt;
    }
    out += static_cast<char>(0x80 + (hit - std::begin(k1252)));
  }
  return out;
}

struct CompileOptions {
  std::string catalogue, output, encoding = "utf-8";
  bool json = false;
  bool same_instance = false;
  bool no_lint = false;
  Strictness how;
  std::vector<std::string> files;
};

// Says what in a JSON catalogue source will not work as meant.
void WarnAboutCatalogue(const std::string& source, const std::string& bytes) {
  if (std::optional<std::vector<std::string>> warnings = tavjit::CatalogueWarnings(bytes, nullptr))
    for (const std::string& w : *warnings) std::cerr << source << ": warning: " << w << '\n';
}

int RunCompile(const CompileOptions& opt) {
  const std::string catalogue = LoadCatalogue(opt.catalogue);
  if (!opt.catalogue.empty() && !tavjit::LooksLikeCatalogueFile(*ReadFile(opt.catalogue)))
    WarnAboutCatalogue(opt.catalogue, catalogue);
  if (!opt.json && opt.files.size() > 1 && !opt.output.empty() && !fs::is_directory(opt.output))
    throw UsageError{"with several files, -o must name a directory"};
  const auto from_stdin = std::count(opt.files.begin(), opt.files.end(), "-");
  if (from_stdin > 1 || (from_stdin == 1 && opt.files.size() > 1 && !opt.json))
    throw UsageError{"'-' (standard input) is compiled alone, or among others with --json"};

  // One instance; unless asked to behave as one host instance would, every
  // file starts from the catalogue's values as loaded, as if compiled alone.
  tavjit::CTavJIT jit;
  std::vector<tavjit::Diagnostic>* sink = nullptr;
  jit.OnDiagnostic([&sink](const tavjit::Diagnostic& d) {
    if (sink) sink->push_back(d);
  });
  jit.InitFromBytes(catalogue);
  if (!jit.LastInit().problem.empty() || jit.LastInit().elements == 0)
    throw UsageError{"cannot use catalogue '" + opt.catalogue + "': " +
                     (jit.LastInit().problem.empty() ? "it holds no elements"
                                                     : jit.LastInit().problem)};
  jit.SetCarryOver(opt.same_instance);
  jit.EnableLint(!opt.no_lint);
  jit.EnableExplanations(true);

  // Several files: each script beside its source, or in the -o directory;
  // two sources of one base name would overwrite each other's script.
  std::vector<std::string> outputs;
  if (!opt.json && opt.files.size() > 1) {
    std::set<std::string> seen;
    for (const std::string& file : opt.files) {
      fs::path dir = opt.output.empty() ? fs::path(file).parent_path() : fs::path(opt.output);
      std::string out = (dir / fs::path(file).filename().replace_extension(".vbs")).string();
      if (!seen.insert(fs::weakly_canonical(out).string()).second)
        throw UsageError{"two files would both be compiled to '" + out + "'"};
      outputs.push_back(out);
    }
  }

  bool all_ok = true;
  std::string json;
  std::string stdin_bytes;
  for (size_t i = 0; i < opt.files.size(); ++i) {
    FileResult r;
    r.file = opt.files[i] == "-" ? "<stdin>" : opt.files[i];
    sink = &r.events;
    try {
      if (opt.files[i] == "-") {
        stdin_bytes = ReadStdin();
        r.result = jit.ExecuteFromBytes(stdin_bytes);
      } else {
        r.result = jit.Execute(r.file);
      }
      r.explanations = jit.Explanations();
      r.lint = jit.LintFindings();
    } catch (const std::bad_alloc&) {
      // Out of memory for this file alone; the next may fit.
      r.result = false;
      r.explanations = {{tavjit::Severity::Error, "out of memory", {}, {}, {}}};
    }
    sink = nullptr;
    const bool ok = !Fails(r, opt.how);
    all_ok = all_ok && ok;
    if (opt.json) {
      r.text = jit.Text();
      r.errmsg = jit.ErrMsg();
      AppendJson(&json, r, !opt.no_lint, opt.how);
      continue;
    }
    try {
      std::vector<uint32_t> wanted;
      if (opt.how.caret) wanted = LinesShown(r);
      if (!wanted.empty() && opt.files[i] == "-") {
        r.source.emplace(std::move(wanted));
        if (r.source->Feed(stdin_bytes)) r.source->End();
      } else if (!wanted.empty()) {
        r.source = ReadLines(r.file, std::move(wanted));
      }
    } catch (const std::bad_alloc&) {
      r.source.reset();  // without the source lines, then
    }
    PrintDiagnostics(r, opt.how);
    if (!ok) continue;
    // UTF-8 is written as the compiler keeps it, without a copy.
    std::string_view text = jit.Text();
    std::optional<std::string> encoded;
    if (opt.encoding != "utf-8") {
      std::string why;
      encoded = Encode(jit.Text(), opt.encoding, &why);
      if (!encoded) {
        std::cerr << r.file << ": error: " << why << '\n';
        all_ok = false;
        continue;
      }
      text = *encoded;
    }
    if (!outputs.empty()) {
      all_ok = Write(outputs[i], text) && all_ok;
    } else if (opt.output.empty() || opt.output == "-") {
      std::fwrite(text.data(), 1, text.size(), stdout);
      std::fflush(stdout);
    } else {
      all_ok = Write(opt.output, text) && all_ok;
    }
  }
  if (opt.json) {
    json += json.empty() ? "[]\n" : "\n]\n";
    if (opt.output.empty() || opt.output == "-")
      std::cout << json;
    else
      all_ok = Write(opt.output, json) && all_ok;
  }
  return all_ok ? kExitOk : kExitFailed;
}

int RunCatalogueBuild(const std::string& src, const std::string& out) {
  std::optional<std::string> json = ReadFile(src);
  if (!json) throw UsageError{"cannot read '" + src + "'"};
  std::string error;
  std::optional<std::string> bytes = tavjit::BuildCatalogue(*json, &error);
  if (!bytes) {
    std::cerr << src << ": error: " << error << '\n';
    return kExitFailed;
  }
  WarnAboutCatalogue(src, *bytes);
  WriteOrThrow(out, *bytes);
  return kExitOk;
}

// Without a file, the built-in catalogue.
int RunCatalogueDump(const std::string& path) {
  std::optional<std::string> bytes = path.empty() ? tavjit::DefaultCatalogue() : ReadFile(path);
  if (!bytes) throw UsageError{"cannot read '" + path + "'"};
  std::string error;
  std::optional<std::string> json = tavjit::DumpCatalogue(*bytes, &error);
  if (!json) {
    std::cerr << path << ": error: " << error << '\n';
    return kExitFailed;
  }
  std::cout << *json;
  return kExitOk;
}

// schema and docs: something derived from a catalogue, printed to stdout.
int RunCatalogueDerive(const std::string& catalogue_path,
                       std::optional<std::string> (*derive)(std::string_view, std::string*)) {
  std::string error;
  std::optional<std::string> text = derive(LoadCatalogue(catalogue_path), &error);
  if (!text) {
    std::cerr << "tavjit: error: " << error << '\n';
    return kExitFailed;
  }
  std::cout << *text;
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
#ifdef _WIN32
  // Scripts carry their own CR LF, which text mode would turn into CR CR LF.
  for (FILE* f : {stdin, stdout, stderr}) _setmode(_fileno(f), _O_BINARY);
#endif
  CLI::App app{"tavjit: compiles TAV macro documents into VBScript.", "tavjit"};
  // Options start with dashes everywhere: on Windows too, /a/b.tav is a file.
  app.allow_windows_style_options(false);
  app.set_version_flag("--version", std::string("tavjit ") + tavjit::Version());
  app.require_subcommand(1);

  CompileOptions copt;
  CLI::App* compile = app.add_subcommand("compile", "Compile TAV documents into scripts.");
  compile->add_option("--catalogue", copt.catalogue,
                      "Catalogue file or JSON catalogue source (default: built-in)");
  compile->add_flag("--json", copt.json, "Print one JSON object per file on stdout");
  compile->add_flag("--same-instance", copt.same_instance,
                    "Compile the files on one instance, as a host does: attribute values a "
                    "file writes into the catalogue carry over to the next files");
  CLI::Option* no_lint =
      compile->add_flag("--no-lint", copt.no_lint, "Do not look for scripts that will not run");
  compile->add_flag("--lint-errors", copt.how.lint_errors,
                    "Make every lint finding an error: the file fails (exit 1)")
      ->excludes(no_lint);
  compile->add_flag("--warnings-as-errors", copt.how.warnings_fail,
                    "Make every warning an error: the file fails (exit 1), no script is written");
  std::string werror;  // -Werror, as compilers spell it
  compile->add_option("-W", werror, "-Werror: the same as --warnings-as-errors")
      ->check(CLI::IsMember({"error"}));
  bool no_caret = false;
  compile->add_flag("--no-caret", no_caret,
                    "Leave out the source line and caret under each diagnostic");
  compile->add_option("--output-encoding", copt.encoding,
                      "Encoding of the scripts written: utf-8 (default), utf-16 (little-endian, "
                      "with a byte order mark, for Windows script hosts) or cp1252")
      ->check(CLI::IsMember({"utf-8", "utf-16", "cp1252"}));
  compile->add_option("-o,--output", copt.output,
                      "Output file (one FILE), or directory (several FILEs). Without it one "
                      "FILE's script goes to standard output, and several FILEs' scripts beside "
                      "their sources, each as NAME.vbs");
  compile->add_option("FILE", copt.files, "TAV documents ('-' reads standard input)")->required();

  CLI::App* catalogue = app.add_subcommand("catalogue", "Build, dump and describe catalogues.");
  catalogue->require_subcommand(1);
  std::string build_src, build_out, dump_path;
  CLI::App* build = catalogue->add_subcommand("build", "Build a catalogue file from JSON.");
  build->add_option("SRC", build_src, "JSON catalogue source")->required();
  build->add_option("-o,--output", build_out, "Catalogue file to write")->required();
  CLI::App* dump = catalogue->add_subcommand("dump", "Print a catalogue's JSON source.");
  dump->add_option("CAT", dump_path, "Catalogue file (default: the built-in catalogue)");
  std::string derive_catalogue;
  CLI::App* schema =
      catalogue->add_subcommand("schema", "Print an XML Schema of the documents it accepts.");
  CLI::App* docs = catalogue->add_subcommand("docs", "Print a Markdown reference of its elements.");
  for (CLI::App* sub : {schema, docs})
    sub->add_option("--catalogue", derive_catalogue,
                    "Catalogue file or JSON catalogue source (default: built-in)");

  tavjit::lsp::ServerOptions lsp_options;
  CLI::App* lsp = app.add_subcommand(
      "lsp", "Serve the Language Server Protocol on standard input and output.");
  lsp->add_option("--catalogue", lsp_options.catalogue,
                  "Catalogue file or JSON catalogue source (default: built-in)");
  bool stdio = false;
  lsp->add_flag("--stdio", stdio, "Talk on standard input and output (the only way; for clients that ask)");

  // CLI11 would only say that a subcommand is required.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("-")) break;
    const bool nested = i == 2 && std::string_view(argv[1]) == "catalogue";
    if (i > 2 || (i == 2 && !nested)) break;
    const std::vector<std::string_view> known =
        nested ? std::vector<std::string_view>{"build", "dump", "schema", "docs"}
               : std::vector<std::string_view>{"compile", "catalogue", "lsp"};
    if (std::find(known.begin(), known.end(), arg) == known.end()) {
      std::string list;
      for (std::string_view k : known) list += (list.empty() ? "" : ", ") + std::string(k);
      std::cerr << "tavjit: error: unknown subcommand '" << arg << "'"
                << (nested ? " of catalogue" : "") << " (the subcommands are " << list << ")\n"
                << "Run 'tavjit --help' for more information.\n";
      return kExitUsage;
    }
  }

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help and --version: stdout, exit 0
  } catch (const CLI::ParseError& e) {
    std::cerr << "tavjit: error: " << e.what() << "\n"
              << "Run 'tavjit --help' for more information.\n";
    return kExitUsage;
  }

  copt.how.caret = !no_caret;
  copt.how.warnings_fail = copt.how.warnings_fail || werror == "error";
  try {
    if (*compile) return RunCompile(copt);
    if (*lsp) return tavjit::lsp::RunServer(lsp_options);
    if (*build) return RunCatalogueBuild(build_src, build_out);
    if (*dump) return RunCatalogueDump(dump_path);
    if (*schema) return RunCatalogueDerive(derive_catalogue, tavjit::CatalogueSchema);
    if (*docs) return RunCatalogueDerive(derive_catalogue, tavjit::CatalogueReference);
  } catch (const UsageError& e) {
    std::cerr << "tavjit: error: " << e.message << '\n';
    return kExitUsage;
  } catch (const std::exception& e) {
    std::cerr << "tavjit: error: " << e.what() << '\n';
    return kExitFailed;
  }
  return kExitUsage;
}
