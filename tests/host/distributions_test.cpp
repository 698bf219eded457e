#include "host/distributions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "host/dataset.h"

namespace mixed::host {
namespace {

constexpr double inf = std::numeric_limits<double>::infinity();

TEST(Distributions, NormalTailAndQuantile) {
  EXPECT_NEAR(normal_quantile(0.975), 1.959963984540054, 1e-14);
  EXPECT_NEAR(normal_quantile(0.025), -1.959963984540054, 1e-14);
  EXPECT_EQ(normal_quantile(0.5), 0.0);
  EXPECT_NEAR(normal_quantile(0.8413447460685429), 1.0, 1e-13) << "Phi(1)";
  EXPECT_NEAR(normal_upper_tail(1.959963984540054), 0.025, 1e-15);
  EXPECT_NEAR(normal_upper_tail(-1.0), 0.8413447460685429, 1e-15);
  EXPECT_EQ(normal_upper_tail(0.0), 0.5);
  EXPECT_NEAR(normal_upper_tail(10.0), 7.619853024160593e-24, 1e-35) << "far tail keeps its relative accuracy";
  EXPECT_EQ(normal_upper_tail(inf), 0.0);
  EXPECT_EQ(normal_upper_tail(-inf), 1.0);
}

TEST(Distributions, TQuantileAndSignificance) {
  // t_10(0.975) = 2.22813885198627475 to 18 digits, by bisection on the
  // closed form of the t distribution function for even df in 50-digit
  // arithmetic (2.228138851986522, a value often quoted, is 2.5e-13 high).
  EXPECT_NEAR(t_quantile(0.975, 10), 2.22813885198627475, 2e-15);
  EXPECT_NEAR(t_quantile(0.025, 10), -2.22813885198627475, 2e-15);
  // One df is the Cauchy distribution: t_1(p) = tan(pi (p - 1/2)).
  EXPECT_NEAR(t_quantile(0.975, 1), std::tan(0.475 * std::numbers::pi), 1e-11);
  // Two df: t_2(p) = (2p - 1) / sqrt(2 p (1 - p)).
  EXPECT_NEAR(t_quantile(0.9, 2), 0.8 / std::sqrt(0.18), 1e-14);
  // Non-integer df, through the round trip with t_significance.
  EXPECT_NEAR(t_significance(t_quantile(0.975, 2.5), 2.5), 0.05, 1e-14);
  EXPECT_NEAR(t_significance(t_quantile(0.995, 37.25), 37.25), 0.01, 1e-14);

  EXPECT_NEAR(t_significance(2.22813885198627475, 10), 0.05, 1e-16);
  EXPECT_NEAR(t_significance(-2.22813885198627475, 10), 0.05, 1e-16) << "two-sided";
  EXPECT_NEAR(t_significance(1.0, 1), 0.5, 1e-15) << "Cauchy: P(|T| > 1) = 1/2";
  EXPECT_NEAR(t_significance(3.0, 1), 1.0 - 2.0 / std::numbers::pi * std::atan(3.0), 1e-15);
  EXPECT_EQ(t_significance(0.0, 7), 1.0);
  EXPECT_EQ(t_significance(inf, 7), 0.0);
  EXPECT_NEAR(t_significance(1.959963984540054, 1e12), 0.05, 1e-10) << "huge df approaches the normal";
}

TEST(Distributions, FTail) {
  // F(2, n): P(F > f) = (1 + 2f/n)^(-n/2), also for non-integer n.
  EXPECT_NEAR(f_significance(3.0, 2, 10), 0.095367431640625, 1e-16);
  EXPECT_NEAR(f_significance(1.7, 2, 7.5), std::pow(1.0 + 2.0 * 1.7 / 7.5, -3.75), 1e-15);
  // F(1, n) is T(n)^2.
  EXPECT_NEAR(f_significance(4.0, 1, 10), t_significance(2.0, 10), 1e-15);
  EXPECT_NEAR(f_significance(4.0, 1, 10), 0.073388034770740366, 1e-16);
  EXPECT_EQ(f_significance(0.0, 3, 12), 1.0);
  EXPECT_EQ(f_significance(-1e-17, 3, 12), 1.0) << "a rounding-negative F is below every quantile";
  EXPECT_EQ(f_significance(inf, 3, 12), 0.0);

  // Infinite df: F(2, inf) = chi2(2)/2, P(F > 3) = exp(-3); F(inf, 2) =
  // 2/chi2(2), P(F > f) = 1 - exp(-1/f); F(inf, inf) = 1.
  EXPECT_NEAR(f_significance(3.0, 2, inf), std::exp(-3.0), 1e-16);
  EXPECT_NEAR(f_significance(0.5, inf, 2), 1.0 - std::exp(-2.0), 1e-15);
  EXPECT_EQ(f_significance(0.5, inf, inf), 1.0);
  EXPECT_EQ(f_significance(2.0, inf, inf), 0.0);
  EXPECT_NEAR(f_significance(3.0, 2, 1e15), std::exp(-3.0), 1e-13) << "continuity at large df";
  EXPECT_NEAR(t_significance(1.959963984540054, inf), 0.05, 1e-15) << "t(inf) is the normal";
  EXPECT_NEAR(t_quantile(0.975, inf), 1.959963984540054, 1e-14);
}

TEST(Distributions, InvalidArgumentsGiveSysmis) {
  for (double p : {0.0, 1.0, -0.5, 1.5, SYSMIS}) {
    EXPECT_TRUE(is_sysmis(normal_quantile(p))) << p;
    EXPECT_TRUE(is_sysmis(t_quantile(p, 5))) << p;
  }
  for (double df : {0.0, -2.0, SYSMIS}) {
    EXPECT_TRUE(is_sysmis(t_quantile(0.9, df))) << df;
    EXPECT_TRUE(is_sysmis(t_significance(1.0, df))) << df;
    EXPECT_TRUE(is_sysmis(f_significance(1.0, df, 5))) << df;
    EXPECT_TRUE(is_sysmis(f_significance(1.0, 5, df))) << df;
  }
  EXPECT_TRUE(is_sysmis(normal_upper_tail(SYSMIS)));
  EXPECT_TRUE(is_sysmis(t_significance(SYSMIS, 5)));
  EXPECT_TRUE(is_sysmis(f_significance(SYSMIS, 1, 5)));
}

TEST(Distributions, Correlation) {
  EXPECT_DOUBLE_EQ(correlation_of(1.0, 4.0, 9.0), 1.0 / 6.0);
  EXPECT_DOUBLE_EQ(correlation_of(-6.0, 4.0, 9.0), -1.0);
  EXPECT_TRUE(is_sysmis(correlation_of(0.0, 0.0, 9.0))) << "zero variance";
  EXPECT_TRUE(is_sysmis(correlation_of(1.0, 4.0, -1.0))) << "negative variance";
  EXPECT_TRUE(is_sysmis(correlation_of(SYSMIS, 4.0, 9.0)));
  EXPECT_TRUE(is_sysmis(correlation_of(1.0, SYSMIS, 9.0)));
}

}  // namespace
}  // namespace mixed::host
