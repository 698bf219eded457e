#include "estimate/estimate.h"

#include <cmath>
#include <memory>
#include <optional>

#include "covstruct/catalogue.h"
#include "covstruct/start.h"
#include "estimate/fixed_sweep.h"
#include "estimate/history.h"
#include "estimate/iteration_control.h"
#include "estimate/labels.h"
#include "estimate/likelihood.h"
#include "estimate/rows.h"
#include "estimate/type3.h"
#include "estimate/update.h"
#include "host/dataset.h"
#include "host/fuzzy.h"
#include "host/packed.h"
#include "model/messages.h"

namespace mixed::estimate {

using host::tri;
using host::tri_size;

namespace {

// The cross products of [X y] over all records (weights only), packed of
// order p + 1.
std::vector<double> least_squares_products(const Fit& fit) {
  const int p = fit.p;
  const DesignRows& r = fit.rows;
  std::vector<double> a(tri_size(static_cast<std::size_t>(p + 1)), 0.0);
  for (std::size_t j = 0; j < r.records(); ++j) {
    const int* col = r.fcol.data() + j * r.nfix;
    const double* val = r.fval.data() + j * r.nfix;
    for (int t = 0; t < r.nfix; ++t) {
      for (int u = 0; u <= t; ++u) a[host::sym(col[t], col[u])] += val[t] * val[u];
      a[tri(p, col[t])] += val[t] * r.y[j];
    }
    a[tri(p, p)] += r.y[j] * r.y[j];
  }
  return a;
}

// The residual sum of squares of the least-squares estimates.
double residual_sum_of_squares(const Fit& fit, std::span<const double> beta) {
  const DesignRows& r = fit.rows;
  double rss = 0.0;
  for (std::size_t j = 0; j < r.records(); ++j) {
    double e = r.y[j];
    for (int t = 0; t < r.nfix; ++t) e -= r.fval[j * r.nfix + t] * beta[r.fcol[j * r.nfix + t]];
    rss += e * e;
  }
  return rss;
}

std::vector<double> fixed_estimates(const data::GroupData& group, const estimate::Estimates& est) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  std::vector<double> b(p);
  for (std::size_t k = 0; k < p; ++k) b[k] = est.fixed_covariance[tri(p, k)];
  return b;
}

const char* status_text(int status, int problem) {
  switch (status) {
    case kConverged: return "Solution converged";
    case kMaxIterations: return "Max iteration reached";
    case kMaxHalvings:
      return problem == 0  ? "Max step-halving reached"
             : problem > 0 ? "Max step-halving reached, G problem"
                           : "Max step-halving reached, R problem";
    case kConvergedSingular: return "Solution converged, Hess singular";
    case kMaxIterationsSingular: return "Max iteration reached, Hess singular";
    case kMaxHalvingsSingular: return "Max step-halving reached, Hess singular";
    default: return "";
  }
}

// The convergence criteria of the command.
ConvergenceCriteria convergence_criteria(const model::Command& cmd) {
  ConvergenceCriteria c;
  c.hessian_tolerance = cmd.hessian_tolerance;
  c.likelihood_tolerance = cmd.likelihood_tolerance;
  c.parameter_tolerance = cmd.parameter_tolerance;
  c.hessian_relative = cmd.hessian_criterion == model::Tolerance::Relative;
  c.likelihood_relative = cmd.likelihood_criterion == model::Tolerance::Relative;
  c.parameter_relative = cmd.parameter_criterion == model::Tolerance::Relative;
  return c;
}

class Estimator {
 public:
  Estimator(const model::Command& cmd, const data::GroupData& group, estimate::Estimates& est, host::Engine& e)
      : cmd_(cmd), group_(group), est_(est), e_(e) {}
  // Returns the error code: 0, a catalogue message below 1000, or a split-aware
  // warning from 1000.
  int run(bool& analysable);

 private:
  int least_squares();
  int closed_form(int status);
  int iterate();
  double starting_variance(double rss) const;
  void results(std::span<const double> theta, const UpdateState& u);
  void history_row(int i, UpdateType type, int halvings, double m2ll, std::span<const double> covrep,
                   std::string_view status) {
    if (history_) history_->row(i, type, halvings, m2ll, covrep, fixed_estimates(group_, est_), status);
  }

  const model::Command& cmd_;
  const data::GroupData& group_;
  estimate::Estimates& est_;
  host::Engine& e_;
  Fit* fit_ = nullptr;
  std::optional<Likelihood> lik_;
  std::optional<IterationHistory> history_;
  FirstPassStats stats_;
  bool scoring_converged_ = false;
};

int Estimator::least_squares() {
  Fit& fit = *fit_;
  const std::size_t p = static_cast<std::size_t>(fit.p);
  est_.fixed_covariance = least_squares_products(fit);
  std::vector<double> xtx(est_.fixed_covariance.begin(), est_.fixed_covariance.begin() + tri_size(p));
  est_.non_redundant.resize(p);
  est_.l_row_columns.resize(p);
  est_.fixed_rank = 0;
  est_.ldetx = 0.0;
  if (cmd_.n_fixed_effects() >= 1 && p > 0) {
    SweepResult r = sweep_fixed(p, est_.fixed_covariance, cmd_.singularity_tolerance);
    est_.fixed_rank = r.rank;
    est_.non_redundant = r.accepted;
    est_.ldetx = r.logdet;
    est_.estimable_basis = estimable_basis(p, est_.fixed_covariance, est_.non_redundant);
    clean_fixed(p, est_.fixed_covariance, est_.non_redundant);
    est_.fixed_covariance.back() = residual_sum_of_squares(fit, fixed_estimates(group_, est_));
    const bool ok = cmd_.sstype == model::SumOfSquares::TypeI
                        ? type1_hypotheses(cmd_, group_, xtx, est_.hypotheses, est_.l_row_columns)
                        : type3_hypotheses(cmd_, group_, xtx, est_.hypotheses, est_.l_row_columns);
    if (!ok) return -1;
  }
  return 0;
}

double Estimator::starting_variance(double rss) const {
  if (rss <= 0.0) return 1.0;
  double sum = 1.0;
  const int n_factors = cmd_.n_factors();
  for (int j = 0; j < cmd_.n_random_effects(); ++j) {
    double sj = 1.0;
    auto effect = cmd_.random.row(static_cast<std::size_t>(j));
    for (int c = 0; c < cmd_.n_covariates(); ++c)
      for (int k = 0; k < std::abs(effect[n_factors + c]); ++k) sj *= stats_.cov_sq_mean[c];
    if (sj != 0.0) sum += 1.0 / sj;
  }
  const double k1 = cmd_.n_random_effects() + 1.0;
  const double n = cmd_.method == model::Method::REML ? group_.n_observations - est_.fixed_rank : group_.n_observations;
  return sum * (rss / k1) / k1 / n;
}

void Estimator::results(std::span<const double> theta, const UpdateState& u) {
  const std::size_t n = theta.size();
  est_.cov_params.assign(theta.begin(), theta.end());
  est_.cov_params_reported = reported(theta, u.kinds);
  est_.cov_param_covariance.assign(tri_size(n), 0.0);
  for (std::size_t k = 0; k < est_.cov_param_covariance.size() && k < u.hinv.size(); ++k)
    est_.cov_param_covariance[k] = 2.0 * u.hinv[k];
  est_.cov_param_covariance_reported = est_.cov_param_covariance;
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j <= i; ++j) {
      const double di = u.kinds[i] == covstruct::StdDev ? 2.0 * theta[i] : 1.0;
      const double dj = u.kinds[j] == covstruct::StdDev ? 2.0 * theta[j] : 1.0;
      est_.cov_param_covariance_reported[tri(i, j)] = di * est_.cov_param_covariance[tri(i, j)] * dj;
    }
  est_.cov_params_kept.resize(n);
  for (std::size_t i = 0; i < n; ++i) est_.cov_params_kept.set(i, est_.cov_param_covariance[tri(i, i)] > 0.0);
}

int Estimator::closed_form(int status) {
  Fit& fit = *fit_;
  const double n = group_.n_observations;
  const double r = est_.fixed_rank;
  const double rss = est_.fixed_covariance.back();
  const std::size_t p = static_cast<std::size_t>(fit.p);
  UpdateState u;
  fill_kinds(fit, u);
  if (status == kPerfectFit) {
    est_.m2ll = host::SYSMIS;
    for (std::size_t k = 0; k < tri_size(p); ++k) est_.fixed_covariance[k] = 0.0;
    est_.cov_params.assign(1, 0.0);
    est_.cov_params_reported.assign(1, 0.0);
    est_.cov_param_covariance.assign(1, 0.0);
    est_.cov_param_covariance_reported.assign(1, 0.0);
    est_.cov_params_kept.resize(1);
    est_.cov_params_kept.set(0);
    std::vector<double> zero(1, 0.0);
    history_row(0, UpdateType::Initial, 0, est_.m2ll, zero, "Perfect fit");
    fit.R_matrix.assign(1, 0.0);
    return 0;
  }
  double sigma2, m2ll;
  const double ldetx_ls = est_.ldetx;
  if (cmd_.method == model::Method::REML) {
    const double t = host::truncate_toward_zero(n - r);
    sigma2 = rss / t;
    m2ll = t + ldetx_ls + t * kLog2Pi + (n - r) * std::log(sigma2);
  } else {
    sigma2 = rss / n;
    m2ll = n * std::log(sigma2) + n * 2.8378770664093453;
  }
  // The likelihood of a weighted model includes -sum f log w, as every
  // iterated evaluation does.
  m2ll -= fit.lwsum;
  std::vector<double> theta(1, sigma2);
  Evaluation ev;
  int err = lik_->evaluate(theta, ev);
  if (err != 0) return err > 0 ? 3 : err;
  Derivatives d;
  lik_->derivatives(theta, true, cmd_.method == model::Method::REML, d);
  est_.m2ll = m2ll;
  est_.ldetv = n * std::log(sigma2);
  est_.ldetx = ev.ldetx;
  est_.rquad = ev.rquad;
  u.hinv.assign(1, d.H[0] > 0.0 ? 1.0 / d.H[0] : 0.0);
  results(theta, u);
  lik_->final_pass(theta);
  history_row(0, UpdateType::Initial, 0, m2ll, est_.cov_params_reported, "Closed form solution");
  return 0;
}

int Estimator::iterate() {
  Fit& fit = *fit_;
  const bool reml = cmd_.method == model::Method::REML;
  UpdateState u;
  fill_kinds(fit, u);

  // Starting values: one variance spread over every block.
  const double s0 = starting_variance(est_.fixed_covariance.back());
  std::vector<double> theta(static_cast<std::size_t>(fit.n_cov_params), 0.0);
  covstruct::start_parameters(fit.rep_dim, fit.repeated_type, s0,
                              std::span<double>(theta).first(fit.n_residual_cov_params));
  for (const RandomBlock& b : fit.blocks)
    covstruct::start_parameters(b.dim, b.cov_type, s0, std::span<double>(theta).subspan(b.first_param, b.npar));

  Evaluation ev;
  int err = lik_->evaluate(theta, ev);
  if (err != 0) return err;
  double l0 = lik_->m2ll(ev);
  est_.m2ll = l0;
  std::vector<double> covrep = reported(theta, u.kinds);
  std::vector<double> prev_fixed = fixed_estimates(group_, est_);
  int countdown = -1;
  if (history_ && cmd_.max_iterations != 0) {
    history_row(0, UpdateType::Initial, 0, l0, covrep, "");
    countdown = cmd_.history_interval;
  }

  int i = 0, status = 0, problem = 0;
  double l1 = l0;
  std::vector<double> theta_star = theta;
  Derivatives d;
  while (status == 0) {
    ++i;
    e_.progress.show("Iteration", i);
    if (model::stop_if_interrupted(e_.out)) return -1;
    const bool scoring = i <= cmd_.scoring_steps && !scoring_converged_;
    if (!u.sngretry) {
      u.kept.clear();
      std::fill(u.bndflg.begin(), u.bndflg.end(), 0);
    }
    lik_->derivatives(theta, !scoring, reml, d);
    if (e_.out.error_flag()) return -1;
    update_direction(cmd_, fit, theta, d, scoring, scoring_converged_, u);
    LineSearch ls = line_search(cmd_, fit, *lik_, theta, l0, u, ev);
    if (ls.error != 0) return ls.error;
    theta_star = ls.theta;
    l1 = ls.m2ll;
    problem = ls.problem;
    const std::vector<double> covrep_star = reported(theta_star, u.kinds);
    const std::vector<double> fixed_now = fixed_estimates(group_, est_);

    const StepChange change{.g = d.g,
                            .hinv = u.hinv,
                            .lambda = ls.lambda,
                            .m2ll_old = l0,
                            .m2ll_new = l1,
                            .cov_old = covrep,
                            .cov_new = covrep_star,
                            .fixed_old = prev_fixed,
                            .fixed_new = fixed_now};
    const IterationObservation seen{.iteration = i,
                                    .max_iterations = cmd_.max_iterations,
                                    .scoring_steps = cmd_.scoring_steps,
                                    .scoring = scoring,
                                    .accepted = ls.accepted,
                                    .converged = ls.accepted && step_converged(convergence_criteria(cmd_), change),
                                    .singular = u.singular > 0,
                                    .singular_retry = u.sngretry};
    const IterationDecision next = decide_next(seen);
    i = next.iteration;
    status = next.status;

    const char* text = "";
    switch (next.next) {
      case NextStep::RetrySingular: u.sngretry = true; break;
      case NextStep::ConfirmSingular:
        // The uncounted iteration does not advance the history interval.
        u.sngretry = true;
        if (countdown >= 0) ++countdown;
        break;
      case NextStep::SwitchToNewton:
        scoring_converged_ = true;
        text = "Converge during scoring";
        countdown = 0;
        break;
      case NextStep::Continue:
      case NextStep::Stop: break;
    }
    if (status != 0) text = status_text(status, problem);

    if (history_ && history_due(status, cmd_.history_interval, countdown)) {
      const UpdateType type = (cmd_.max_iterations == 0) ? UpdateType::Initial
                              : scoring                  ? UpdateType::Scoring
                                                         : UpdateType::Newton;
      history_row(i, type, ls.halvings, l1, covrep_star, text);
    }
    if (status == 0) {
      l0 = l1;
      theta = theta_star;
      covrep = covrep_star;
      prev_fixed = fixed_now;
    }
  }
  est_.iteration_status = status;
  est_.iterations = i;
  est_.m2ll = l1;
  est_.ldetv = ev.ldetv;
  est_.rquad = ev.rquad;
  est_.ldetx = ev.ldetx;
  results(theta_star, u);
  lik_->final_pass(theta_star);
  return 0;
}

int Estimator::run(bool& analysable) {
  auto fit = std::make_shared<Fit>();
  est_.fit = fit;
  fit_ = fit.get();
  layout_blocks(cmd_, group_, est_, *fit_);
  if (est_.n_random_design_columns >= 3037000500LL) return 3;
  int err = build_rows(cmd_, group_, e_, *fit_, stats_);
  if (err != 0) return err;
  est_.lwsum = fit_->lwsum;
  est_.covariate_means = stats_.cov_mean;
  err = least_squares();
  if (err != 0) return err;
  lik_.emplace(cmd_, group_, est_, e_, *fit_);
  err = lik_->setup();
  if (err != 0) return err;

  int status = 0;
  const double rss = est_.fixed_covariance.back();
  if (group_.n_observations - est_.n_cov_params - est_.fixed_rank <= 0.0) {
    status = kTooFewObservations;
    analysable = false;
  } else if (cmd_.n_random_effects() == 0 && cmd_.repeated_type == covstruct::ID) {
    status = rss > 0.0 ? kClosedForm : kPerfectFit;
  }
  est_.iteration_status = status;
  make_parameter_labels(cmd_, group_, est_, e_);
  if (e_.out.error_flag()) return -1;
  if (cmd_.print_history && status != kTooFewObservations) history_.emplace(cmd_, group_, est_, *fit_);

  if (status == kClosedForm || status == kPerfectFit)
    err = closed_form(status);
  else if (status == 0)
    err = iterate();
  if (history_) history_->finish(e_.out);
  e_.progress.reset();
  if (err != 0) return err;

  if (scoring_converged_) model::issue_split_warning(e_.out, model::Msg::ConvergedDuringScoring);
  switch (est_.iteration_status) {
    case kMaxIterations:
    case kMaxHalvings:
    case kMaxIterationsSingular:
    case kMaxHalvingsSingular: model::issue_split_warning(e_.out, model::Msg::ModelValidityIsUncertain); break;
    case kConvergedSingular: model::issue_split_warning(e_.out, model::Msg::ConvergedSingularHessian); break;
    case kPerfectFit: model::issue_split_warning(e_.out, model::Msg::PerfectFit); break;
    case kTooFewObservations: model::issue_split_warning(e_.out, model::Msg::TooFewObservations); break;
    default: break;
  }
  return 0;
}

}  // namespace

void estimate(const model::Command& cmd, const data::GroupData& group, Estimates& est, host::Engine& e,
              bool& analysable) {
  analysable = true;
  Estimator estimator(cmd, group, est, e);
  const int err = estimator.run(analysable);
  if (err > 0 && err < 1000) {
    model::issue_message(e.out, static_cast<model::Msg>(err), model::kOtherClass, host::Severity::Error);
  } else if (err >= 1000) {
    model::issue_split_warning(e.out, static_cast<model::Msg>(err));
  }
  if (err != 0) analysable = false;
  e.scratch.free_pool(host::Pool::GroupWork);
}

}  // namespace mixed::estimate
