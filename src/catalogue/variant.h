// A loosely typed value: empty, text, 32-bit whole number, truth value or
// floating-point number. It keeps the type it was stored with.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <variant>

namespace tavjit {

class Variant {
 public:
  enum class Type : uint8_t { Empty = 0, Text = 1, Int = 2, Bool = 3, Double = 4 };

  Variant() = default;
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(const char* s) : v_(std::string(s)) {}
  Variant(int32_t i) : v_(i) {}
  Variant(bool b) : v_(b) {}
  Variant(double d) : v_(d) {}
  // libstdc++ 12's copy constructor of a variant holding a string runs into
  // undefined behaviour when the string's copy runs out of memory; its copy
  // assignment builds a temporary and is safe.
  Variant(const Variant& other) { v_ = other.v_; }
  Variant(Variant&&) noexcept = default;
  Variant& operator=(const Variant&) = default;
  Variant& operator=(Variant&&) noexcept = default;

  Type type() const { return static_cast<Type>(v_.index()); }
  bool IsEmpty() const { return type() == Type::Empty; }

  const std::string* AsText() const { return std::get_if<std::string>(&v_); }
  const int32_t* AsInt() const { return std::get_if<int32_t>(&v_); }
  const bool* AsBool() const { return std::get_if<bool>(&v_); }
  const double* AsDouble() const { return std::get_if<double>(&v_); }

  // The text a user expects: "" for empty, "True"/"False", decimal digits,
  // up to 15 significant digits for floating-point numbers ("1.5", "1E+20").
  std::string ToText() const;

  // Conversions a catalogue reader applies to a stored value; nullopt when
  // the value cannot be converted (the property then keeps its fresh value).
  std::optional<int32_t> ToInt32() const;
  std::optional<bool> ToBool() const;

  friend bool operator==(const Variant& a, const Variant& b) {
    return a.v_ == b.v_;
  }

 private:
  std::variant<std::monostate, std::string, int32_t, bool, double> v_;
};

// Text form of a floating-point number as ToText writes it.
std::string DoubleToText(double d);

// Parses a numeric text: optional blanks, sign, digits with an optional
// decimal point, optional exponent, optional blanks. nullopt otherwise.
std::optional<double> ParseNumber(std::string_view s);
// ParseNumber(s).has_value(), without converting where the text alone says.
bool IsNumber(std::string_view s);

}  // namespace tavjit
