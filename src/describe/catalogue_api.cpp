// The public catalogue tooling over the internal catalogue code.
#include "tavjit/catalogue.hpp"

#include "catalogue/catalogue_json.h"
#include "catalogue/default_catalogue.h"
#include "catalogue/records.h"

namespace tavjit {

std::string DefaultCatalogue() { return std::string(DefaultCatalogueBytes()); }

bool LooksLikeCatalogueFile(std::string_view bytes) { return IsCatalogueFile(bytes); }

std::optional<std::string> BuildCatalogue(std::string_view json, std::string* error) {
  CElements catalogue;
  if (!LoadCatalogueJson(json, catalogue, error)) return std::nullopt;
  return catalogue.SaveBytes();
}

std::optional<std::string> DumpCatalogue(std::string_view bytes, std::string* error) {
  CElements catalogue;
  if (!LoadCatalogueFileBytes(bytes, catalogue, error)) return std::nullopt;
  return DumpCatalogueJson(catalogue);
}

}  // namespace tavjit

#include "support/files.h"

namespace tavjit {

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string* error) {
  return ReplaceFileAtomically(path, bytes, error);
}

}  // namespace tavjit
