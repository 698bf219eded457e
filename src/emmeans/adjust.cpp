#include "emmeans/adjust.h"

#include <algorithm>
#include <cmath>

#include "model/messages.h"

namespace mixed::emmeans {

namespace {

// 1 - (1 - p)^m through x = m ln(1 - p), exact at both ends of [0, 1].
double sidak(host::Output& out, double m, double prob) {
  if (prob == 0.0) return 0.0;
  if (prob == 1.0) return 1.0;
  const double x = m * std::log1p(-prob);
  MIXED_INVARIANT(out, x <= 0.0);
  if (x <= kUnderflowExponent) return 1.0;
  return std::max(-std::expm1(x), 0.0);
}

}  // namespace

double adjusted_significance(host::Output& out, int ncomp, int adjustment, bool direction, double prob) {
  MIXED_INVARIANT(out, ncomp > 0);
  MIXED_INVARIANT(out, adjustment >= kLsd && adjustment <= kSidak);
  MIXED_INVARIANT(out, prob >= 0.0 && prob <= 1.0);
  const double k = static_cast<double>(ncomp);
  switch (adjustment) {
    case kBonferroni: return std::min(direction ? prob * k : prob / k, 1.0);
    case kSidak: return sidak(out, direction ? k : 1.0 / k, prob);
    default: return prob;
  }
}

}  // namespace mixed::emmeans
