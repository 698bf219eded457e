#include "host/cholesky.h"

#include <gtest/gtest.h>

#include <cfloat>

#include "host/kernel_util.h"

namespace mixed::host::testing {
namespace {

TEST(Cholesky, FactorInverseAndProductOfPositiveDefiniteMatrices) {
  for (Eigen::Index n : {1, 2, 3, 7, 30}) {
    const Eigen::MatrixXd a = random_spd(n, 11u + static_cast<unsigned>(n));
    const auto un = static_cast<std::size_t>(n);

    std::vector<double> l = pack(a);
    EXPECT_EQ(packed_cholesky(un, l, 1e-12), 0) << "no singular pivot, n=" << n;
    const Eigen::MatrixXd lower = unpack_lower(n, l);
    EXPECT_LT(relative_error(lower * lower.transpose(), a), 16 * DBL_EPSILON) << "A = L L', n=" << n;
    EXPECT_GT(lower.diagonal().minCoeff(), 0.0) << "positive diagonal of L, n=" << n;

    std::vector<double> m = l;
    invert_lower_triangular(un, m);
    EXPECT_LT(relative_error(unpack_lower(n, m) * lower, Eigen::MatrixXd::Identity(n, n)), 64 * DBL_EPSILON)
        << "L^-1 L = I, n=" << n;

    std::vector<double> g = pack(a);
    EXPECT_EQ(generalized_inverse(un, g, 1e-12), 0);
    EXPECT_LT(relative_error(unpack(n, g), a.inverse()), 64 * DBL_EPSILON) << "A^-1, n=" << n;
  }
}

// X'X for columns x0, 2 x0 (dependent), x2, x0 + x2 (dependent), x4: the
// pivots of columns 1 and 3 are singular.
TEST(Cholesky, GeneralizedInverseOfSingularMatrix) {
  const Eigen::MatrixXd base = random_matrix(9, 3, 5u);
  Eigen::MatrixXd x(9, 5);
  x.col(0) = base.col(0);
  x.col(1) = 2.0 * base.col(0);
  x.col(2) = base.col(1);
  x.col(3) = base.col(0) + base.col(1);
  x.col(4) = base.col(2);
  const Eigen::MatrixXd a = x.transpose() * x;

  std::vector<double> g = pack(a);
  EXPECT_EQ(generalized_inverse(5, g, 1e-10), 2) << "two singular pivots";
  const Eigen::MatrixXd ginv = unpack(5, g);
  EXPECT_LT(relative_error(a * ginv * a, a), 1e-12) << "A G A = A";
  for (int k : {1, 3}) {
    EXPECT_EQ(ginv.row(k).cwiseAbs().maxCoeff(), 0.0) << "zero row at singular pivot " << k;
    EXPECT_EQ(ginv.col(k).cwiseAbs().maxCoeff(), 0.0) << "zero column at singular pivot " << k;
  }
  // Over the non-singular pivots, G is the inverse of that submatrix.
  const std::vector<int> kept{0, 2, 4};
  Eigen::MatrixXd sub(3, 3), gsub(3, 3);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      sub(i, j) = a(kept[i], kept[j]);
      gsub(i, j) = ginv(kept[i], kept[j]);
    }
  EXPECT_LT(relative_error(gsub, sub.inverse()), 1e-12) << "inverse of the non-singular part";
}

TEST(Cholesky, SingularityIsJudgedRelativeToTheDiagonal) {
  // The pivot left for row 1 is 1e-14 against a diagonal of about 1.
  const std::vector<double> nearly{1.0, 1.0, 1.0 + 1e-14};
  std::vector<double> a = nearly;
  EXPECT_EQ(packed_cholesky(2, a, 1e-12), 1) << "1e-14 relative is singular at tol 1e-12";
  EXPECT_EQ(a[1], 0.0) << "row of a singular pivot zeroed";
  EXPECT_EQ(a[2], 0.0);
  a = nearly;
  EXPECT_EQ(packed_cholesky(2, a, 1e-15), 0) << "but not at tol 1e-15";

  // The same shape scaled by 1e-20: still singular, as the test is relative.
  a = {1e-20, 1e-20, 1e-20 * (1.0 + 1e-14)};
  EXPECT_EQ(packed_cholesky(2, a, 1e-12), 1);

  // An indefinite matrix has a negative pivot: singular.
  a = {1.0, 2.0, 1.0};
  EXPECT_EQ(packed_cholesky(2, a, 1e-12), 1);

  // The zero matrix: every pivot singular, the inverse is zero.
  a.assign(6, 0.0);
  EXPECT_EQ(generalized_inverse(3, a, 1e-12), 3);
  for (double v : a) EXPECT_EQ(v, 0.0);

  std::vector<double> empty;
  EXPECT_EQ(generalized_inverse(0, empty, 1e-12), 0) << "order 0";
}

}  // namespace
}  // namespace mixed::host::testing
