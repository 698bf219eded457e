#include "estimate/update.h"

#include <cmath>

#include "covstruct/admissible.h"
#include "covstruct/catalogue.h"
#include "estimate/iteration_control.h"
#include "host/cholesky.h"
#include "host/packed.h"
#include "host/packed_ops.h"

namespace mixed::estimate {

using host::tri;
using host::tri_size;

void fill_kinds(const Fit& fit, UpdateState& u) {
  u.kinds.assign(static_cast<std::size_t>(fit.n_cov_params), covstruct::Unrestricted);
  for (int k = 0; k < fit.n_residual_cov_params; ++k)
    u.kinds[k] = covstruct::parameter_kind(fit.n_residual_cov_params, fit.repeated_type, k);
  for (const RandomBlock& b : fit.blocks)
    for (int k = 0; k < b.npar; ++k) u.kinds[b.first_param + k] = covstruct::parameter_kind(b.npar, b.cov_type, k);
  u.bndflg.assign(static_cast<std::size_t>(fit.n_cov_params), 0);
  u.kept.resize(static_cast<std::size_t>(fit.n_cov_params));
}

std::vector<double> reported(std::span<const double> theta, std::span<const covstruct::ParamKind> kinds) {
  std::vector<double> r(theta.begin(), theta.end());
  for (std::size_t k = 0; k < r.size(); ++k)
    if (kinds[k] == covstruct::StdDev) r[k] = theta[k] * theta[k];
  return r;
}

namespace {

// Inversion with flags: the diagonal of every flagged parameter is zeroed, the
// matrix replaced by its generalised inverse, and cov_params_kept rebuilt.  Returns
// the number of singular pivots.
int invert_flagged(std::size_t n, std::vector<double>& a, std::span<const int> flags, double tol, host::BitSet& kept) {
  for (std::size_t i = 0; i < n; ++i)
    if (flags[i] != 0) a[tri(i, i)] = 0.0;
  const int singular = host::generalized_inverse(n, a, tol);
  kept.clear();
  for (std::size_t i = 0; i < n; ++i)
    if (a[tri(i, i)] > 0.0) kept.set(i);
  return singular;
}

// Repair of an inverse: every diagonal element <= 0 becomes the largest
// positive one.
void repair(std::size_t n, std::vector<double>& a) {
  double m = 0.0;
  for (std::size_t i = 0; i < n; ++i) m = std::max(m, a[tri(i, i)]);
  for (std::size_t i = 0; i < n; ++i)
    if (a[tri(i, i)] <= 0.0) a[tri(i, i)] = m;
}

// The scoring matrix -(D + Q) inverted with the flags (Q only under REML),
// repaired when its inversion finds more than `allowed` singular pivots.
std::vector<double> scoring_inverse(std::size_t n, const Derivatives& d, bool reml, std::span<const int> flags,
                                    double tol, int allowed, host::BitSet& kept) {
  std::vector<double> sc(tri_size(n));
  for (std::size_t k = 0; k < sc.size(); ++k) sc[k] = -(d.D[k] + (reml ? d.Q[k] : 0.0));
  const int singular = invert_flagged(n, sc, flags, tol, kept);
  if (singular > allowed) repair(n, sc);
  return sc;
}

// Where a trial's covariance blocks fail: 0 when all are admissible, -1 when
// the repeated block is not positive definite, j when random block j is
// inadmissible (j from 1).
int admissibility_problem(const model::Command& cmd, const Fit& fit, std::span<const double> trial) {
  const auto rep = covstruct::block_admissibility(fit.rep_dim, fit.repeated_type,
                                                  trial.first(static_cast<std::size_t>(fit.n_residual_cov_params)),
                                                  cmd.singularity_tolerance);
  if (rep != covstruct::Admissibility::PositiveDefinite) return -1;
  for (std::size_t b = 0; b < fit.blocks.size(); ++b) {
    const RandomBlock& blk = fit.blocks[b];
    const auto res = covstruct::block_admissibility(
        blk.dim, blk.cov_type,
        trial.subspan(static_cast<std::size_t>(blk.first_param), static_cast<std::size_t>(blk.npar)),
        cmd.singularity_tolerance);
    if (res == covstruct::Admissibility::Inadmissible) return static_cast<int>(b) + 1;
  }
  return 0;
}

}  // namespace

void update_direction(const model::Command& cmd, const Fit& fit, std::span<const double> theta, Derivatives& d,
                      bool scoring, bool scoring_converged, UpdateState& u) {
  const std::size_t n = static_cast<std::size_t>(fit.n_cov_params);
  const bool reml = cmd.method == model::Method::REML;
  if (scoring)
    for (double& h : d.H) h = -h;
  const std::vector<double> saved = d.H;

  u.hinv = saved;
  u.singular = invert_flagged(n, u.hinv, u.bndflg, cmd.singularity_tolerance, u.kept);
  if (!scoring && u.singular > 0 && !scoring_converged)
    u.a = scoring_inverse(n, d, reml, u.bndflg, cmd.singularity_tolerance, 0, u.kept);
  else
    u.a = u.hinv;

  u.step.assign(n, 0.0);
  host::packed_multiply(n, u.a, d.g, u.step);
  const double t = std::min(host::packed_quadratic_form(n, d.g, u.a), cmd.parameter_tolerance);

  int flagged = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const int flag = boundary_flag(u.kinds[i], theta[i], u.step[i], t);
    if (flag != 0) u.bndflg[i] = flag;
    flagged += u.bndflg[i] != 0;
  }

  if (flagged > 0) {
    u.hinv = saved;
    u.singular = invert_flagged(n, u.hinv, u.bndflg, cmd.singularity_tolerance, u.kept);
    if (!scoring && u.singular > flagged && !scoring_converged)
      u.a = scoring_inverse(n, d, reml, u.bndflg, cmd.singularity_tolerance, flagged, u.kept);
    else
      u.a = u.hinv;
  }
  if (u.sngretry || flagged > 0) {
    host::packed_multiply(n, u.a, d.g, u.step);
    for (std::size_t i = 0; i < n; ++i)
      u.step[i] = boundary_step(u.kinds[i], u.bndflg[i], !u.kept.test(i) && u.sngretry,
                                static_cast<int>(i) < fit.n_residual_cov_params, theta[i], u.step[i]);
  }
}

LineSearch line_search(const model::Command& cmd, const Fit& fit, Likelihood& lik, std::span<const double> theta,
                       double l0, const UpdateState& u, Evaluation& ev) {
  LineSearch r;
  const double tau =
      halving_tolerance(cmd.likelihood_tolerance, cmd.likelihood_criterion == model::Tolerance::Relative, l0);
  const std::size_t n = theta.size();
  std::vector<double> trial(n);
  auto try_step = [&](double lambda) {
    for (std::size_t i = 0; i < n; ++i) trial[i] = theta[i] - lambda * u.step[i];
    HalvingTrial t;
    r.problem = admissibility_problem(cmd, fit, trial);
    t.admissible = r.problem == 0;
    if (t.admissible) {
      t.error = lik.evaluate(trial, ev);
      if (t.error == 0) t.m2ll = lik.m2ll(ev);
    }
    return t;
  };
  const HalvingResult h = halve_step(l0, tau, cmd.max_step_halvings, try_step);
  r.m2ll = h.m2ll;
  r.halvings = h.halvings;
  r.lambda = h.lambda;
  r.accepted = h.accepted;
  r.error = h.error;
  if (r.error != 0) return r;
  if (r.accepted) {
    r.theta = trial;
  } else {
    r.theta.assign(theta.begin(), theta.end());
    r.error = lik.evaluate(theta, ev);
    if (r.error == 0) r.m2ll = lik.m2ll(ev);
  }
  return r;
}

}  // namespace mixed::estimate
