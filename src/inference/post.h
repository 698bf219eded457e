// post_estimation: the post-estimation output of one split group.  Runs after
// estimation has left its results in MixSettings and MixSettings::fit, and
// before the custom tests and the marginal means.
//
// It draws Model Dimension and Information Criteria; tests every fixed term on
// its Type I or Type III L matrix (l_matrix_test with Satterthwaite df), keeping the
// results in MixSettings::term_numdf, term_dendf and term_f for the later
// stages; under PRINT SOLUTION computes the Satterthwaite df of every
// non-redundant parameter (MixSettings::param_df); and draws, under the
// heading "Fixed Effects", the tests, the estimable functions (PRINT LMATRIX),
// the parameter estimates (SOLUTION) and the correlation (CORB) and covariance
// (COVB) matrices of the estimates; under "Covariance Parameters" the
// covariance parameter tables; then the G matrices (PRINT G) and the R matrix
// (PRINT R).  A memory shortage is reported as "Insufficient output memory
// ..." and a failed eigen decomposition as the warning "Eigenvalue failed
// ..."; the tables that need the failed results are left out.
#pragma once

#include "model/command.h"
#include "host/engine.h"

namespace mixed::inference {

void post_estimation(model::MixSettings& s, host::Engine& e);

}  // namespace mixed::inference
