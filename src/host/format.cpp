#include <cmath>
#include <cstdio>
#include <string>

#include "host/text.h"

namespace mixed::host {

namespace {

// Beyond this magnitude a fixed-point rendering shows digits that a double does
// not hold; such values are written with an exponent whatever the format.
constexpr double kFixedLimit = 1e15;
// Coefficients switch to an exponent earlier, so that their columns stay narrow.
constexpr double kCoefficientLarge = 1e12;
constexpr double kCoefficientTiny = 1e-6;
constexpr int kCoefficientDigits = 6;
constexpr int kCoefficientMaxDecimals = 8;
constexpr int kMaxDecimals = 16;

// A rounding that leaves only zeros must not keep its sign: "-0.000" is "0.000".
std::string drop_negative_zero(std::string s) {
  if (s.empty() || s[0] != '-') return s;
  for (std::size_t i = 1; i < s.size(); ++i)
    if (s[i] != '0' && s[i] != '.') return s;
  return s.substr(1);
}

std::string fixed(double v, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  return drop_negative_zero(buf);
}

std::string scientific(double v, int significant) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*E", significant - 1, v);
  return buf;
}

// x with at most `decimals` decimals and no trailing zeros after the point.
std::string trimmed(double v, int decimals) {
  std::string s = fixed(v, decimals);
  if (s.find('.') == std::string::npos) return s;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return drop_negative_zero(s);
}

bool whole(double v) { return v == std::floor(v); }

// About six significant digits: decimals = 6 - (digits before the point), or,
// below 1, enough to reach the sixth significant digit; never more than 8.
std::string coefficient(double v) {
  const double a = std::fabs(v);
  if (a == 0.0) return "0";
  if (a >= kCoefficientLarge || a < kCoefficientTiny) return scientific(v, kCoefficientDigits);
  const int magnitude = static_cast<int>(std::floor(std::log10(a)));  // 10^magnitude <= a
  int decimals = kCoefficientDigits - 1 - magnitude;
  if (decimals < 0) decimals = 0;
  if (decimals > kCoefficientMaxDecimals) decimals = kCoefficientMaxDecimals;
  return fixed(v, decimals);
}

std::string count(double v) {
  if (whole(v)) return fixed(v, 0);
  return trimmed(v, 3);
}

int clamp_decimals(int d) { return d < 0 ? 0 : (d > kMaxDecimals ? kMaxDecimals : d); }

}  // namespace

std::string format_number(double value, const Format& format) {
  if (std::isnan(value)) return ".";
  if (std::isinf(value)) return value > 0 ? "Inf" : "-Inf";
  using K = Format::Kind;
  if (format.kind == K::Coefficient) return coefficient(value);
  if (format.kind == K::NOrCoefficient)
    return whole(value) && std::fabs(value) < kFixedLimit ? fixed(value, 0) : coefficient(value);
  if (std::fabs(value) >= kFixedLimit) return scientific(value, kCoefficientDigits);
  switch (format.kind) {
    case K::Count: return count(value);
    case K::Correlation:
    case K::Significance:
    case K::GenStat: return fixed(value, 3);
    case K::Mean: return fixed(value, 4);
    case K::StdDev: return fixed(value, 5);
    case K::Percent: return fixed(value, 1) + "%";
    case K::Fixed: return format.decimals < 0 ? coefficient(value) : fixed(value, clamp_decimals(format.decimals));
    case K::Print: return fixed(value, clamp_decimals(format.decimals));
    case K::Coefficient:
    case K::NOrCoefficient: break;
  }
  return coefficient(value);
}

}  // namespace mixed::host
