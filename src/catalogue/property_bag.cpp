// PropertyBag: named, typed values to one block of bytes and back.
#include "catalogue/property_bag.h"

#include <cstring>
#include <limits>
#include <stdexcept>

namespace tavjit {

namespace {

// Length field, key, type byte: the smallest entry is an empty key holding
// Empty. Bounds the entry count before anything is parsed.
constexpr size_t kMinEntrySize = 4 + 0 + 1;
constexpr size_t kHeaderSize = 8 + 4 + 4;

void PutU32(std::string& out, uint64_t v) {
  if (v > std::numeric_limits<uint32_t>::max())
    throw std::length_error("property bag: length does not fit in 32 bits");
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutU64(std::string& out, uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// Reads little-endian fields from a block, refusing to go past its end.
class Reader {
 public:
  explicit Reader(std::string_view b) : b_(b) {}
  size_t Remaining() const { return b_.size() - pos_; }
  bool AtEnd() const { return pos_ == b_.size(); }

  bool U8(uint8_t& v) {
    if (Remaining() < 1) return false;
    v = static_cast<uint8_t>(b_[pos_++]);
    return true;
  }
  bool U32(uint32_t& v) {
    uint64_t w;
    if (!Fixed(4, w)) return false;
    v = static_cast<uint32_t>(w);
    return true;
  }
  bool U64(uint64_t& v) { return Fixed(8, v); }
  // A length-prefixed byte string; the length is checked against what is
  // left before any memory is taken for it.
  bool Bytes(std::string& s) {
    uint32_t n;
    if (!U32(n) || n > Remaining()) return false;
    s.assign(b_.substr(pos_, n));
    pos_ += n;
    return true;
  }

 private:
  bool Fixed(int n, uint64_t& v) {
    if (Remaining() < static_cast<size_t>(n)) return false;
    v = 0;
    for (int i = 0; i < n; ++i)
      v |= static_cast<uint64_t>(static_cast<uint8_t>(b_[pos_ + i])) << (8 * i);
    pos_ += n;
    return true;
  }

  std::string_view b_;
  size_t pos_ = 0;
};

bool ReadValue(Reader& r, Variant& out) {
  uint8_t type;
  if (!r.U8(type)) return false;
  switch (static_cast<Variant::Type>(type)) {
    case Variant::Type::Empty:
      out = Variant();
      return true;
    case Variant::Type::Text: {
      std::string s;
      if (!r.Bytes(s)) return false;
      out = Variant(std::move(s));
      return true;
    }
    case Variant::Type::Int: {
      uint32_t u;
      if (!r.U32(u)) return false;
      out = Variant(static_cast<int32_t>(u));
      return true;
    }
    case Variant::Type::Bool: {
      uint8_t b;
      // Only 0 and 1, so that every value has one encoding.
      if (!r.U8(b) || b > 1) return false;
      out = Variant(b == 1);
      return true;
    }
    case Variant::Type::Double: {
      uint64_t bits;
      if (!r.U64(bits)) return false;
      double d;
      std::memcpy(&d, &bits, sizeof d);
      out = Variant(d);
      return true;
    }
  }
  return false;
}

void WriteValue(std::string& out, const Variant& v) {
  out.push_back(static_cast<char>(v.type()));
  switch (v.type()) {
    case Variant::Type::Empty:
      break;
    case Variant::Type::Text:
      PutU32(out, v.AsText()->size());
      out += *v.AsText();
      break;
    case Variant::Type::Int:
      PutU32(out, static_cast<uint32_t>(*v.AsInt()));
      break;
    case Variant::Type::Bool:
      out.push_back(*v.AsBool() ? 1 : 0);
      break;
    case Variant::Type::Double: {
      uint64_t bits;
      double d = *v.AsDouble();
      std::memcpy(&bits, &d, sizeof bits);
      PutU64(out, bits);
      break;
    }
  }
}

}  // namespace

const Variant* PropertyBag::Find(std::string_view key) const {
  auto it = index_.find(std::string(key));
  return it == index_.end() ? nullptr : &entries_[it->second].value;
}

Variant PropertyBag::ReadProperty(std::string_view key, const Variant& default_value) const {
  const Variant* v = Find(key);
  return v ? *v : default_value;
}

void PropertyBag::WriteProperty(std::string_view key, Variant value, const Variant&) {
  auto [it, inserted] = index_.try_emplace(std::string(key), entries_.size());
  if (inserted)
    entries_.push_back(Entry{std::string(key), std::move(value)});
  else
    entries_[it->second].value = std::move(value);
}

std::string PropertyBag::Contents() const {
  std::string out(kBagMagic);
  PutU32(out, kBagVersion);
  PutU32(out, entries_.size());
  for (const Entry& e : entries_) {
    PutU32(out, e.key.size());
    out += e.key;
    WriteValue(out, e.value);
  }
  return out;
}

bool PropertyBag::SetContents(std::string_view bytes) {
  if (bytes.size() < kHeaderSize || bytes.substr(0, kBagMagic.size()) != kBagMagic)
    return false;
  Reader r(bytes.substr(kBagMagic.size()));
  uint32_t version, count;
  if (!r.U32(version) || version != kBagVersion || !r.U32(count)) return false;
  if (count > r.Remaining() / kMinEntrySize) return false;

  // Entries are parsed into a new bag so that a bad block changes nothing;
  // memory grows only with entries actually present.
  PropertyBag fresh;
  for (uint32_t n = 0; n < count; ++n) {
    Entry e;
    if (!r.Bytes(e.key) || !ReadValue(r, e.value)) return false;
    auto [it, inserted] = fresh.index_.try_emplace(e.key, fresh.entries_.size());
    if (!inserted) return false;  // a writer never repeats a key
    fresh.entries_.push_back(std::move(e));
  }
  if (!r.AtEnd()) return false;
  *this = std::move(fresh);
  return true;
}

}  // namespace tavjit
