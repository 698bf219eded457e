// The decisions of the covariance-parameter iteration, apart from its
// numerical work: whether a step has converged, what the loop does next and
// with which status it ends, which iterations get a history row, when the
// step-halving line search accepts a trial, and how a parameter at the
// boundary of its domain is held there.
//
// Every function here is pure: it sees only the values passed in.  The
// iteration (estimate.cpp) and the update (update.cpp) observe, these decide.
// Statuses are the codes of estimate.h (0 while the loop goes on).  Packed
// matrices are lower triangles, row by row (host/packed.h).
#pragma once

#include <functional>
#include <span>

#include "covstruct/structure.h"

namespace mixed::estimate {

// The convergence tolerances; a tolerance of 0 switches its criterion off.  A
// relative criterion scales its tolerance by the magnitude of the old value
// (when that is not 0).
struct ConvergenceCriteria {
  double hessian_tolerance = 0.0;
  double likelihood_tolerance = 0.0;
  double parameter_tolerance = 0.0;
  bool hessian_relative = false;
  bool likelihood_relative = false;
  bool parameter_relative = false;
};

// What one accepted step changed.
struct StepChange {
  std::span<const double> g;     // gradient of -2LL at the old parameters
  std::span<const double> hinv;  // generalised inverse of H there, packed
  double lambda = 1.0;           // the accepted step length
  double m2ll_old = 0.0, m2ll_new = 0.0;
  std::span<const double> cov_old, cov_new;      // reported covariance parameters
  std::span<const double> fixed_old, fixed_new;  // fixed-effect estimates
};

// tolerance > change, the tolerance scaled by |scale| when relative and scale != 0.
bool within_tolerance(double tolerance, bool relative, double scale, double change);

// Convergence of an accepted step, the criteria tested in turn, each only when
// the one before it passed:
//   Hessian:    lambda g' H^- g          against the new -2LL as scale,
//   likelihood: |L1 - L0|                against L0,
//   parameters: |new - old| of every covariance parameter, then every fixed
//               estimate, each against its old value.
// False when every criterion is switched off.
bool step_converged(const ConvergenceCriteria& c, const StepChange& s);

// What one iteration observed, for the decision on the next.
struct IterationObservation {
  int iteration = 1;            // this iteration's number, from 1
  int max_iterations = 100;     // 0 asks for one step, reported as iteration 0
  int scoring_steps = 1;        // the first iterations that take Fisher-scoring steps
  bool scoring = false;         // this iteration took a scoring step
  bool accepted = false;        // the line search accepted a step
  bool converged = false;       // the accepted step passed step_converged
  bool singular = false;        // H had singular pivots
  bool singular_retry = false;  // this iteration ran in the singular retry
};

enum class NextStep {
  Continue,  // take the next iteration
  Stop,      // the loop ends with the decision's status
  // No acceptable step with H singular: go on in the singular retry, where the
  // boundary flags persist from one iteration to the next and a parameter
  // whose pivot H^- dropped is moved to 0 (UpdateState::sngretry).
  RetrySingular,
  // Converged with H singular: keep the step but do not count the iteration,
  // and confirm convergence in the singular retry.
  ConfirmSingular,
  // Scoring converged before its last scoring step: Newton from now on.
  SwitchToNewton,
};

struct IterationDecision {
  NextStep next = NextStep::Continue;
  int status = 0;     // the final status when next is Stop, else 0
  int iteration = 0;  // the number the iteration is reported and counted as
};

// The decision after one iteration: stop with a status (converged, maximum
// iterations or maximum step-halvings, each possibly with H singular), or go
// on, possibly in the singular retry or switching from scoring to Newton.
IterationDecision decide_next(const IterationObservation& o);

// Whether this iteration gets a history row: every iteration that ends the
// loop (status != 0), and otherwise every interval-th, counted down in
// `countdown` (-1: no rows; 0: a row now).
bool history_due(int status, int interval, int& countdown);

// The amount by which a trial may raise -2LL above L0 and still be accepted:
// the likelihood tolerance (times L0, sign included, when relative), or
// eps^(2/3) |L0| when that criterion is off, so that rounding in -2LL does not
// reject a step at the optimum.
double halving_tolerance(double likelihood_tolerance, bool relative, double l0);

// One trial point theta - lambda d of the line search.
struct HalvingTrial {
  bool admissible = false;  // the trial's covariance blocks are admissible
  int error = 0;            // from the evaluation of an admissible trial
  double m2ll = 0.0;        // -2LL of an admissible trial
};

struct HalvingResult {
  bool accepted = false;
  int halvings = 0;     // halvings made
  double lambda = 1.0;  // the accepted length; after a failure the next, unused one
  double m2ll = 0.0;    // -2LL of the accepted trial, else L0
  int error = 0;
};

// Step-halving: trials at lambda = 1, 1/2, 1/4, ... until one is admissible
// with -2LL <= L0 + tau, at most max_halvings halvings; stops at the first
// evaluation error.
HalvingResult halve_step(double l0, double tau, int max_halvings,
                         const std::function<HalvingTrial(double lambda)>& trial);

// The boundary flag of a parameter of `kind` (covstruct::ParamKind) at theta
// with direction component d (the trial is theta - lambda d) and t = min(g'Ag,
// parameter tolerance): -1 when a variance would reach 0 (within half the
// step, or already within t of it), +1 / -1 when a correlation would reach
// 1 / -1; 0 when the parameter stays free.
int boundary_flag(covstruct::ParamKind kind, double theta, double d, double t);

// The direction component of a parameter under the flag: a flagged parameter
// moves to its bound at lambda = 1 (a residual one only 95% of the way, so that
// R stays positive definite); an unflagged one whose pivot H^- dropped in the
// singular retry (`dropped`) moves to 0 likewise; any other keeps d.
double boundary_step(covstruct::ParamKind kind, int flag, bool dropped, bool residual, double theta, double d);

}  // namespace mixed::estimate
