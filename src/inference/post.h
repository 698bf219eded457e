// post_estimation: the post-estimation output of one split group.  Runs after
// estimation (the Estimates and their per-subject blocks) and before the custom
// tests and the marginal means.
//
// It draws Model Dimension and Information Criteria; tests every fixed term on
// its Type I or Type III L matrix (l_matrix_test with Satterthwaite df), keeping the
// results in FixedEffectTests::term_numdf, term_dendf and term_f for the later
// stages; under PRINT SOLUTION computes the Satterthwaite df of every
// non-redundant parameter (FixedEffectTests::param_df); and draws, under the
// heading "Fixed Effects", the tests, the estimable functions (PRINT LMATRIX),
// the parameter estimates (SOLUTION) and the correlation (CORB) and covariance
// (COVB) matrices of the estimates; under "Covariance Parameters" the
// covariance parameter tables; then the G matrices (PRINT G) and the R matrix
// (PRINT R).  A memory shortage is reported as "Insufficient output memory
// ..." and a failed eigen decomposition as the warning "Eigenvalue failed
// ..."; the tables that need the failed results are left out.
#pragma once

#include <vector>

#include "data/group.h"
#include "estimate/estimates.h"
#include "host/engine.h"
#include "model/command.h"

namespace mixed::inference {

// The tests of the fixed terms and the df of the parameters, as the tables show them.
struct FixedEffectTests {
  std::vector<int> term_numdf;     // per fixed term: numerator df
  std::vector<double> term_dendf;  // per fixed term: Satterthwaite denominator df
  std::vector<double> term_f;      // per fixed term: F
  std::vector<double> param_df;    // per non-redundant parameter (PRINT SOLUTION)
};

FixedEffectTests post_estimation(const model::Command& cmd, const data::GroupData& group,
                                 const estimate::Estimates& est, host::Engine& e);

}  // namespace mixed::inference
