// The fixed-effect solution by sweeps, with redundancy (aliasing) detection,
// and the hypothesis matrices of the tests of fixed effects.
//
// fixed_covariance is a packed lower triangle of order p + 1 over the columns [X y].
// Before the sweep it holds X'V^-1 X, X'V^-1 y and y'V^-1 y; after sweep and
// clean-up its first p(p+1)/2 reals hold the covariance (X'V^-1 X)^- of the
// estimates (zero rows and columns for redundant parameters), the next p the
// estimates beta, and the last y'Py.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/bitset.h"
#include "model/command.h"

namespace mixed::estimate {

struct SweepResult {
  int rank = 0;
  host::BitSet accepted;  // the pivots accepted as non-redundant
  double logdet = 0.0;    // sum of log(pivot) over the accepted pivots
};

// Sweeps pivots 0..p-1 of `a` (order p + 1) with sweep_if_tolerant at tolerance `tol`
// relative to d_k = max(1, a_kk).  A pivot whose reciprocal exceeds 1e8 times
// the largest reciprocal accepted so far is swept back and counted redundant:
// it is nearly a combination of earlier columns even when it passes `tol`.
SweepResult sweep_fixed(std::size_t p, std::span<double> a, double tol);

// Clean-up after the sweep: the covariance part is negated (the sweep leaves
// -(X'V^-1 X)^- there) and the rows and columns of the parameters outside
// `nonred` are zeroed, down to and including the estimate row.
void clean_fixed(std::size_t p, std::span<double> a, const host::BitSet& nonred);

// The row rule of the hypothesis matrices: for a swept pivot k of the swept
// matrix `a` (order >= p), the row of length p whose entries are 1 at k, 0 at
// every other swept column, and a_kj at every unswept column j.
void hypothesis_row(std::size_t p, std::span<const double> a, const host::BitSet& swept, std::size_t k,
                    std::span<double> row);

// The basis of all estimable functions: one row per member of `nonred`, from
// the least-squares sweep (before its clean-up), each cleaned with clean_negligible.
std::vector<double> estimable_basis(std::size_t p, std::span<const double> swept, const host::BitSet& nonred);

// Type I (sequential) hypothesis matrices from the copy of X'X: the terms are
// swept in FIXED order; the columns each term adds are its numerator degrees
// of freedom and yield its L rows.  Marks the row-yielding columns in l_row_columns.
// Returns false when interrupted.
bool type1_hypotheses(const model::Command& cmd, const data::GroupData& group, std::span<const double> xtx,
                      std::vector<estimate::TermHypothesis>& out, host::BitSet& lrowset);

}  // namespace mixed::estimate
