// The decisions of the iteration, driven directly: convergence by each
// criterion (absolute and relative, in turn), the next step and final status
// over every branch, the history-row interval, step-halving, and the boundary
// rules for variances and correlations.

#include "estimate/iteration_control.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "covstruct/catalogue.h"
#include "estimate/estimate.h"

namespace mixed::estimate {
namespace {

TEST(Convergence, EachCriterionAbsoluteAndRelativeInTurn) {
  // g = (1, 2), H^- = diag(2, 1): g'H^-g = 6, times lambda = 0.5 gives 3.
  const std::vector<double> g{1.0, 2.0}, hinv{2.0, 0.0, 1.0};
  const std::vector<double> cov_old{1000.0}, cov_new{1000.5}, fixed_old{2.0}, fixed_new{2.1};
  const StepChange s{.g = g,
                     .hinv = hinv,
                     .lambda = 0.5,
                     .m2ll_old = 200.0,
                     .m2ll_new = 100.0,
                     .cov_old = cov_old,
                     .cov_new = cov_new,
                     .fixed_old = fixed_old,
                     .fixed_new = fixed_new};
  auto only = [](double h, double l, double p, bool relative) {
    return ConvergenceCriteria{h, l, p, relative, relative, relative};
  };
  EXPECT_TRUE(step_converged(only(3.001, 0, 0, false), s)) << "Hessian: 3 < 3.001";
  EXPECT_FALSE(step_converged(only(3.0, 0, 0, false), s)) << "the tolerance must exceed the change";
  EXPECT_TRUE(step_converged(only(0.031, 0, 0, true), s)) << "relative Hessian scales by the new -2LL";
  EXPECT_FALSE(step_converged(only(0.029, 0, 0, true), s));
  EXPECT_TRUE(step_converged(only(0, 101, 0, false), s)) << "likelihood: |L1 - L0| = 100";
  EXPECT_FALSE(step_converged(only(0, 99, 0, false), s));
  EXPECT_TRUE(step_converged(only(0, 0.6, 0, true), s)) << "relative likelihood scales by L0";
  EXPECT_FALSE(step_converged(only(0, 0.4, 0, true), s));
  EXPECT_FALSE(step_converged(only(0, 0, 0.4, false), s)) << "parameters: 0.5 in the covariance parameter";
  EXPECT_FALSE(step_converged(only(0, 0, 1e-3, true), s)) << "the covariance parameter passes, the fixed one not";
  EXPECT_TRUE(step_converged(only(0, 0, 0.1, true), s)) << "both relative: 0.5 < 100 and 0.1 < 0.2";
  EXPECT_FALSE(step_converged(only(3.001, 99, 0, false), s)) << "all switched-on criteria must pass";
  EXPECT_FALSE(step_converged(only(0, 0, 0, false), s)) << "no criterion switched on never converges";

  EXPECT_TRUE(within_tolerance(1e-3, true, -1000.0, 0.5)) << "the scale's magnitude";
  EXPECT_TRUE(within_tolerance(1.0, true, 0.0, 0.5)) << "a zero scale falls back to absolute";
}

TEST(NextStep, StatusOverEveryBranch) {
  struct Case {
    const char* what;
    IterationObservation o;
    NextStep next;
    int status;
    int iteration;
  };
  const IterationObservation newton{.iteration = 3, .max_iterations = 10, .scoring_steps = 1, .accepted = true};
  auto with = [&](auto change) {
    IterationObservation o = newton;
    change(o);
    return o;
  };
  const Case cases[] = {
      {"not converged goes on", newton, NextStep::Continue, 0, 3},
      {"converged", with([](auto& o) { o.converged = true; }), NextStep::Stop, kConverged, 3},
      {"converged with H singular is confirmed, uncounted", with([](auto& o) { o.converged = o.singular = true; }),
       NextStep::ConfirmSingular, 0, 2},
      {"converged again in the singular retry",
       with([](auto& o) { o.converged = o.singular = o.singular_retry = true; }), NextStep::Stop, kConvergedSingular,
       3},
      {"the last iteration", with([](auto& o) { o.iteration = 10; }), NextStep::Stop, kMaxIterations, 10},
      {"the last iteration, H singular", with([](auto& o) { o.iteration = 10, o.singular = true; }), NextStep::Stop,
       kMaxIterationsSingular, 10},
      {"converges on the last iteration", with([](auto& o) { o.iteration = 10, o.converged = true; }), NextStep::Stop,
       kConverged, 10},
      {"no acceptable step", with([](auto& o) { o.accepted = false; }), NextStep::Stop, kMaxHalvings, 3},
      {"no acceptable step, H singular: retry", with([](auto& o) { o.accepted = false, o.singular = true; }),
       NextStep::RetrySingular, 0, 3},
      {"no acceptable step in the singular retry",
       with([](auto& o) { o.accepted = false, o.singular = o.singular_retry = true; }), NextStep::Stop,
       kMaxHalvingsSingular, 3},
      {"scoring converges early: Newton next",
       with([](auto& o) { o.scoring_steps = 5, o.scoring = o.converged = o.singular = true; }),
       NextStep::SwitchToNewton, 0, 3},
      {"scoring converges on its last step: Newton follows anyway",
       with([](auto& o) { o.scoring_steps = 3, o.scoring = o.converged = true; }), NextStep::Continue, 0, 3},
      {"scoring converges on the last iteration",
       with([](auto& o) { o.iteration = o.scoring_steps = o.max_iterations = 3, o.scoring = o.converged = true; }),
       NextStep::Stop, kMaxIterations, 3},
      {"MXITER(0): one step, iteration 0",
       with([](auto& o) { o.iteration = 1, o.max_iterations = 0, o.converged = true; }), NextStep::Stop, kMaxIterations,
       0},
      {"MXITER(0) with H singular, no acceptable step",
       with([](auto& o) { o.iteration = 1, o.max_iterations = 0, o.accepted = false, o.singular = true; }),
       NextStep::Stop, kMaxIterationsSingular, 0},
  };
  for (const Case& c : cases) {
    const IterationDecision d = decide_next(c.o);
    EXPECT_EQ(d.next, c.next) << c.what;
    EXPECT_EQ(d.status, c.status) << c.what;
    EXPECT_EQ(d.iteration, c.iteration) << c.what;
  }
}

TEST(NextStep, HistoryRowsEveryIntervalAndAtTheEnd) {
  auto rows = [](int countdown, int interval, int last) {
    std::vector<int> r;
    for (int i = 1; i <= last; ++i)
      if (history_due(i == last ? kConverged : 0, interval, countdown)) r.push_back(i);
    return r;
  };
  EXPECT_EQ(rows(3, 3, 7), (std::vector<int>{3, 6, 7}));
  EXPECT_EQ(rows(-1, 3, 7), (std::vector<int>{7})) << "no history: only the final row is due";
  EXPECT_EQ(rows(0, 3, 5), (std::vector<int>{1, 4, 5})) << "a countdown of 0 asks for a row now";
}

TEST(StepHalving, HalvesARisingStepUntilAcceptedOrTheLimit) {
  EXPECT_EQ(halving_tolerance(0.0, false, -100.0), std::pow(DBL_EPSILON, 2.0 / 3.0) * 100.0);
  EXPECT_EQ(halving_tolerance(1e-3, false, 500.0), 1e-3);
  EXPECT_DOUBLE_EQ(halving_tolerance(1e-3, true, 500.0), 0.5) << "relative: times L0";

  // -2LL along the step: 10 + 100 lambda (lambda - 0.3), below L0 = 10 only for lambda < 0.3.
  std::vector<double> tried;
  auto quadratic = [&](double lambda) {
    tried.push_back(lambda);
    return HalvingTrial{.admissible = true, .m2ll = 10.0 + 100.0 * lambda * (lambda - 0.3)};
  };
  HalvingResult r = halve_step(10.0, 0.0, 10, quadratic);
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(tried, (std::vector<double>{1.0, 0.5, 0.25}));
  EXPECT_EQ(r.halvings, 2);
  EXPECT_EQ(r.lambda, 0.25);
  EXPECT_DOUBLE_EQ(r.m2ll, 8.75);

  tried.clear();
  r = halve_step(10.0, 0.0, 1, quadratic);
  EXPECT_FALSE(r.accepted) << "one halving allowed";
  EXPECT_EQ(tried, (std::vector<double>{1.0, 0.5}));
  EXPECT_EQ(r.halvings, 1);
  EXPECT_EQ(r.m2ll, 10.0) << "L0 stays";

  r = halve_step(10.0, 1e-8, 10, [](double) { return HalvingTrial{.admissible = true, .m2ll = 10.0 + 1e-8}; });
  EXPECT_TRUE(r.accepted && r.halvings == 0) << "a rise of tau is accepted";

  int evaluated = 0;
  r = halve_step(10.0, 0.0, 10, [&](double lambda) {
    if (lambda > 0.3) return HalvingTrial{};  // inadmissible: never evaluated
    ++evaluated;
    return HalvingTrial{.admissible = true, .m2ll = 9.0};
  });
  EXPECT_TRUE(r.accepted && r.lambda == 0.25 && r.halvings == 2 && evaluated == 1);

  r = halve_step(10.0, 0.0, 10, [](double) { return HalvingTrial{.admissible = true, .error = 3}; });
  EXPECT_TRUE(!r.accepted && r.error == 3 && r.halvings == 0) << "an evaluation error stops at once";
}

TEST(Boundary, VariancesAndCorrelationsHeldAtTheirBounds) {
  using covstruct::Correlation, covstruct::Covariance, covstruct::StdDev, covstruct::Variance;
  const double t = 1e-6;
  // The trial is theta - lambda d; a variance is flagged when half the step reaches 0.
  EXPECT_EQ(boundary_flag(Variance, 0.5, 2.0, t), -1);
  EXPECT_EQ(boundary_flag(StdDev, 0.5, 1.0, t), -1) << "half the step exactly to 0";
  EXPECT_EQ(boundary_flag(Variance, 0.5, 0.5, t), 0);
  EXPECT_EQ(boundary_flag(Variance, 0.5, -2.0, t), 0) << "moving away from 0";
  EXPECT_EQ(boundary_flag(Variance, 1e-8, 1e-9, t), -1) << "already within t of 0";
  EXPECT_EQ(boundary_flag(Covariance, 0.5, 2.0, t), 0) << "a covariance has no bound";
  EXPECT_EQ(boundary_flag(Correlation, 0.5, -0.5, t), 1) << "the full step exactly to 1";
  EXPECT_EQ(boundary_flag(Correlation, 0.9, -0.05, t), 0);
  EXPECT_EQ(boundary_flag(Correlation, 0.9, 0.2, t), 0) << "moving toward 0";
  EXPECT_EQ(boundary_flag(Correlation, -0.5, 0.5, t), -1) << "the full step exactly to -1";
  EXPECT_EQ(boundary_flag(Correlation, 1.0 - 1e-7, 0.0, t), 1) << "within t of 1";

  // A flagged parameter's full step lands on its bound; a residual variance
  // stops at 5% of its value so that R stays positive definite.
  EXPECT_EQ(0.5 - boundary_step(Variance, -1, false, false, 0.5, 2.0), 0.0);
  EXPECT_NEAR(0.5 - boundary_step(Variance, -1, false, true, 0.5, 2.0), 0.05 * 0.5, 1e-15);
  EXPECT_DOUBLE_EQ(0.9 - boundary_step(Correlation, 1, false, false, 0.9, -0.2), 1.0);
  EXPECT_DOUBLE_EQ(-0.9 - boundary_step(Correlation, -1, false, false, -0.9, 0.2), -1.0);
  EXPECT_EQ(0.7 - boundary_step(Covariance, 0, true, false, 0.7, 0.1), 0.0) << "dropped in the singular retry";
  EXPECT_EQ(boundary_step(Variance, 0, false, true, 0.5, 0.1), 0.1) << "a free parameter keeps its step";
}

}  // namespace
}  // namespace mixed::estimate
