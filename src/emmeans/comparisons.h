// Pairwise comparisons of the means of the COMPARE factor's levels, and the
// joint test of their equality, within each slice of a table of cells.
//
// A slice is one combination of the levels of the TABLES factors other than
// the COMPARE factor (a single slice when it is the only one).  Comparison
// (I, J) of a slice tests d = (L_I - L_J) b, L_I and L_J the L vectors of the
// slice's cells at levels I and J, through l_matrix_test when both means exist and
// the difference is estimable.  Its significance is adjusted for the k
// comparisons of the slice: k = n_c (n_c - 1) / 2 unordered pairs, or n_c - 1
// comparisons with the reference level under REFCAT, in which case only the
// comparisons (I, reference) are made.
//
// The joint test of a slice takes the differences L_I0 - L_J of the first
// level I0 whose mean exists against every later level J whose mean exists
// and whose difference is estimable (at most n_c - 1 rows) and tests them with
// the F-test option of l_matrix_test: on the rank of their covariance, which is the
// test that the slice's estimable means are equal.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

#include "data/group.h"
#include "emmeans/cells.h"
#include "estimate/estimates.h"
#include "host/dataset.h"
#include "host/output.h"
#include "host/scratch.h"
#include "model/command.h"

namespace mixed::emmeans {

// reference_category_level: the 1-based level of the COMPARE factor that REFCAT names (FIRST,
// LAST, a numeric value equal to a level's value, or a string equal to a
// level's value without its trailing blanks); 0 when none matches or the
// record has no REFCAT.
int reference_category_level(const model::Command& cmd, const data::GroupData& group, host::Output& out,
                             const model::EmmeansRecord& rec);

// What keeps a comparison from its plain form; the table turns them into notes.
enum ComparisonFlag : unsigned {
  kIAbsent = 1u << 0,  // no combination of level I was observed
  kJAbsent = 1u << 1,
  kINotEstimable = 1u << 2,  // the mean of level I is not estimable
  kJNotEstimable = 1u << 3,
  kIModified = 1u << 4,  // the mean of level I averages fewer combinations
  kJModified = 1u << 5,
  kDifferenceNotEstimable = 1u << 6,
};

struct Comparison {
  std::size_t slice = 0;
  int i = 0, j = 0;  // 0-based levels of the COMPARE factor
  double estimate = host::SYSMIS, se = host::SYSMIS, df = host::SYSMIS;
  unsigned flags = 0;
};

// The joint test of one slice (rank 0 and F missing when it has no rows).
struct SliceTest {
  int rank = 0;
  double F = host::SYSMIS;
  double dendf = host::SYSMIS;
};

// The slices of a table for the COMPARE factor at (0-based) position
// `compare` of the TABLES factors.
struct Slices {
  std::size_t compare = 0;
  int nc = 0;             // levels of the COMPARE factor
  std::size_t count = 1;  // number of slices
  // The cell of level i in slice `slice` (slices run over the other TABLES
  // factors, the first slowest).
  std::size_t cell(const CellTable& cells, std::size_t slice, int i) const;
};
Slices slices_of(const CellTable& cells, std::size_t compare);

// The number of distinct comparisons of a slice: n_c (n_c - 1)/2, or n_c - 1
// with a reference level.
int comparison_count(int nc, bool reference);

// The comparisons of every slice, in the order slice, I, J (all J != I, or J
// the reference level `refcat` (1-based) only).  Returns 0 or the status of
// l_matrix_test (4) that stopped them.
int build_comparisons(const data::GroupData& group, const estimate::Estimates& est, host::Scratch& scratch,
                      const CellTable& cells, const Slices& slices, int refcat, std::span<const double> products,
                      std::vector<Comparison>& out);

// The joint test of every slice.  Returns 0 or the status of l_matrix_test (4, 1003).
int slice_tests(const data::GroupData& group, const estimate::Estimates& est, host::Scratch& scratch,
                const CellTable& cells, const Slices& slices, std::span<const double> products,
                std::vector<SliceTest>& out);

// The inference shown for one comparison: with t = d/se, the significance
// adjusted_significance(k, adjustment, true, t_significance(t, df)), significant when α exceeds it, and
// the bounds d -/+ |t_df(α_c/2)| se at the per-comparison level
// α_c = adjusted_significance(k, adjustment, false, α); all missing unless se > 0 and df > 0.
struct ComparisonInference {
  double significance = host::SYSMIS;
  double lower = host::SYSMIS, upper = host::SYSMIS;
  bool significant = false;
};
ComparisonInference infer(host::Output& out, int k, int adjustment, double alpha, const Comparison& c);

}  // namespace mixed::emmeans
