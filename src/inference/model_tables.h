// The two tables that describe the fitted model as a whole: Model Dimension
// (the terms, covariance blocks, their levels, structures and parameter
// counts) and Information Criteria (-2LL with AIC, AICC, CAIC and BIC).
// Both only read the command, the group and the estimates (and, for names, the data dictionary); the table
// is returned for the caller to add to the output.
#pragma once

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "host/output.h"
#include "model/command.h"

namespace mixed::inference {

// model_dimension_table: the Model Dimension table.
host::PivotTable model_dimension_table(const model::Command& cmd, const data::GroupData& group,
                                       const estimate::Estimates& est, const host::Engine& e);

// The information criteria of a fit, with d the number of parameters counted
// and n the sample size: REML d = n_cov_params, n = N - rank X; ML d = rank X +
// n_cov_params, n = N.  AIC = -2ℓ + 2d, AICC = -2ℓ + 2(d + d(d+1)/(n-d-1)) when
// n - d - 1 > 0, CAIC = -2ℓ + d(ln n + 1), BIC = -2ℓ + d ln n when n > 0;
// SYSMIS otherwise.
struct InformationCriteria {
  double m2ll, aic, aicc, caic, bic;
};
InformationCriteria information_criteria(model::Method method, int fixed_rank, int n_cov_params, double n_observations,
                                         double m2ll);

// information_criteria_table: the Information Criteria table.
host::PivotTable information_criteria_table(const model::Command& cmd, const data::GroupData& group,
                                            const estimate::Estimates& est);

}  // namespace mixed::inference
