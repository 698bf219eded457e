// Estimation of one split group: the least-squares start, the hypothesis
// matrices of the fixed-effect tests, and either the closed form (no random
// effects and an identity residual) or the iteration of Newton and Fisher
// scoring steps to the REML or ML estimates of the covariance parameters, with
// the fixed effects solved at every evaluation.
//
// Results are left in `est` (m2ll, cov_params, cov_params_reported, cov_param_covariance,
// cov_param_covariance_reported, cov_params_kept, fixed_covariance, non_redundant, fixed_rank, iteration_status, the
// hypotheses) and in Estimates::fit (the per-subject blocks).
#pragma once

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::estimate {

// Status codes of the estimation (iteration_status).
enum Status : int {
  kConverged = 1,
  kMaxIterations = 2,
  kMaxHalvings = 3,
  kConvergedSingular = 4,
  kMaxIterationsSingular = 5,
  kMaxHalvingsSingular = 6,
  kClosedForm = 7,
  kPerfectFit = 8,
  kTooFewObservations = 9,
};

// Estimates the model of the current split group.  `analysable` is set false
// when no fitted model results (too few observations, or an error).
void estimate(const model::Command& cmd, const data::GroupData& group, Estimates& est, host::Engine& e,
              bool& analysable);

}  // namespace mixed::estimate
