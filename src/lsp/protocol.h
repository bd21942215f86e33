// The protocol's JSON: the features' values to messages, and what requests
// carry back to values. Readers give nullopt for what a client sent wrong;
// nothing here throws on a client's input.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>

#include "lsp/features.h"

namespace tavjit::lsp {

using json = nlohmann::json;

// JSON-RPC and protocol error codes.
enum class ErrorCode {
  ParseError = -32700,
  InvalidRequest = -32600,
  MethodNotFound = -32601,
  InvalidParams = -32602,
  InternalError = -32603,
  ServerNotInitialized = -32002,
  RequestFailed = -32803,
};

// Member key of an object, when it has the type asked for.
const json* Member(const json& j, const char* key);
std::optional<std::string> StringMember(const json& j, const char* key);
std::optional<bool> BoolMember(const json& j, const char* key);
std::optional<uint32_t> UintMember(const json& j, const char* key);

std::optional<Position> ReadPosition(const json& j);
std::optional<Range> ReadRange(const json& j);

struct DocumentPosition {
  std::string uri;
  Position position;
};
// textDocument.uri and position, as most requests carry them.
std::optional<DocumentPosition> ReadDocumentPosition(const json& params);
std::optional<std::string> ReadDocumentUri(const json& params);

json ToJson(Position p);
json ToJson(Range r);
json ToJson(const Diagnostic& d, const std::string& uri);
json ToJson(const CompletionItem& c);
json ToJson(const Hover& h);
json ToJson(const Symbol& s);
json ToJson(const Fold& f);
json ToJson(const TextEdit& e);
json ToJson(const CodeAction& a, const std::string& uri);
json Locations(const std::vector<Range>& ranges, const std::string& uri);
json WorkspaceEdit(const std::vector<TextEdit>& edits, const std::string& uri);

// Serialises a message; text that is not UTF-8 (from a catalogue, say) is
// replaced rather than refused.
std::string Dump(const json& j);

}  // namespace tavjit::lsp
