// The two tables that describe the fitted model as a whole: Model Dimension
// (the terms, covariance blocks, their levels, structures and parameter
// counts) and Information Criteria (-2LL with AIC, AICC, CAIC and BIC).
// Both only read MixSettings (and, for names, the data dictionary); the table
// is returned for the caller to add to the output.
#pragma once

#include "driver/settings.h"
#include "host/engine.h"
#include "host/output.h"

namespace mixed::inference {

// mxtmdm: the Model Dimension table.
host::PivotTable mxtmdm(const driver::MixSettings& s, const host::Engine& e);

// The information criteria of a fit, with d the number of parameters counted
// and n the sample size: REML d = ncovpr, n = N - rank X; ML d = rank X +
// ncovpr, n = N.  AIC = -2ℓ + 2d, AICC = -2ℓ + 2(d + d(d+1)/(n-d-1)) when
// n - d - 1 > 0, CAIC = -2ℓ + d(ln n + 1), BIC = -2ℓ + d ln n when n > 0;
// SYSMIS otherwise.
struct InformationCriteria {
  double m2ll, aic, aicc, caic, bic;
};
InformationCriteria information_criteria(int method, int nfxrnk, int ncovpr, double tnobs, double m2ll);

// mxtinf: the Information Criteria table.
host::PivotTable mxtinf(const driver::MixSettings& s);

}  // namespace mixed::inference
