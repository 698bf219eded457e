// Packed products, vector kernels and the fuzzy whole-number tests.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <vector>

#include "host/dataset.h"
#include "host/fuzzy.h"
#include "host/kernel_util.h"
#include "host/packed_ops.h"
#include "host/vectors.h"

namespace mixed::host::testing {
namespace {

std::vector<double> to_vector(const Eigen::VectorXd& v) { return {v.data(), v.data() + v.size()}; }

TEST(PackedOps, ProductsAgreeWithDenseAlgebra) {
  const Eigen::MatrixXd m = random_matrix(6, 6, 1u);
  const Eigen::MatrixXd a = m + m.transpose();
  const std::vector<double> ap = pack(a);
  const Eigen::VectorXd x = random_matrix(6, 1, 2u);
  const Eigen::VectorXd w = random_matrix(6, 1, 3u);
  const std::vector<double> xv = to_vector(x), wv = to_vector(w);

  std::vector<double> y(6, 99.0);
  packed_multiply(6, ap, xv, y);
  for (int i = 0; i < 6; ++i) EXPECT_NEAR(y[i], (a * x)(i), 1e-14) << "A x, entry " << i;
  EXPECT_NEAR(packed_quadratic_form(6, xv, ap), x.dot(a * x), 1e-14) << "x'Ax";
  EXPECT_NEAR(packed_bilinear_form(6, xv, ap, wv), x.dot(a * w), 1e-14) << "x'Aw";
  EXPECT_NEAR(packed_bilinear_form(6, xv, ap, wv), packed_bilinear_form(6, wv, ap, xv), 1e-14) << "symmetric form";

  // L C L' for L 3 x 6, including a q of 1.
  const Eigen::MatrixXd l = random_matrix(3, 6, 4u);
  std::vector<double> lrow(18);
  Eigen::Map<Eigen::Matrix<double, 3, 6, Eigen::RowMajor>>(lrow.data()) = l;
  std::vector<double> s(6);
  packed_sandwich(3, 6, lrow, ap, s);
  EXPECT_LT(relative_error(unpack(3, s), l * a * l.transpose()), 1e-14) << "L C L'";
  std::vector<double> s1(1);
  packed_sandwich(1, 6, lrow, ap, s1);
  EXPECT_NEAR(s1[0], s[0], 1e-14) << "one row";

  // A += s x x'.
  std::vector<double> updated = ap;
  packed_rank_one_update(updated, -0.75, xv);
  EXPECT_LT(relative_error(unpack(6, updated), a - 0.75 * x * x.transpose()), 1e-15) << "A + s x x'";

  std::vector<double> ym(3);
  dense_multiply(3, 6, lrow, xv, ym);
  for (int i = 0; i < 3; ++i) EXPECT_NEAR(ym[i], (l * x)(i), 1e-14) << "M x, entry " << i;

  std::vector<double> id(9, 7.0);
  set_scaled_identity(3, id, 2.5);
  EXPECT_EQ(id, (std::vector<double>{2.5, 0, 0, 0, 2.5, 0, 0, 0, 2.5}));
}

TEST(PackedOps, PlaceToRowAndColumn) {
  // Every place of a triangle of order 2000 maps back to itself.
  std::size_t k = 0;
  for (std::size_t i = 0; i < 2000; ++i)
    for (std::size_t j = 0; j <= i; ++j, ++k) {
      const PackedPlace p = packed_place_of(k);
      ASSERT_TRUE(p.row == i && p.col == j) << "place " << k;
    }
  // Far beyond, where the square root is inexact.
  const std::size_t row = 94906265;
  EXPECT_EQ(packed_place_of(tri(row, 0)).row, row);
  EXPECT_EQ(packed_place_of(tri(row, row)).col, row);
  EXPECT_EQ(packed_place_of(tri(row + 1, 0) - 1).row, row);
}

TEST(Vectors, BlasLevelOne) {
  EXPECT_DOUBLE_EQ(euclidean_norm(std::vector<double>{3e200, 4e200}), 5e200) << "no overflow";
  EXPECT_DOUBLE_EQ(euclidean_norm(std::vector<double>{3e-200, -4e-200}), 5e-200) << "no underflow";
  EXPECT_EQ(euclidean_norm(std::vector<double>{0, 0}), 0.0);
  EXPECT_EQ(euclidean_norm(std::vector<double>{}), 0.0);
}

TEST(Vectors, CleanNegligibleEntries) {
  // Threshold 10 eps * 4.
  std::vector<double> x{4.0, 30 * DBL_EPSILON, -41 * DBL_EPSILON, -4.0, 0.5};
  clean_negligible(x, 10.0);
  EXPECT_EQ(x, (std::vector<double>{4.0, 0.0, -41 * DBL_EPSILON, -4.0, 0.5}));
  std::vector<double> zero{0.0, 0.0};
  clean_negligible(zero, 1e4);
  EXPECT_EQ(zero, (std::vector<double>{0.0, 0.0}));
}

TEST(Vectors, ProvisionalMeansEqualTwoPassStatistics) {
  const std::vector<std::vector<double>> cases{{1.0, 10.0}, {4.0, -2.0}, {2.5, 3.0}, {-1.0, 0.0}};
  const std::vector<double> weights{2.0, 0.5, 1.0, 3.0};
  double wsum = 0.0, wsum2 = 0.0;
  std::vector<double> mean(2, 0.0), mean2(2, 0.0), ssq(2, 0.0);
  for (std::size_t c = 0; c < cases.size(); ++c) {
    accumulate_mean(cases[c], weights[c], wsum, mean);
    accumulate_mean_and_squares(cases[c], weights[c], wsum2, mean2, ssq);
  }
  accumulate_mean(cases[0], 0.0, wsum, mean);  // a zero weight changes nothing
  EXPECT_EQ(wsum, 6.5);
  for (std::size_t i = 0; i < 2; ++i) {
    double sw = 0, swx = 0;
    for (std::size_t c = 0; c < cases.size(); ++c) {
      sw += weights[c];
      swx += weights[c] * cases[c][i];
    }
    const double want_mean = swx / sw;
    double want_ssq = 0;
    for (std::size_t c = 0; c < cases.size(); ++c)
      want_ssq += weights[c] * (cases[c][i] - want_mean) * (cases[c][i] - want_mean);
    EXPECT_NEAR(mean[i], want_mean, 1e-15) << "weighted mean " << i;
    EXPECT_NEAR(mean2[i], want_mean, 1e-15) << "accumulate_mean_and_squares mean " << i;
    EXPECT_NEAR(ssq[i], want_ssq, 1e-13) << "weighted sum of squared deviations " << i;
  }
}

TEST(Vectors, ExtractMembersOfASet) {
  const std::vector<double> x{10, 11, 12, 13, 14, 15};
  BitSet set(3);
  set.set(0);
  set.set(2);
  std::vector<double> out(3, -1.0);
  EXPECT_EQ(extract_members(x, set, out), 2u);
  EXPECT_EQ(out, (std::vector<double>{10, 12, -1}));
  EXPECT_EQ(extract_members(x, set, out, 2), 2u) << "stride 2: entries 0 and 4";
  EXPECT_EQ(out, (std::vector<double>{10, 14, -1}));
  EXPECT_EQ(extract_members(x, BitSet(6), out), 0u);
}

TEST(Fuzzy, WholeNumbersRoundingAndDecimals) {
  EXPECT_TRUE(is_fuzzy_whole(12.0));
  EXPECT_TRUE(is_fuzzy_whole(12.0 + 1e-10)) << "12 up to rounding";
  EXPECT_TRUE(is_fuzzy_whole(-3.0 - 1e-9));
  EXPECT_TRUE(is_fuzzy_whole(0.1 + 0.2 - 0.3));
  EXPECT_FALSE(is_fuzzy_whole(11.99));
  EXPECT_FALSE(is_fuzzy_whole(12.0 + 1e-6));
  EXPECT_TRUE(is_fuzzy_whole(1e6 + 1e-3)) << "the fuzz is relative";
  EXPECT_FALSE(is_fuzzy_whole(SYSMIS));
  EXPECT_FALSE(is_fuzzy_whole(INFINITY));

  EXPECT_EQ(fuzzy_round(2.999999999999), 3.0);
  EXPECT_EQ(fuzzy_round(2.5), 2.5);
  EXPECT_TRUE(is_sysmis(fuzzy_round(SYSMIS)));

  EXPECT_EQ(truncate_toward_zero(2.7), 2.0);
  EXPECT_EQ(truncate_toward_zero(-2.7), -2.0) << "toward zero";

  EXPECT_EQ(decimals_needed(1e-6), 6);
  EXPECT_EQ(decimals_needed(0.00015), 5);
  EXPECT_EQ(decimals_needed(1.0), 0);
  EXPECT_EQ(decimals_needed(250.0), 0);
  EXPECT_EQ(decimals_needed(-0.125), 3);
  EXPECT_EQ(decimals_needed(1e-12), 12);
  EXPECT_EQ(decimals_needed(1.23456789012), 11);
  EXPECT_EQ(decimals_needed(0.0), 0);
  EXPECT_EQ(decimals_needed(1.0 / 3.0), 16) << "capped";
  EXPECT_EQ(decimals_needed(1e-20), 16) << "capped";
}

}  // namespace
}  // namespace mixed::host::testing
