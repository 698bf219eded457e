// One update of the covariance parameters: the Newton or Fisher-scoring
// direction with its boundary handling, and the step-halving line search.
//
// H is the matrix of second derivatives of -2LL (observed for Newton; for
// scoring the expected part -(D + Q)); the direction is d = A g with A the
// generalised inverse of the update matrix, and the trial is theta - lambda d
// with lambda = 1, 1/2, ... until the trial is admissible and does not raise
// -2LL by more than a tolerance.
#pragma once

#include <span>
#include <vector>

#include "covstruct/structure.h"

#include "estimate/fit.h"
#include "estimate/likelihood.h"
#include "host/bitset.h"
#include "model/command.h"

namespace mixed::estimate {

// The state the update keeps across iterations of one split group.
struct UpdateState {
  std::vector<covstruct::ParamKind> kinds;
  std::vector<int> bndflg;   // -1 at the lower bound, +1 at the upper, 0 free
  host::BitSet kept;         // cov_params_kept: diagonal of the inverse > 0
  std::vector<double> hinv;  // generalised inverse of H of this iteration (flags applied)
  std::vector<double> a;     // the inverse in use
  std::vector<double> step;  // d
  int singular = 0;          // singular pivots of the last inversion of H
  bool sngretry = false;
};

// Fills the kinds of all parameters: the repeated block first, then each
// random block.
void fill_kinds(const Fit& fit, UpdateState& u);

// The reporting transform: a standard deviation (kind 4) is reported squared.
std::vector<double> reported(std::span<const double> theta, std::span<const covstruct::ParamKind> kinds);

// Forms and inverts the update matrix from the derivatives, applies the
// boundary rules and leaves the direction in u.step.  `scoring` marks a
// scoring iteration (d.H then holds D (+ Q) and is negated here).
void update_direction(const model::Command& cmd, const Fit& fit, std::span<const double> theta, Derivatives& d,
                      bool scoring, bool scoring_converged, UpdateState& u);

struct LineSearch {
  std::vector<double> theta;  // the accepted trial, or theta itself after a failure
  double m2ll = 0.0;          // L1
  int halvings = 0;
  double lambda = 1.0;
  bool accepted = false;
  int problem = 0;  // 0 none, -1 the repeated block, j > 0 random block j
  int error = 0;    // from the likelihood evaluation
};

// The step-halving line search from theta (with -2LL L0) along u.step.
LineSearch line_search(const model::Command& cmd, const Fit& fit, Likelihood& lik, std::span<const double> theta,
                       double l0, const UpdateState& u, Evaluation& ev);

}  // namespace mixed::estimate
