// A store of named, typed values that serialises itself to one block of
// bytes: the container of a catalogue file. The byte layout is described in
// docs/catalogue-format.md.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "catalogue/variant.h"

namespace tavjit {

// First bytes of every block: "TAVCAT", then 0x1A 0x0A, which a text-mode
// copy or a truncated download tends to damage.
inline constexpr std::string_view kBagMagic{"TAVCAT\x1A\n", 8};
inline constexpr uint32_t kBagVersion = 1;

class PropertyBag {
 public:
  struct Entry {
    std::string key;
    Variant value;
  };

  // The value stored under key (exact comparison), with its type; the
  // default when nothing is stored there. A stored Empty is returned as such.
  Variant ReadProperty(std::string_view key, const Variant& default_value) const;

  // Stores value under key, replacing an earlier value in place. The value
  // is stored even when it equals the default, so a block lists every key
  // that was written and depends on nothing but the values.
  void WriteProperty(std::string_view key, Variant value, const Variant& default_value);

  // The serialised block; throws std::length_error for a key or text longer
  // than 4 GiB - 1 bytes or more than 2^32 - 1 entries.
  std::string Contents() const;

  // Rebuilds the bag from a block. Returns false, leaving the bag as it was,
  // for a block that is not exactly one well-formed bag.
  bool SetContents(std::string_view bytes);

  const Variant* Find(std::string_view key) const;
  // Entries in the order they were first written.
  const std::vector<Entry>& Entries() const { return entries_; }

 private:
  std::vector<Entry> entries_;
  std::unordered_map<std::string, size_t> index_;
};

}  // namespace tavjit
