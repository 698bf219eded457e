#include "host/fuzzy.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace mixed::host {
namespace {

constexpr double fuzz = 1e-8;
constexpr int max_decimals = 16;

}  // namespace

bool is_fuzzy_whole(double x) {
  if (!std::isfinite(x)) return false;
  return std::fabs(x - std::round(x)) <= fuzz * std::max(1.0, std::fabs(x));
}

double fuzzy_round(double x) { return is_fuzzy_whole(x) ? std::round(x) : x; }

double truncate_toward_zero(double x) { return std::trunc(x); }

int decimals_needed(double x) {
  if (!std::isfinite(x)) return 0;
  // When x is the double nearest to k / 10^d, x 10^d differs from k by at most
  // eps k (half an ulp from the literal, half from the product; 10^d is exact),
  // so 2 eps y decides with a margin of two.
  double scale = 1.0;
  for (int d = 0; d < max_decimals; ++d, scale *= 10.0) {
    const double y = std::fabs(x) * scale;
    if (std::fabs(y - std::round(y)) <= 2.0 * DBL_EPSILON * y) return d;
  }
  return max_decimals;
}

}  // namespace mixed::host
