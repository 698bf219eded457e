// The tables of the fixed part of the model: the Type I or Type III tests of
// fixed effects, the parameter estimates with their t tests and confidence
// intervals, the correlation and covariance matrices of the estimates, and
// the Contrast Coefficient table that shows one L matrix.
//
// C and β̂ are read from FixedCov (packed, order p+1: C in the first
// p(p+1)/2 places, β̂ in the last row); a parameter outside NonRedSet has a
// zero row and column there and is shown as redundant.  The tables are
// returned for the caller to add to the output.
#pragma once

#include <span>

#include "driver/settings.h"
#include "host/output.h"

namespace mixed::inference {

// mxtfxt: "Type I Tests of Fixed Effects" or "Type III ..." from the per-term
// numerator df, denominator df and F of MixSettings (term_numdf, term_dendf,
// term_f).
host::PivotTable mxtfxt(const driver::MixSettings& s);

// The two-sided quantile of the confidence interval at CIN percent:
// t_df(cinval/200 + 1/2).
double interval_quantile(double cinval, double df);

// mxtfpe: Fixed Parameter Estimates; `df` holds one value per member of
// NonRedSet, in parameter order.
host::PivotTable mxtfpe(const driver::MixSettings& s, std::span<const double> df);

// mxtcrb: the correlation matrix of the fixed estimates.
host::PivotTable mxtcrb(const driver::MixSettings& s);

// mxtcvb: the covariance matrix C of the fixed estimates.
host::PivotTable mxtcvb(const driver::MixSettings& s);

// mxtlmt: the Contrast Coefficient table of the n candidate contrasts
// numbered k0, k0+1, ...: candidate k is shown, as column "Lk", when `rows`
// has member k - 1 (the set numbers candidates from 1 across the model, as
// LRowSet numbers the fixed design columns), and takes the next row of L (rows of p fixed and nrandom
// random coefficients).  `title` is the visible title; `footnote` (when not
// empty) a footnote on the title; `estimable` false adds the note that L is
// not estimable.
host::PivotTable mxtlmt(const driver::MixSettings& s, int n, int nrandom, std::span<const double> L, int k0,
                        const host::BitSet& rows, const host::Text& title, const host::Text& footnote,
                        bool estimable);

}  // namespace mixed::inference
