// The tables of the covariance part of the fitted model: the covariance
// parameter estimates (with Wald tests and confidence intervals under PRINT
// TESTCOV), the correlations and covariances of those estimates, the G matrix
// of each RANDOM block and the R matrix of the residual.
//
// Estimates are read on the reported scale (cov_params_reported, standard deviations
// squared) with their asymptotic covariance matrix cov_param_covariance_reported (packed) and
// the non-redundancy set cov_params_kept; the G and R matrices from
// Estimates::fit.  The tables are returned for the caller to add.
#pragma once

#include "covstruct/structure.h"
#include "data/group.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "host/output.h"
#include "model/command.h"

namespace mixed::inference {

// The confidence bounds of a covariance parameter of kind `kind`
// (covstruct::ParamKind) with estimate e, standard error se and normal
// quantile z: for a variance the interval of log e, for a correlation that of
// Fisher's z-transform, otherwise e ± z se; L = U = e when se ≤ 0.
struct Bounds {
  double lower, upper;
};
Bounds covariance_bounds(covstruct::ParamKind kind, double e, double se, double z);

// The covariance parameter estimates table; `testcov` adds Wald Z, its
// significance and the confidence interval.
host::PivotTable covariance_estimates(const model::Command& cmd, const data::GroupData& group,
                                      const estimate::Estimates& est, bool testcov);

// The correlations, and the covariances, of the covariance parameter estimates.
host::PivotTable covariance_correlations(const model::Command& cmd, const data::GroupData& group,
                                         const estimate::Estimates& est);
host::PivotTable covariance_covariances(const model::Command& cmd, const data::GroupData& group,
                                        const estimate::Estimates& est);

// The G matrix of RANDOM block b.
host::PivotTable g_matrix(const data::GroupData& group, const estimate::Estimates& est, std::size_t b);

// The R matrix: the residual variance, or the repeated block over all levels.
host::PivotTable r_matrix(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                          const host::Engine& e);

}  // namespace mixed::inference
