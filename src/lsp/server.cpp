#include "lsp/server.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <unordered_map>

namespace tavjit::lsp {

namespace {

constexpr const char* kShowScript = "tavjit.showScript";

}  // namespace

struct Server::Reply {
  json result;  // null for notifications and empty results
  std::optional<ErrorCode> error;
  std::string message;

  static Reply Fail(ErrorCode code, std::string message) {
    return {nullptr, code, std::move(message)};
  }
};

struct Server::OpenDocument {
  Document doc;
  int64_t version = 0;
  std::optional<Scan> scan;            // of the current text
  std::optional<CompileResult> result;  // of the current text
  std::vector<Diagnostic> diagnostics;  // as last published
  std::optional<Clock::time_point> due;
};

std::optional<Catalogue> LoadCatalogue(const std::string& path, std::string* error) {
  if (path.empty()) return Catalogue::FromBytes(DefaultCatalogue(), error);
  std::error_code ec;
  std::ifstream in(path, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!std::filesystem::is_regular_file(path, ec) || !in || in.bad()) {
    *error = "cannot read catalogue '" + path + "'";
    return std::nullopt;
  }
  if (!LooksLikeCatalogueFile(bytes)) {
    std::optional<std::string> built = BuildCatalogue(bytes, error);
    if (!built) {
      *error = "'" + path + "' is neither a catalogue file nor a JSON catalogue source: " + *error;
      return std::nullopt;
    }
    bytes = std::move(*built);
  }
  return Catalogue::FromBytes(std::move(bytes), error);
}

Server::Server(Catalogue catalogue, ServerOptions options, Send send)
    : catalogue_(std::move(catalogue)),
      options_(std::move(options)),
      send_(std::move(send)),
      compiler_(std::make_unique<Compiler>(catalogue_.Bytes())) {}

Server::~Server() = default;

void Server::Error(const json& id, ErrorCode code, const std::string& message) {
  send_({{"jsonrpc", "2.0"},
         {"id", id},
         {"error", {{"code", static_cast<int>(code)}, {"message", message}}}});
}

void Server::Respond(const json& id, Reply reply) {
  if (reply.error) return Error(id, *reply.error, reply.message);
  send_({{"jsonrpc", "2.0"}, {"id", id}, {"result", std::move(reply.result)}});
}

void Server::ReceiveBroken(const std::string& what) {
  Error(nullptr, ErrorCode::ParseError, "Parse error: " + what);
}

void Server::Receive(std::string_view body) {
  const json msg = json::parse(body, nullptr, false);
  if (msg.is_discarded()) return Error(nullptr, ErrorCode::ParseError, "Parse error: not JSON text in UTF-8");
  const json* id = Member(msg, "id");
  if (id && !id->is_string() && !id->is_number_integer() && !id->is_null()) id = nullptr;
  const json reply_id = id ? *id : json(nullptr);
  if (!msg.is_object()) return Error(nullptr, ErrorCode::InvalidRequest, "Invalid request: not an object");
  const json* method = Member(msg, "method");
  if (!method) {
    // A response to a request of ours (we send none) is dropped.
    if (id && (Member(msg, "result") || Member(msg, "error"))) return;
    return Error(reply_id, ErrorCode::InvalidRequest, "Invalid request: no method");
  }
  const bool is_request = Member(msg, "id") != nullptr;
  if (StringMember(msg, "jsonrpc") != "2.0" || !method->is_string() ||
      (is_request && !id)) {
    if (is_request || !method->is_string())
      Error(reply_id, ErrorCode::InvalidRequest, "Invalid request: not a JSON-RPC 2.0 message");
    return;
  }
  const json* params = Member(msg, "params");
  static const json kNoParams = json::object();
  if (params && !params->is_object() && !params->is_array()) {
    if (is_request) Error(reply_id, ErrorCode::InvalidParams, "Invalid params: not an object");
    return;
  }
  const std::string& name = method->get_ref<const std::string&>();
  Reply reply;
  try {
    reply = Dispatch(name, params ? *params : kNoParams, is_request);
  } catch (const std::exception& e) {
    // Nothing a client sends should get here; if something does, the
    // request fails and the server goes on.
    reply = Reply::Fail(ErrorCode::InternalError, std::string("Internal error: ") + e.what());
  }
  if (is_request) Respond(reply_id, std::move(reply));
}

Server::OpenDocument* Server::Find(const std::string& uri) {
  auto it = docs_.find(uri);
  return it == docs_.end() ? nullptr : it->second.get();
}

const Scan& Server::ScanOf(OpenDocument& d) {
  if (!d.scan) d.scan = ScanText(d.doc.Text());
  return *d.scan;
}

void Server::Refresh(const std::string& uri, OpenDocument& d) {
  d.due.reset();
  if (d.result) return;
  d.result = compiler_->Compile(d.doc.Text(), lint_);
  d.diagnostics = Diagnose(d.doc, ScanOf(d), catalogue_, *d.result);
  json list = json::array();
  for (const Diagnostic& diag : d.diagnostics) list.push_back(ToJson(diag, uri));
  send_({{"jsonrpc", "2.0"},
         {"method", "textDocument/publishDiagnostics"},
         {"params", {{"uri", uri}, {"version", d.version}, {"diagnostics", std::move(list)}}}});
}

std::optional<Server::Clock::time_point> Server::Deadline() const {
  std::optional<Clock::time_point> first;
  for (const auto& [uri, d] : docs_)
    if (d->due && (!first || *d->due < *first)) first = d->due;
  return first;
}

void Server::RunDue(Clock::time_point now) {
  for (auto& [uri, d] : docs_)
    if (d->due && *d->due <= now) Refresh(uri, *d);
}

void Server::ApplySettings(const json& settings) {
  const json* mine = Member(settings, "tavjit");
  const json& s = mine ? *mine : settings;
  bool changed = false;
  if (std::optional<bool> lint = BoolMember(s, "lint"); lint && *lint != lint_) {
    lint_ = *lint;
    changed = true;
  }
  if (std::optional<uint32_t> delay = UintMember(s, "diagnosticsDelay"))
    options_.diagnostics_delay_ms = static_cast<int>(std::min<uint32_t>(*delay, 10000));
  if (const json* path = Member(s, "catalogue"); path && (path->is_string() || path->is_null())) {
    const std::string p = path->is_string() ? path->get<std::string>() : std::string();
    if (p != options_.catalogue) {
      std::string error;
      if (std::optional<Catalogue> c = LoadCatalogue(p, &error)) {
        options_.catalogue = p;
        catalogue_ = std::move(*c);
        compiler_ = std::make_unique<Compiler>(catalogue_.Bytes());
        changed = true;
      } else {
        send_({{"jsonrpc", "2.0"},
               {"method", "window/showMessage"},
               {"params", {{"type", 1}, {"message", "tavjit: " + error}}}});
      }
    }
  }
  if (!changed || !initialized_) return;
  for (auto& [uri, d] : docs_) {
    d->result.reset();
    Refresh(uri, *d);
  }
}

Server::Reply Server::Initialize(const json& params) {
  if (initialized_) return Reply::Fail(ErrorCode::InvalidRequest, "initialize was sent twice");
  if (const json* options = Member(params, "initializationOptions")) ApplySettings(*options);
  initialized_ = true;
  json capabilities = {
      {"positionEncoding", "utf-16"},
      {"textDocumentSync", {{"openClose", true}, {"change", 2}}},
      {"completionProvider", {{"triggerCharacters", {"<", "%", "\"", " ", "/"}}}},
      {"hoverProvider", true},
      {"definitionProvider", true},
      {"referencesProvider", true},
      {"documentHighlightProvider", true},
      {"renameProvider", {{"prepareProvider", true}}},
      {"documentSymbolProvider", true},
      {"foldingRangeProvider", true},
      {"codeActionProvider", {{"codeActionKinds", {"quickfix"}}}},
      {"executeCommandProvider", {{"commands", {kShowScript}}}},
  };
  return {{{"capabilities", std::move(capabilities)},
           {"serverInfo", {{"name", "tavjit"}, {"version", Version()}}}},
          std::nullopt,
          {}};
}

void Server::OpenDoc(const json& params) {
  const json* td = Member(params, "textDocument");
  std::optional<std::string> uri = td ? StringMember(*td, "uri") : std::nullopt;
  std::optional<std::string> text = td ? StringMember(*td, "text") : std::nullopt;
  if (!uri || !text) return;
  auto d = std::make_unique<OpenDocument>();
  d->doc.SetText(std::move(*text));
  if (const json* v = Member(*td, "version"); v && v->is_number_integer()) d->version = v->get<int64_t>();
  OpenDocument& ref = *d;
  docs_[*uri] = std::move(d);
  Refresh(*uri, ref);
}

void Server::ChangeDoc(const json& params) {
  std::optional<std::string> uri = ReadDocumentUri(params);
  OpenDocument* d = uri ? Find(*uri) : nullptr;
  const json* changes = Member(params, "contentChanges");
  if (!d || !changes || !changes->is_array()) return;
  for (const json& c : *changes) {
    std::optional<std::string> text = StringMember(c, "text");
    if (!text) continue;
    const json* r = Member(c, "range");
    if (!r) {
      d->doc.SetText(std::move(*text));
    } else if (std::optional<Range> range = ReadRange(*r)) {
      d->doc.Replace(*range, *text);
    }
  }
  if (const json* v = Member(*Member(params, "textDocument"), "version"); v && v->is_number_integer())
    d->version = v->get<int64_t>();
  d->scan.reset();
  d->result.reset();
  d->due = Clock::now() + std::chrono::milliseconds(options_.diagnostics_delay_ms);
}

void Server::CloseDoc(const json& params) {
  std::optional<std::string> uri = ReadDocumentUri(params);
  if (!uri || !docs_.erase(*uri)) return;
  send_({{"jsonrpc", "2.0"},
         {"method", "textDocument/publishDiagnostics"},
         {"params", {{"uri", *uri}, {"diagnostics", json::array()}}}});
}

Server::Reply Server::Dispatch(const std::string& method, const json& params, bool is_request) {
  const Reply ok{nullptr, std::nullopt, {}};
  if (method == "exit") {
    exited_ = true;
    return ok;
  }
  if (method == "initialize") return Initialize(params);
  if (!initialized_) {
    return is_request ? Reply::Fail(ErrorCode::ServerNotInitialized, "Server not initialized")
                      : ok;
  }
  if (shutdown_) return Reply::Fail(ErrorCode::InvalidRequest, "the server is shutting down");
  if (method == "shutdown") {
    shutdown_ = true;
    return ok;
  }
  if (method == "initialized" || method.starts_with("$/")) return ok;
  if (method == "textDocument/didOpen") return OpenDoc(params), ok;
  if (method == "textDocument/didChange") return ChangeDoc(params), ok;
  if (method == "textDocument/didClose") return CloseDoc(params), ok;
  if (method == "textDocument/didSave") return ok;
  if (method == "workspace/didChangeConfiguration") {
    if (const json* s = Member(params, "settings")) ApplySettings(*s);
    return ok;
  }

  // Requests on a document at a position, or on a whole document.
  using Feature = std::function<json(const std::string& uri, OpenDocument& d, Position at)>;
  auto compiled = [this](const std::string& uri, OpenDocument& d) -> OpenDocument& {
    Refresh(uri, d);
    return d;
  };
  const std::unordered_map<std::string_view, Feature> at_position = {
      {"textDocument/completion",
       [&](const std::string&, OpenDocument& d, Position at) {
         json items = json::array();
         for (const CompletionItem& c : Complete(d.doc, ScanOf(d), catalogue_, at))
           items.push_back(ToJson(c));
         return json{{"isIncomplete", false}, {"items", std::move(items)}};
       }},
      {"textDocument/hover",
       [&](const std::string& uri, OpenDocument& d, Position at) {
         compiled(uri, d);
         std::optional<Hover> h = HoverAt(d.doc, ScanOf(d), catalogue_, &*d.result, at);
         return h ? ToJson(*h) : json(nullptr);
       }},
      {"textDocument/definition",
       [&](const std::string& uri, OpenDocument& d, Position at) {
         return Locations(Definition(d.doc, ScanOf(d), catalogue_, at), uri);
       }},
      {"textDocument/references",
       [&](const std::string& uri, OpenDocument& d, Position at) {
         const json* context = Member(params, "context");
         const bool decl = context && BoolMember(*context, "includeDeclaration").value_or(false);
         return Locations(References(d.doc, ScanOf(d), catalogue_, at, decl), uri);
       }},
      {"textDocument/documentHighlight",
       [&](const std::string&, OpenDocument& d, Position at) {
         json out = json::array();
         for (const Highlight& h : Highlights(d.doc, ScanOf(d), catalogue_, at))
           out.push_back({{"range", ToJson(h.range)}, {"kind", static_cast<int>(h.kind)}});
         return out;
       }},
      {"textDocument/prepareRename",
       [&](const std::string&, OpenDocument& d, Position at) {
         std::optional<RenameTarget> t = PrepareRename(d.doc, ScanOf(d), catalogue_, at);
         return t ? json{{"range", ToJson(t->range)}, {"placeholder", t->placeholder}}
                  : json(nullptr);
       }},
  };
  if (auto f = at_position.find(method); f != at_position.end()) {
    std::optional<DocumentPosition> p = ReadDocumentPosition(params);
    if (!p) return Reply::Fail(ErrorCode::InvalidParams, "Invalid params: textDocument and position");
    OpenDocument* d = Find(p->uri);
    if (!d) return Reply::Fail(ErrorCode::InvalidParams, "the document is not open: " + p->uri);
    return {f->second(p->uri, *d, p->position), std::nullopt, {}};
  }
  if (method == "textDocument/rename") {
    std::optional<DocumentPosition> p = ReadDocumentPosition(params);
    std::optional<std::string> name = StringMember(params, "newName");
    OpenDocument* d = p ? Find(p->uri) : nullptr;
    if (!d || !name) return Reply::Fail(ErrorCode::InvalidParams, "Invalid params: an open document, position and newName");
    auto edits = Rename(d->doc, ScanOf(*d), catalogue_, p->position, *name);
    if (auto* why = std::get_if<std::string>(&edits)) return Reply::Fail(ErrorCode::RequestFailed, *why);
    return {WorkspaceEdit(std::get<std::vector<TextEdit>>(edits), p->uri), std::nullopt, {}};
  }

  std::optional<std::string> uri = ReadDocumentUri(params);
  OpenDocument* d = uri ? Find(*uri) : nullptr;
  if (method == "textDocument/documentSymbol" || method == "textDocument/foldingRange" ||
      method == "textDocument/codeAction") {
    if (!d) return Reply::Fail(ErrorCode::InvalidParams, "Invalid params: an open document");
    json out = json::array();
    if (method == "textDocument/documentSymbol") {
      for (const Symbol& s : Outline(d->doc, ScanOf(*d), catalogue_)) out.push_back(ToJson(s));
    } else if (method == "textDocument/foldingRange") {
      for (const Fold& f : Folds(d->doc, ScanOf(*d))) out.push_back(ToJson(f));
    } else {
      const json* r = Member(params, "range");
      std::optional<Range> range = r ? ReadRange(*r) : std::nullopt;
      if (!range) return Reply::Fail(ErrorCode::InvalidParams, "Invalid params: range");
      compiled(*uri, *d);
      for (const CodeAction& a : CodeActions(d->doc, ScanOf(*d), catalogue_, *range, d->diagnostics))
        out.push_back(ToJson(a, *uri));
    }
    return {std::move(out), std::nullopt, {}};
  }
  if (method == "workspace/executeCommand") {
    if (StringMember(params, "command") != kShowScript)
      return Reply::Fail(ErrorCode::InvalidParams, "unknown command");
    const json* args = Member(params, "arguments");
    std::optional<std::string> target;
    if (args && args->is_array() && !args->empty()) {
      if ((*args)[0].is_string()) target = (*args)[0].get<std::string>();
      else target = StringMember((*args)[0], "uri");
    }
    OpenDocument* doc = target ? Find(*target) : nullptr;
    if (!doc) return Reply::Fail(ErrorCode::InvalidParams, "arguments: the URI of an open document");
    compiled(*target, *doc);
    if (!doc->result->ok)
      return Reply::Fail(ErrorCode::RequestFailed,
                         doc->result->errmsg.empty() ? "the document does not compile"
                                                     : doc->result->errmsg);
    return {doc->result->text, std::nullopt, {}};
  }
  return is_request ? Reply::Fail(ErrorCode::MethodNotFound, "Method not found: " + method) : ok;
}

}  // namespace tavjit::lsp
