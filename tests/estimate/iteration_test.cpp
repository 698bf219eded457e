// The iteration driver's outcomes end to end: Newton alone, too few
// observations, the closed form with and without a perfect fit, starting
// values, and weights that must not change the fit.  The decisions of the
// loop are tested directly in iteration_control_test.cpp.

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "estimate/estimate.h"
#include "estimate/estimate_util.h"
#include "estimate/likelihood.h"
#include "host/packed.h"

namespace mixed::estimate {
namespace {

using testing::csv;
using testing::Fitted;
using testing::reference_csv;

bool has_message(const host::Output& out, int number) {
  std::function<bool(const std::vector<host::Item>&)> find = [&](const std::vector<host::Item>& items) {
    for (const host::Item& it : items) {
      if (const auto* m = std::get_if<host::Message>(&it); m && m->number == number) return true;
      if (const auto* h = std::get_if<host::Heading>(&it); h && find(h->items)) return true;
    }
    return false;
  };
  return find(out.items());
}

const host::PivotTable* table(const host::Output& out, const std::string& name) {
  for (const host::Item& it : out.items())
    if (const auto* t = std::get_if<host::PivotTable>(&it); t && t->name().json() == name) return t;
  return nullptr;
}

TEST(Iteration, NewtonOnlyReachesTheSameOptimum) {
  Fitted f(reference_csv("Orthodont.csv"));
  ASSERT_TRUE(
      f.run("MIXED distance BY Sex WITH age /FIXED=Sex age /REPEATED=age | SUBJECT(Subject) COVTYPE(AR1) "
            "/CRITERIA=SCORING(0)."));
  EXPECT_EQ(f.est.iteration_status, kConverged);
  EXPECT_NEAR(f.est.m2ll, 445.448295098812, 1e-7) << "the reference optimum";
}

TEST(Iteration, TooFewObservationsForTheParameters) {
  // Three records, an intercept and two covariance parameters: N - 2 - 1 = 0.
  Fitted f(csv("y,s\n1,1\n2,1\n4,2\n"));
  f.run("MIXED y /RANDOM=INTERCEPT | SUBJECT(s).");
  EXPECT_EQ(f.est.iteration_status, kTooFewObservations);
  EXPECT_FALSE(f.analysable);
  EXPECT_TRUE(has_message(f.out, 1007)) << "N less than no. of parameter";
}

TEST(ClosedForm, OrdinaryLeastSquaresUnderMl) {
  Fitted f(reference_csv("Orthodont.csv"));
  ASSERT_TRUE(f.run("MIXED distance WITH age /FIXED=age /METHOD=ML /PRINT=HISTORY."));
  const estimate::Estimates& est = f.est;
  EXPECT_EQ(est.iteration_status, kClosedForm);
  const double n = 108;
  const double rss = est.cov_params[0] * n;
  EXPECT_NEAR(est.m2ll, n * std::log(rss / n) + n * (1.0 + kLog2Pi), 1e-9 * est.m2ll);
  const host::PivotTable* h = table(f.out, "Iteration History");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->dimensions()[0].categories.size(), 1u) << "one history row";
  EXPECT_EQ(h->cells().front().notes.front().json(), "Closed form solution");
}

TEST(ClosedForm, PerfectFitHasNoLikelihood) {
  Fitted f(csv("y,x\n3,1\n5,2\n7,3\n9,4\n"));
  ASSERT_TRUE(f.run("MIXED y WITH x /FIXED=x."));
  const estimate::Estimates& est = f.est;
  EXPECT_EQ(est.iteration_status, kPerfectFit);
  EXPECT_TRUE(std::isnan(est.m2ll));
  EXPECT_EQ(est.cov_params[0], 0.0);
  EXPECT_EQ(est.fixed_covariance[host::tri(0, 0)], 0.0) << "zero covariance of the estimates";
  EXPECT_NEAR(est.fixed_covariance[host::tri(2, 1)], 2.0, 1e-12) << "the slope is still estimated";
  EXPECT_TRUE(has_message(f.out, 1008));
}

TEST(StartingValues, AnExactFitWithRandomEffectsStartsAtOne) {
  Fitted f(csv("y,x,s\n3,1,1\n5,2,1\n7,3,2\n9,4,2\n11,5,3\n13,6,3\n"));
  f.run("MIXED y WITH x /FIXED=x /RANDOM=INTERCEPT | SUBJECT(s) /CRITERIA=MXITER(1) /PRINT=HISTORY.");
  const host::PivotTable* h = table(f.out, "Iteration History");
  ASSERT_NE(h, nullptr);
  // Row 0: the residual and the random-intercept variance both start at 1.
  int found = 0;
  for (const host::Cell& c : h->cells()) {
    if (c.at[0] != 0) continue;
    const auto& cat = h->dimensions()[1].categories[c.at[1]];
    const std::string label = cat.label.json();
    if (label == "Residual" || label == "VC variance") {
      EXPECT_EQ(c.value.number, 1.0) << label;
      ++found;
    }
  }
  EXPECT_EQ(found, 2);
}

TEST(Weights, AFrequencyWeightOfTwoIsTheCaseTwice) {
  const std::string rows = "1.2,1,0.5\n2.9,1,1.5\n2.1,2,0.3\n4.8,2,2.2\n3.3,3,1.1\n5.9,3,2.9\n4.1,4,1.7\n";
  Fitted weighted(csv("y,s,x,f\n" + [&] {
    std::string t;
    int k = 0;
    for (std::size_t a = 0, b; (b = rows.find('\n', a)) != std::string::npos; a = b + 1, ++k)
      t += rows.substr(a, b - a) + (k == 2 ? ",2\n" : ",1\n");
    return t;
  }()));
  weighted.data.set_weight(weighted.data.find("f"));
  ASSERT_TRUE(weighted.run("MIXED y WITH x /FIXED=x /RANDOM=INTERCEPT | SUBJECT(s)."));
  Fitted doubled(csv("y,s,x\n" + rows + "2.1,2,0.3\n"));
  ASSERT_TRUE(doubled.run("MIXED y WITH x /FIXED=x /RANDOM=INTERCEPT | SUBJECT(s)."));
  EXPECT_NEAR(weighted.est.m2ll, doubled.est.m2ll, 1e-9 * std::fabs(doubled.est.m2ll));
  for (std::size_t k = 0; k < doubled.est.cov_params.size(); ++k)
    EXPECT_NEAR(weighted.est.cov_params[k], doubled.est.cov_params[k], 1e-7 * doubled.est.cov_params[k]);
}

}  // namespace
}  // namespace mixed::estimate
