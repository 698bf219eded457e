// Starting values of the parameters of one covariance block from one residual
// variance s0: variances start at s0, standard deviations at √s0, correlations
// and covariances at 0 (ARMA11 at 0.5), loadings so that the factor part
// carries half of s0.  The rule by kind is general; where a structure departs
// from it, its descriptor (covstruct/structure.h) says how.
#pragma once

#include "covstruct/types.h"

#include <span>

namespace mixed::covstruct {

// out[0 .. parameter_count(n, cov_type)) = the starting parameters of a block of
// dimension n.  Nothing is written for code 17 or codes outside 1..19.
void start_parameters(int n, CovType cov_type, double s0, std::span<double> out);

}  // namespace mixed::covstruct
