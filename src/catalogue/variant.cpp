// Variant: its text form and the reading of numbers, the same under any locale.
#include "catalogue/variant.h"

#include <locale.h>
#include <stdlib.h>

#include <charconv>
#include <cmath>
#include <string_view>

#include "support/text.h"

namespace tavjit {

std::string DoubleToText(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d < 0 ? "-Infinity" : "Infinity";
  if (d == 0) return "0";
  // to_chars, not printf: a host's locale must not turn "1.5" into "1,5".
  char buf[40];
  const std::to_chars_result r =
      std::to_chars(buf, buf + sizeof buf, d, std::chars_format::general, 15);
  std::string s(buf, r.ptr);
  for (char& c : s)
    if (c == 'e') c = 'E';
  // "1.5E+020" style exponents lose their leading zeros: "1.5E+20".
  size_t e = s.find('E');
  std::string mant = e == std::string::npos ? s : s.substr(0, e);
  std::string exp = e == std::string::npos ? "" : s.substr(e + 1);
  if (mant.find('.') != std::string::npos) {
    while (!mant.empty() && mant.back() == '0') mant.pop_back();
    if (!mant.empty() && mant.back() == '.') mant.pop_back();
  }
  if (exp.empty()) return mant;
  char sign = exp[0];
  std::string digits = exp.substr(1);
  while (digits.size() > 1 && digits[0] == '0') digits.erase(0, 1);
  return mant + "E" + sign + digits;
}

std::string Variant::ToText() const {
  switch (type()) {
    case Type::Empty: return {};
    case Type::Text: return *AsText();
    case Type::Int: return std::to_string(*AsInt());
    case Type::Bool: return *AsBool() ? "True" : "False";
    case Type::Double: return DoubleToText(*AsDouble());
  }
  return {};
}

namespace {

// Whether s, trimmed, is written as a number: sign, digits, decimal point,
// exponent. *plain: no exponent and few enough digits that the value is
// finite whatever they are.
bool NumberSyntax(std::string_view s, bool* plain) {
  s = TrimSpaces(s);
  size_t i = 0;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  size_t digits = 0;
  while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  if (i < s.size() && s[i] == '.') {
    ++i;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++digits;
  }
  if (digits == 0) return false;
  *plain = i == s.size() && digits <= 300;
  if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
    ++i;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
    size_t exp_digits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9') ++i, ++exp_digits;
    if (exp_digits == 0) return false;
  }
  return i == s.size();
}

}  // namespace

bool IsNumber(std::string_view s) {
  bool plain = false;
  if (!NumberSyntax(s, &plain)) return false;
  return plain || ParseNumber(s).has_value();
}

std::optional<double> ParseNumber(std::string_view s) {
  bool plain = false;
  if (!NumberSyntax(s, &plain)) return std::nullopt;
  s = TrimSpaces(s);
  // strtod in the C locale whatever the host set: a value too small to hold
  // reads as zero, as it always has, where from_chars would refuse it.
  std::string copy(s);
#ifdef _WIN32
  static const _locale_t c_locale = _create_locale(LC_ALL, "C");
  double d = _strtod_l(copy.c_str(), nullptr, c_locale);
#else
  static const locale_t c_locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  double d = strtod_l(copy.c_str(), nullptr, c_locale);
#endif
  if (!std::isfinite(d)) return std::nullopt;
  return d;
}

// Rounds half to even, as a whole-number conversion of a stored
// floating-point value does.
static std::optional<int32_t> RoundToInt32(double d) {
  if (!std::isfinite(d)) return std::nullopt;
  double r = std::nearbyint(d);
  if (r < -2147483648.0 || r > 2147483647.0) return std::nullopt;
  return static_cast<int32_t>(r);
}

std::optional<int32_t> Variant::ToInt32() const {
  switch (type()) {
    case Type::Empty: return 0;
    case Type::Int: return *AsInt();
    case Type::Bool: return *AsBool() ? -1 : 0;
    case Type::Double: return RoundToInt32(*AsDouble());
    case Type::Text: {
      auto d = ParseNumber(*AsText());
      if (!d) return std::nullopt;
      return RoundToInt32(*d);
    }
  }
  return std::nullopt;
}

std::optional<bool> Variant::ToBool() const {
  switch (type()) {
    case Type::Empty: return false;
    case Type::Int: return *AsInt() != 0;
    case Type::Bool: return *AsBool();
    case Type::Double: return *AsDouble() != 0;
    case Type::Text: {
      std::string t = FoldCase(TrimSpaces(*AsText()));
      if (t == "true") return true;
      if (t == "false") return false;
      auto d = ParseNumber(t);
      if (!d) return std::nullopt;
      return *d != 0;
    }
  }
  return std::nullopt;
}

}  // namespace tavjit
