// The design rows of the records: one pass over the ordered work file turns
// every record into its compact sparse row (one value and one column per fixed
// and per random effect term, y, the repeated level and subject, the weights),
// subject after subject, and gathers the statistics of the first pass.
//
// A term's value is the product of the record's covariates raised to their
// powers in the term (1 for a term without covariates); its column is fixed by
// the levels of the term's factors.  Every value and y are multiplied by
// sqrt(w f), w the regression weight and f the case weight.
#pragma once

#include <span>
#include <vector>

#include "covstruct/subject_terms.h"
#include "data/group.h"
#include "estimate/estimates.h"
#include "estimate/fit.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::estimate {

// Statistics of the first pass.
struct FirstPassStats {
  std::vector<double> cov_mean;     // weighted mean of every covariate (weight w f)
  std::vector<double> cov_sq_mean;  // weighted mean of every covariate's square
  double weight_sum = 0.0;
};

// Lays out the random blocks (dimensions, replicates, columns, parameter runs)
// and sets fit.p, fit.q, fit.n_cov_params, fit.n_residual_cov_params from the design.
void layout_blocks(const model::Command& cmd, const data::GroupData& group, estimate::Estimates& est, Fit& fit);

// Reads the work file into fit.rows.  Returns 0, or 3 when memory runs out.
int build_rows(const model::Command& cmd, const data::GroupData& group, host::Engine& e, Fit& fit,
               FirstPassStats& stats);

// The rows of subject i in the form the covariance-structure terms take.
covstruct::SubjectRows subject_rows(const Fit& fit, std::size_t i);

}  // namespace mixed::estimate
