// Whether the parameters of one covariance block give an admissible matrix:
// positive definite, positive semidefinite (on the boundary of the parameter
// space), or neither.  The line search of estimation uses it to reject a trial
// before the likelihood is evaluated.
#pragma once

#include <span>

#include "covstruct/structure.h"
#include "covstruct/types.h"

namespace mixed::covstruct {

// The admissibility of a block of dimension n with parameters θ.  AR1, CS,
// DIAG, ID and VC are decided from θ alone; every other structure is first
// checked against the domains of its variances, standard deviations and
// correlations (HF: its variances only) and then by a Cholesky factorisation of
// Σ(θ) in which a pivot not greater than singularity_tolerance·|Σ_ii| is deficient.
Admissibility block_admissibility(int n, CovType cov_type, std::span<const double> theta, double singularity_tolerance);

}  // namespace mixed::covstruct
