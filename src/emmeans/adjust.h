// adjusted_significance: the adjustment of pairwise comparisons for multiplicity.  For k
// comparisons a significance p becomes, and a family-wise level α becomes the
// per-comparison level,
//
//     LSD         p                       α
//     Bonferroni  min(k p, 1)             min(α / k, 1)
//     Sidak       1 - (1 - p)^k           1 - (1 - α)^(1/k)
//
// Nothing is written but the assertion messages.
#pragma once

#include "host/output.h"

namespace mixed::emmeans {

enum Adjustment : int { kLsd = 1, kBonferroni = 2, kSidak = 3 };

// Below this exponent e^x underflows (e^-708.39 is about the least normal
// double): the Sidak result is then exactly 1.
inline constexpr double kUnderflowExponent = -708.39;

// adjusted_significance(k, adjustment, direction, p): the adjusted significance of p
// (direction true) or the per-comparison level of the family-wise level p
// (direction false) for k comparisons; p in [0, 1].
double adjusted_significance(host::Output& out, int ncomp, int adjustment, bool direction, double prob);

}  // namespace mixed::emmeans
