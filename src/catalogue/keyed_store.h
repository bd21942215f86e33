// The ordered keyed store behind CElements, CAttributes and CVariables:
// 1-based positions in insertion order, keys compared by Unicode case
// folding, records shared by reference.
#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "support/text.h"

namespace tavjit {

// The one exception type that Add, Item and Remove throw: the collections'
// own failures. Code that expects a key to be taken calls TryAdd instead.
class CollectionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown out of line, so that the checks inlined into every caller stay small.
[[noreturn, gnu::cold]] void ThrowPositionOutOfRange(int32_t position);
[[noreturn, gnu::cold]] void ThrowCollectionError(std::string_view what, std::string_view key);

template <class T>
class KeyedStore {
 public:
  using Ptr = std::shared_ptr<T>;

 private:
  // Declared before the iterator that names it (clang requires it).
  struct Entry {
    Ptr record;
    std::string folded_key;
  };

 public:
  int32_t Count() const { return static_cast<int32_t>(items_.size()); }

  // Files record under key; false, with nothing filed, when the key is taken.
  bool TryAdd(std::string_view key, Ptr record) {
    std::string folded = KeyFold(key);
    auto [it, inserted] = index_.try_emplace(std::move(folded), items_.size());
    if (!inserted) return false;
    items_.push_back(Entry{std::move(record), it->first});
    return true;
  }

  void Add(std::string_view key, Ptr record) {
    if (!TryAdd(key, std::move(record)))
      ThrowCollectionError("key already present: ", key);
  }

  const Ptr& Item(int32_t position) const {
    if (position < 1 || position > Count()) ThrowPositionOutOfRange(position);
    return items_[static_cast<size_t>(position - 1)].record;
  }

  const Ptr& Item(std::string_view key) const {
    const Ptr* found = Find(key);
    if (!found) ThrowCollectionError("no record under key: ", key);
    return *found;
  }

  // The record under key, or nullptr: for callers that test for absence.
  const Ptr* Find(std::string_view key) const {
    // Short ASCII keys, nearly all of them, fold without an allocation.
    char buf[64];
    if (key.size() <= sizeof buf) {
      bool ascii = true;
      for (size_t i = 0; i < key.size(); ++i) {
        const char c = key[i];
        ascii &= static_cast<unsigned char>(c) < 0x80;
        buf[i] = AsciiLower(c);
      }
      if (ascii) {
        const std::string_view folded(buf, key.size());
        // An element's few attributes: comparing beats hashing.
        if (items_.size() <= kScanned) {
          for (const Entry& e : items_)
            if (e.folded_key == folded) return &e.record;
          return nullptr;
        }
        auto it = index_.find(folded);
        return it == index_.end() ? nullptr : &items_[it->second].record;
      }
    }
    auto it = index_.find(KeyFold(key));
    return it == index_.end() ? nullptr : &items_[it->second].record;
  }

  void Remove(int32_t position) {
    if (position < 1 || position > Count()) ThrowPositionOutOfRange(position);
    EraseAt(static_cast<size_t>(position - 1));
  }

  void Remove(std::string_view key) {
    auto it = index_.find(KeyFold(key));
    if (it == index_.end()) ThrowCollectionError("no record under key: ", key);
    EraseAt(it->second);
  }

  void Clear() {
    items_.clear();
    index_.clear();
  }

  class iterator {
   public:
    using Inner = typename std::vector<typename KeyedStore::Entry>::const_iterator;
    explicit iterator(Inner it) : it_(it) {}
    const Ptr& operator*() const { return it_->record; }
    iterator& operator++() { ++it_; return *this; }
    bool operator!=(const iterator& o) const { return it_ != o.it_; }
    bool operator==(const iterator& o) const { return it_ == o.it_; }
   private:
    Inner it_;
  };
  iterator begin() const { return iterator(items_.begin()); }
  iterator end() const { return iterator(items_.end()); }

 private:
  void EraseAt(size_t i) {
    index_.erase(items_[i].folded_key);
    items_.erase(items_.begin() + static_cast<std::ptrdiff_t>(i));
    for (size_t j = i; j < items_.size(); ++j) index_[items_[j].folded_key] = j;
  }

  static constexpr size_t kScanned = 8;
  struct Hash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>()(s); }
  };
  std::vector<Entry> items_;
  std::unordered_map<std::string, size_t, Hash, std::equal_to<>> index_;
};

}  // namespace tavjit
