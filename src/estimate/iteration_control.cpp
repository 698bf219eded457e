#include "estimate/iteration_control.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "covstruct/catalogue.h"
#include "estimate/estimate.h"
#include "host/packed_ops.h"

namespace mixed::estimate {

bool within_tolerance(double tolerance, bool relative, double scale, double change) {
  if (relative && scale != 0.0) return std::fabs(scale) * tolerance > change;
  return tolerance > change;
}

bool step_converged(const ConvergenceCriteria& c, const StepChange& s) {
  bool pass = true;
  if (c.hessian_tolerance > 0.0) {
    std::vector<double> hg(s.g.size());
    host::packed_multiply(s.g.size(), s.hinv, s.g, hg);
    double h = 0.0;
    for (std::size_t k = 0; k < hg.size(); ++k) h += s.g[k] * hg[k];
    pass = within_tolerance(c.hessian_tolerance, c.hessian_relative, s.m2ll_new, h * s.lambda);
  }
  if (pass && c.likelihood_tolerance > 0.0)
    pass =
        within_tolerance(c.likelihood_tolerance, c.likelihood_relative, s.m2ll_old, std::fabs(s.m2ll_new - s.m2ll_old));
  if (pass && c.parameter_tolerance > 0.0) {
    for (std::size_t k = 0; k < s.cov_old.size() && pass; ++k)
      pass = within_tolerance(c.parameter_tolerance, c.parameter_relative, s.cov_old[k],
                              std::fabs(s.cov_new[k] - s.cov_old[k]));
    for (std::size_t k = 0; k < s.fixed_old.size() && pass; ++k)
      pass = within_tolerance(c.parameter_tolerance, c.parameter_relative, s.fixed_old[k],
                              std::fabs(s.fixed_new[k] - s.fixed_old[k]));
  }
  return pass && (c.hessian_tolerance > 0.0 || c.likelihood_tolerance > 0.0 || c.parameter_tolerance > 0.0);
}

IterationDecision decide_next(const IterationObservation& o) {
  const int i = o.iteration;
  const int max_iterations_status = o.singular ? kMaxIterationsSingular : kMaxIterations;
  auto stop = [&](int status, int iteration) { return IterationDecision{NextStep::Stop, status, iteration}; };
  auto go_on = [&](NextStep next, int iteration) { return IterationDecision{next, 0, iteration}; };
  if (o.max_iterations == 0) return stop(max_iterations_status, 0);
  if (!o.accepted) {
    if (!o.singular) return stop(kMaxHalvings, i);
    if (!o.singular_retry) return go_on(NextStep::RetrySingular, i);
    return stop(kMaxHalvingsSingular, i);
  }
  if (!o.converged) return i >= o.max_iterations ? stop(max_iterations_status, i) : go_on(NextStep::Continue, i);
  if (!o.scoring) {
    if (!o.singular) return stop(kConverged, i);
    if (o.singular_retry) return stop(kConvergedSingular, i);
    return go_on(NextStep::ConfirmSingular, i - 1);
  }
  if (i < o.scoring_steps) return go_on(NextStep::SwitchToNewton, i);
  return i >= o.max_iterations ? stop(max_iterations_status, i) : go_on(NextStep::Continue, i);
}

bool history_due(int status, int interval, int& countdown) {
  if (status != 0) {
    countdown = interval;
    return true;
  }
  if (countdown < 0) return false;
  if (countdown > 0) --countdown;
  if (countdown != 0) return false;
  countdown = interval;
  return true;
}

double halving_tolerance(double likelihood_tolerance, bool relative, double l0) {
  if (likelihood_tolerance <= 0.0) return std::pow(DBL_EPSILON, 2.0 / 3.0) * std::fabs(l0);
  return relative ? likelihood_tolerance * l0 : likelihood_tolerance;
}

HalvingResult halve_step(double l0, double tau, int max_halvings,
                         const std::function<HalvingTrial(double lambda)>& trial) {
  HalvingResult r;
  r.m2ll = l0;
  int counter = -1;
  double lambda = 1.0;
  do {
    const HalvingTrial t = trial(lambda);
    if (t.admissible && t.error != 0) {
      r.error = t.error;
      break;
    }
    if (t.admissible && t.m2ll <= l0 + tau) {
      r.accepted = true;
      r.m2ll = t.m2ll;
      r.lambda = lambda;
    } else {
      lambda *= 0.5;
    }
    ++counter;
  } while (!r.accepted && counter < max_halvings);
  r.halvings = std::max(counter, 0);
  if (!r.accepted && r.error == 0) r.lambda = lambda;
  return r;
}

int boundary_flag(covstruct::ParamKind kind, double theta, double d, double t) {
  if (kind == covstruct::StdDev || kind == covstruct::Variance) {
    if (d > 0.0 && (t > std::fabs(theta) || theta - 0.5 * d <= 0.0)) return -1;
  } else if (kind == covstruct::Correlation) {
    if (theta >= 0.0 && d <= 0.0 && (t > std::fabs(theta - 1.0) || theta - d >= 1.0)) return 1;
    if (theta < 0.0 && d >= 0.0 && (t > std::fabs(1.0 + theta) || theta - d <= -1.0)) return -1;
  }
  return 0;
}

double boundary_step(covstruct::ParamKind kind, int flag, bool dropped, bool residual, double theta, double d) {
  const double f = residual ? 0.95 : 1.0;
  if (flag == -1) return (kind == covstruct::StdDev || kind == covstruct::Variance) ? theta * f : (theta + 1.0) * f;
  if (flag == 1) return (theta - 1.0) * f;
  if (dropped) return theta * f;
  return d;
}

}  // namespace mixed::estimate
