// The tables of the fixed part of the model: the Type I or Type III tests of
// fixed effects, the parameter estimates with their t tests and confidence
// intervals, the correlation and covariance matrices of the estimates, and
// the Contrast Coefficient table that shows one L matrix.
//
// C and β̂ are read from fixed_covariance (packed, order p+1: C in the first
// p(p+1)/2 places, β̂ in the last row); a parameter outside non_redundant has a
// zero row and column there and is shown as redundant.  The tables are
// returned for the caller to add to the output.
#pragma once

#include <span>

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/dataset.h"
#include "host/output.h"
#include "inference/post.h"
#include "model/command.h"

namespace mixed::inference {

// fixed_tests_table: "Type I Tests of Fixed Effects" or "Type III ..." from the per-term
// numerator df, denominator df and F of FixedEffectTests.
host::PivotTable fixed_tests_table(const model::Command& cmd, const estimate::Estimates& est,
                                   const inference::FixedEffectTests& fixed_tests);

// The two-sided quantile of the confidence interval at CIN percent:
// t_df(confidence_level/200 + 1/2).
double interval_quantile(double confidence_level, double df);

// The t test of an estimate d with standard error se on df degrees of
// freedom: t = d/se when se > 0; when df is valid (not missing, > 0) the
// two-sided significance of t (only when se > 0) and the bounds d ∓ q·se with
// q = interval_quantile(confidence_level, df), when q is not missing.  Whatever cannot
// be had is system-missing.
struct TTest {
  double t = host::SYSMIS, sig = host::SYSMIS, lower = host::SYSMIS, upper = host::SYSMIS;
};
TTest t_test(double d, double se, double df, double confidence_level);

// The columns that close the tables of estimates, in dimension `dim`:
// "t Statistic", "Significance" and the group `interval` of "Lower Bound" and
// "Upper Bound".
struct TTestColumns {
  int t, sig, lower, upper;
};
TTestColumns add_t_test_columns(host::PivotTable& table, int dim, const host::Text& interval);

// Row `row` (a category of the first dimension) of those columns: t and the
// significance in their formats, the bounds in the estimate format.
void put_t_test(host::PivotTable& table, int row, const TTestColumns& columns, const TTest& test);

// The layout of an F-test table: the "Statistics" columns "Numerator DF",
// "Denominator DF", "F Value" and "Significance" as its first dimension, the
// "Source" rows, still empty, as its second.
struct FTestLayout {
  int rows, num, den, f, sig;
};
FTestLayout add_f_test_layout(host::PivotTable& table);

// Row `row` of an F-test table: the numerator df (an integer), the
// denominator df, F, and the upper-tail probability of F on (num, den),
// system-missing unless num > 0, den > 0 and F is not missing.
void put_f_test(host::PivotTable& table, const FTestLayout& layout, int row, double num, double den, double f);

// fixed_estimates_table: Fixed Parameter Estimates; `df` holds one value per member of
// non_redundant, in parameter order.
host::PivotTable fixed_estimates_table(const model::Command& cmd, const data::GroupData& group,
                                       const estimate::Estimates& est, std::span<const double> df);

// fixed_correlation_table: the correlation matrix of the fixed estimates.
host::PivotTable fixed_correlation_table(const data::GroupData& group, const estimate::Estimates& est);

// fixed_covariance_table: the covariance matrix C of the fixed estimates.
host::PivotTable fixed_covariance_table(const data::GroupData& group, const estimate::Estimates& est);

// contrast_coefficients_table: the Contrast Coefficient table of the n candidate contrasts
// numbered k0, k0+1, ...: candidate k is shown, as column "Lk", when `rows`
// has member k - 1 (the set numbers candidates from 1 across the model, as
// l_row_columns numbers the fixed design columns), and takes the next row of L (rows of p fixed and nrandom
// random coefficients).  `title` is the visible title; `footnote` (when not
// empty) a footnote on the title; `estimable` false adds the note that L is
// not estimable.
host::PivotTable contrast_coefficients_table(const data::GroupData& group, const estimate::Estimates& est, int n,
                                             int nrandom, std::span<const double> L, int k0, const host::BitSet& rows,
                                             const host::Text& title, const host::Text& footnote, bool estimable);

}  // namespace mixed::inference
