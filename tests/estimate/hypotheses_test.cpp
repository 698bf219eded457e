// The fixed-effect sweep with its redundancy rules, and the Type I and Type III
// hypothesis matrices, on designs whose answers are known.

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "estimate/estimate_util.h"
#include "estimate/fixed_sweep.h"
#include "estimate/type3.h"
#include "host/packed.h"

namespace mixed::estimate {
namespace {

using host::tri;
using testing::csv;
using testing::Fitted;

// A balanced 2 x 2 design with two replicates per cell.
const char* kTwoByTwo =
    "y,a,b\n"
    "1.0,1,1\n2.0,1,1\n3.5,1,2\n3.0,1,2\n"
    "5.0,2,1\n4.0,2,1\n7.0,2,2\n8.5,2,2\n";

std::vector<double> row(const estimate::TermHypothesis& h, int r, int p) {
  return std::vector<double>(h.L.begin() + r * p, h.L.begin() + (r + 1) * p);
}

TEST(Hypotheses, TypeThreeRowsOfABalancedTwoWayDesign) {
  Fitted f(csv(kTwoByTwo));
  ASSERT_TRUE(f.run("y BY a b /FIXED=a b a*b."));
  const data::GroupData& group = f.group;
  const estimate::Estimates& est = f.est;
  ASSERT_EQ(group.n_fixed_columns, 9);
  ASSERT_EQ(est.hypotheses.size(), 4u);
  // Columns: intercept, a1, a2, b1, b2, a1b1, a1b2, a2b1, a2b2.
  EXPECT_EQ(est.hypotheses[1].df, 1);
  EXPECT_EQ(row(est.hypotheses[1], 0, 9), (std::vector<double>{0, 1, -1, 0, 0, 0.5, 0.5, -0.5, -0.5}))
      << "a: its levels' difference averaged over b";
  EXPECT_EQ(row(est.hypotheses[2], 0, 9), (std::vector<double>{0, 0, 0, 1, -1, 0.5, -0.5, 0.5, -0.5}))
      << "b: its levels' difference averaged over a";
  EXPECT_EQ(row(est.hypotheses[3], 0, 9), (std::vector<double>{0, 0, 0, 0, 0, 1, -1, -1, 1}))
      << "a*b: the interaction contrast";
  EXPECT_EQ(est.hypotheses[0].df, 1) << "intercept";
  EXPECT_EQ(est.fixed_rank, 4) << "rank of the over-parameterised design";
  // The redundant columns yield no rows.
  for (int c : {2, 4, 6, 7, 8}) EXPECT_FALSE(est.l_row_columns.test(c)) << "column " << c;
}

TEST(Hypotheses, TypeOneRowsAreSequential) {
  Fitted f(csv(kTwoByTwo));
  ASSERT_TRUE(f.run("y BY a b /FIXED=a b a*b | SSTYPE(1)."));
  const estimate::Estimates& est = f.est;
  // Type I rows of a term have zeros on every earlier term and 1 at their own pivot.
  const auto b = row(est.hypotheses[2], 0, 9);
  EXPECT_EQ(b[0], 0.0);
  EXPECT_EQ(b[1], 0.0);
  EXPECT_EQ(b[2], 0.0);
  EXPECT_EQ(b[3], 1.0);
  EXPECT_EQ(b[4], -1.0) << "the aliased level of b";
  EXPECT_EQ(est.hypotheses[3].df, 1);
}

TEST(Hypotheses, AFullSetOfIndicatorsWithAnInterceptDropsTheLastLevel) {
  Fitted f(csv(kTwoByTwo));
  ASSERT_TRUE(f.run("y BY a /FIXED=a."));
  const data::GroupData& group = f.group;
  const estimate::Estimates& est = f.est;
  EXPECT_EQ(group.n_fixed_columns, 3);
  EXPECT_EQ(est.fixed_rank, 2) << "rank p - 1";
  EXPECT_FALSE(est.non_redundant.test(2)) << "the last level is redundant";
  const std::size_t p = 3;
  EXPECT_EQ(est.fixed_covariance[tri(p, 2)], 0.0) << "its estimate is 0";
  for (std::size_t j = 0; j < p; ++j) EXPECT_EQ(est.fixed_covariance[host::sym(2, j)], 0.0) << "its covariance row";
  // The intercept estimates the mean of the last level, a1 the difference.
  EXPECT_NEAR(est.fixed_covariance[tri(p, 0)], 6.125, 1e-12);
  EXPECT_NEAR(est.fixed_covariance[tri(p, 1)], 2.375 - 6.125, 1e-12);
}

TEST(Hypotheses, ASingleTermGivesTheEstimableFunctionsOfThatTerm) {
  Fitted f(csv(kTwoByTwo));
  ASSERT_TRUE(f.run("y BY a /FIXED=a | NOINT."));
  const estimate::Estimates& est = f.est;
  ASSERT_EQ(est.hypotheses.size(), 1u);
  EXPECT_EQ(est.hypotheses[0].df, 2);
  ASSERT_EQ(est.estimable_basis.size(), est.hypotheses[0].L.size());
  for (std::size_t i = 0; i < est.estimable_basis.size(); ++i)
    EXPECT_EQ(est.hypotheses[0].L[i], est.estimable_basis[i]) << "element " << i;
}

TEST(FixedSweep, APivotFarSmallerThanEarlierOnesIsRedundant) {
  // Diagonal X'X with pivots 1, 4 and 1e-9: the third passes a tolerance of
  // 1e-12 but is 1e9 times smaller than the first, so it is declared aliased.
  std::vector<double> a(host::tri_size(4), 0.0);
  a[tri(0, 0)] = 1.0;
  a[tri(1, 1)] = 4.0;
  a[tri(2, 2)] = 1e-9;
  a[tri(3, 0)] = 2.0;
  a[tri(3, 3)] = 9.0;
  const std::vector<double> before = a;
  SweepResult r = sweep_fixed(3, a, 1e-12);
  EXPECT_EQ(r.rank, 2);
  EXPECT_TRUE(r.accepted.test(0));
  EXPECT_TRUE(r.accepted.test(1));
  EXPECT_FALSE(r.accepted.test(2));
  EXPECT_EQ(a[tri(2, 2)], before[tri(2, 2)]) << "the redundant pivot is swept back";
  EXPECT_NEAR(r.logdet, std::log(4.0), 1e-15) << "log of the accepted pivots";
}

TEST(FixedSweep, ScaleKeepsTheToleranceAbsoluteBelowOne) {
  // A pivot of 1e-13 with a diagonal below 1: d = 1, so 1e-13 fails 1e-12.
  std::vector<double> a(host::tri_size(2), 0.0);
  a[tri(0, 0)] = 1e-13;
  a[tri(1, 1)] = 1.0;
  EXPECT_EQ(sweep_fixed(1, a, 1e-12).rank, 0);
}

TEST(TypeThree, RoundingToHalvesAndUnits) {
  const double tau = 1e-8;
  EXPECT_EQ(round_hypothesis(0.999999999, tau), 1.0);
  EXPECT_EQ(round_hypothesis(-0.500000001, tau), -0.5);
  EXPECT_EQ(round_hypothesis(1e-9, tau), 0.0);
  EXPECT_EQ(round_hypothesis(0.3333, tau), 0.3333);
  EXPECT_EQ(round_hypothesis(-1e-9, tau), 0.0);
}

TEST(TypeThree, ContainmentLevelsSeparateContainingTerms) {
  // Terms: intercept, A, B, A*B, C with two factors A, B and one more, C.
  model::EffectTable t;
  t.width = 3;
  for (auto r : {std::vector<int>{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {0, 0, 1}}) t.add_row(r);
  const std::vector<int> a = containment_levels(t, 3, 1);
  EXPECT_EQ(a[1], 0);
  EXPECT_GT(a[3], 0) << "A*B contains A";
  EXPECT_LT(a[0], 0);
  EXPECT_LT(a[2], 0);
  EXPECT_LT(a[4], 0);
  const std::vector<int> i = containment_levels(t, 3, 0);
  for (int j = 1; j < 5; ++j) EXPECT_GT(i[j], 0) << "every term contains the intercept";
  EXPECT_EQ(containment(t.row(1), t.row(3), 3), 1);
  EXPECT_EQ(containment(t.row(3), t.row(1), 3), 2);
  EXPECT_EQ(containment(t.row(1), t.row(1), 3), 0);
}

}  // namespace
}  // namespace mixed::estimate
