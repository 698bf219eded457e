// Type III hypothesis matrices of the tests of fixed effects.
//
// For each fixed term t: the estimable functions of t's parameters, adjusted
// for every term that does not contain t and orthogonal to the functions of
// the terms that do (Goodnight 1978).  They are built once per split group
// from X'X; the covariance parameters play no part.  Balanced designs give
// rows whose entries are exactly 0, +-0.5 and +-1 after rounding.
#pragma once

#include <span>
#include <vector>

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/bitset.h"
#include "model/command.h"

namespace mixed::estimate {

// Containment of two effect rows: 1 when a is contained in b (every factor of a
// is in b, b has at least one more, and their covariate cells agree in
// absolute value), 2 when b is contained in a, 0 otherwise (equal rows too).
int containment(std::span<const int> a, std::span<const int> b, int n_factors);

// MXEDHC: the containment levels of the terms relative to term c: 0 for c,
// positive for the terms that contain c, negative for all others.
std::vector<int> containment_levels(const model::EffectTable& terms, int n_factors, int c);

// Rounds an element of a hypothesis row to 0, +-0.5 or +-1 when it lies within
// the tolerance tau of one of them (2 tau for +-0.5).
double round_hypothesis(double v, double tau);

// Builds the Type III L block and numerator df of every term from the copy of
// X'X (packed, order n_fixed_columns) and marks the row-yielding columns in `lrowset`.
// Returns false when interrupted.
bool type3_hypotheses(const model::Command& cmd, const data::GroupData& group, std::span<const double> xtx,
                      std::vector<estimate::TermHypothesis>& out, host::BitSet& lrowset);

}  // namespace mixed::estimate
