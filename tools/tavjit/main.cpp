// tavjit: the command-line driver. Options, files, output formatting and exit
// codes only; compiling is the library's.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "lsp/server.h"
#include "tavjit/catalogue.hpp"
#include "tavjit/tavjit.hpp"

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
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
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

struct FileResult {
  std::string file;
  bool result = false;
  std::string text, errmsg;
  std::vector<tavjit::Diagnostic> events;
  std::vector<tavjit::Explanation> explanations;
  std::vector<tavjit::LintFinding> lint;
};

const char* KindName(tavjit::Diagnostic::Kind k) {
  return k == tavjit::Diagnostic::Kind::Warning ? "warning" : "error";
}

const char* SeverityName(tavjit::Explanation::Severity s) {
  switch (s) {
    case tavjit::Explanation::Severity::Error: return "error";
    case tavjit::Explanation::Severity::Warning: return "warning";
    case tavjit::Explanation::Severity::Note: return "note";
  }
  return "note";
}

void PrintLine(std::ostream& out, const std::string& file, const std::optional<uint32_t>& line,
               const char* severity, const std::string& message) {
  out << file;
  if (line) out << ':' << *line;
  out << ": " << severity << ": " << message << '\n';
}

// A file's diagnostics reach stderr, which writes at once whatever it is
// given, in one piece.
void PrintDiagnostics(const FileResult& r) {
  std::ostringstream out;
  for (const tavjit::Diagnostic& d : r.events)
    PrintLine(out, r.file, d.line, KindName(d.kind), d.message);
  for (const tavjit::Explanation& e : r.explanations)
    PrintLine(out, r.file, e.line, SeverityName(e.severity), e.message);
  for (const tavjit::LintFinding& f : r.lint) PrintLine(out, r.file, f.line, "note", f.message);
  std::cerr << out.str();
}

nlohmann::ordered_json LineOrNull(const std::optional<uint32_t>& line) {
  return line ? nlohmann::ordered_json(*line) : nlohmann::ordered_json(nullptr);
}

nlohmann::ordered_json ToJson(const FileResult& r, bool lint) {
  nlohmann::ordered_json events = nlohmann::ordered_json::array();
  for (const tavjit::Diagnostic& d : r.events)
    events.push_back(
        {{"kind", KindName(d.kind)}, {"message", d.message}, {"line", LineOrNull(d.line)}});
  nlohmann::ordered_json explanations = nlohmann::ordered_json::array();
  for (const tavjit::Explanation& e : r.explanations)
    explanations.push_back({{"severity", SeverityName(e.severity)},
                            {"message", e.message},
                            {"line", LineOrNull(e.line)},
                            {"column", LineOrNull(e.column)}});
  nlohmann::ordered_json out = {{"file", r.file},
                                {"result", r.result},
                                {"text", r.text},
                                {"errmsg", r.errmsg},
                                {"events", events},
                                {"explanations", explanations}};
  if (lint) {
    nlohmann::ordered_json findings = nlohmann::ordered_json::array();
    for (const tavjit::LintFinding& f : r.lint)
      findings.push_back({{"line", LineOrNull(f.line)}, {"message", f.message}});
    out["lint"] = std::move(findings);
  }
  return out;
}

// Adds one file's object to the JSON array being written, indented as
// nlohmann indents an array's elements. A file whose object does not fit in
// memory is listed with its result and the reason alone.
void AppendJson(std::string* array, FileResult& r, bool lint) {
  std::string object;
  try {
    object = ToJson(r, lint).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  } catch (const std::bad_alloc&) {
    FileResult small{r.file, false, {}, {}, {}, {}, {}};
    small.explanations = {{tavjit::Explanation::Severity::Error, "out of memory", {}, {}}};
    object = ToJson(small, lint).dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
  }
  *array += array->empty() ? "[\n  " : ",\n  ";
  for (char c : object) {
    *array += c;
    if (c == '\n') *array += "  ";
  }
}

struct CompileOptions {
  std::string catalogue, output;
  bool json = false;
  bool same_instance = false;
  bool no_lint = false, lint_errors = false;
  std::vector<std::string> files;
};

int RunCompile(const CompileOptions& opt) {
  const std::string catalogue = LoadCatalogue(opt.catalogue);
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
  for (size_t i = 0; i < opt.files.size(); ++i) {
    FileResult r;
    r.file = opt.files[i] == "-" ? "<stdin>" : opt.files[i];
    sink = &r.events;
    try {
      r.result = opt.files[i] == "-" ? jit.ExecuteFromBytes(ReadStdin()) : jit.Execute(r.file);
      r.explanations = jit.Explanations();
      r.lint = jit.LintFindings();
    } catch (const std::bad_alloc&) {
      // Out of memory for this file alone; the next may fit.
      r.result = false;
      r.explanations = {{tavjit::Explanation::Severity::Error, "out of memory", {}, {}}};
    }
    sink = nullptr;
    // With --lint-errors a finding fails the file as an error would.
    const bool ok = r.result && !(opt.lint_errors && !r.lint.empty());
    all_ok = all_ok && ok;
    if (opt.json) {
      r.text = jit.Text();
      r.errmsg = jit.ErrMsg();
      AppendJson(&json, r, !opt.no_lint);
      continue;
    }
    PrintDiagnostics(r);
    if (!ok) continue;
    const std::string& text = jit.Text();
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
  WriteOrThrow(out, *bytes);
  return kExitOk;
}

int RunCatalogueDump(const std::string& path) {
  std::optional<std::string> bytes = ReadFile(path);
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
  compile->add_flag("--lint-errors", copt.lint_errors, "Fail (exit 1) when the lint finds anything")
      ->excludes(no_lint);
  compile->add_option("-o,--output", copt.output,
                      "Output file (one FILE), or directory (several FILEs)");
  compile->add_option("FILE", copt.files, "TAV documents ('-' reads standard input)")->required();

  CLI::App* catalogue = app.add_subcommand("catalogue", "Build, dump and describe catalogues.");
  catalogue->require_subcommand(1);
  std::string build_src, build_out, dump_path;
  CLI::App* build = catalogue->add_subcommand("build", "Build a catalogue file from JSON.");
  build->add_option("SRC", build_src, "JSON catalogue source")->required();
  build->add_option("-o,--output", build_out, "Catalogue file to write")->required();
  CLI::App* dump = catalogue->add_subcommand("dump", "Print a catalogue's JSON source.");
  dump->add_option("CAT", dump_path, "Catalogue file")->required();
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

  try {
    app.parse(argc, argv);
  } catch (const CLI::Success& e) {
    return app.exit(e);  // --help and --version: stdout, exit 0
  } catch (const CLI::ParseError& e) {
    std::cerr << "tavjit: error: " << e.what() << "\n"
              << "Run 'tavjit --help' for more information.\n";
    return kExitUsage;
  }

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
