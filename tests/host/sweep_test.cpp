#include "host/sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "host/kernel_util.h"

namespace mixed::host::testing {
namespace {

constexpr double tight = 1e-12;

TEST(Sweep, LeadingPivotsGiveInverseSolutionAndSchurComplement) {
  const Eigen::MatrixXd a = random_spd(7, 3u);
  const Eigen::MatrixXd a11 = a.topLeftCorner(4, 4);
  const Eigen::MatrixXd a12 = a.topRightCorner(4, 3);
  const Eigen::MatrixXd a22 = a.bottomRightCorner(3, 3);
  const Eigen::MatrixXd a11inv = a11.inverse();

  std::vector<double> s = pack(a);
  BitSet swept(7);
  for (std::size_t k = 0; k < 4; ++k) EXPECT_TRUE(sweep_or_reverse(7, s, k, swept)) << "pivot " << k;
  const Eigen::MatrixXd r = unpack(7, s);
  EXPECT_LT(relative_error(r.topLeftCorner(4, 4), -a11inv), tight) << "-A11^-1";
  EXPECT_LT(relative_error(r.topRightCorner(4, 3), a11inv * a12), tight) << "A11^-1 A12";
  EXPECT_LT(relative_error(r.bottomRightCorner(3, 3), a22 - a12.transpose() * a11inv * a12), tight)
      << "A22 - A21 A11^-1 A12";
  EXPECT_EQ(swept.count(), 4u);
  EXPECT_TRUE(swept.test(3) && !swept.test(4));

  // The remaining pivots complete -A^-1; the order of the sweeps is immaterial.
  for (std::size_t k = 4; k < 7; ++k) sweep_or_reverse(7, s, k, swept);
  EXPECT_LT(relative_error(unpack(7, s), -a.inverse()), tight) << "-A^-1";
  std::vector<double> shuffled = pack(a);
  BitSet other(7);
  for (std::size_t k : {5, 2, 6, 0, 3, 1, 4}) sweep_or_reverse(7, shuffled, k, other);
  EXPECT_LT(relative_error(unpack(7, shuffled), unpack(7, s)), tight) << "sweeps commute";
}

// Sweeping the X columns of [X y]'[X y] is least squares: beta in the y row,
// the residual sum of squares in its diagonal.
TEST(Sweep, CrossProductsOfXAndYGiveLeastSquares) {
  const Eigen::MatrixXd xy = random_matrix(20, 4, 8u);
  const Eigen::MatrixXd x = xy.leftCols(3);
  const Eigen::VectorXd y = xy.col(3);
  const Eigen::VectorXd beta = x.colPivHouseholderQr().solve(y);
  const double rss = (y - x * beta).squaredNorm();

  std::vector<double> s = pack(xy.transpose() * xy);
  const std::vector<double> before = s;
  BitSet swept(4);
  for (std::size_t k = 0; k < 3; ++k) sweep_or_reverse(4, s, k, swept);
  for (std::size_t j = 0; j < 3; ++j) EXPECT_NEAR(s[tri(3, j)], beta(j), tight) << "beta " << j;
  EXPECT_NEAR(s[tri(3, 3)], rss, tight * rss) << "residual sum of squares";
  // Just after pivot 0 is swept its diagonal is -1/a_00.
  std::vector<double> one = before;
  BitSet first(4);
  sweep_or_reverse(4, one, 0, first);
  EXPECT_DOUBLE_EQ(one[0], -1.0 / before[0]);
}

TEST(Sweep, SweepingAgainRestoresTheMatrix) {
  const Eigen::MatrixXd a = random_spd(6, 21u);
  const std::vector<double> original = pack(a);
  std::vector<double> s = original;
  BitSet swept(6);
  for (std::size_t k : {0, 2, 3, 5}) sweep_or_reverse(6, s, k, swept);

  // Undoing pivot 2 alone leaves the sweep of {0, 3, 5}.
  std::vector<double> direct = original;
  BitSet direct_set(6);
  for (std::size_t k : {0, 3, 5}) sweep_or_reverse(6, direct, k, direct_set);
  EXPECT_TRUE(sweep_or_reverse(6, s, 2, swept)) << "reverse sweep made";
  EXPECT_EQ(swept, direct_set) << "bit of pivot 2 cleared";
  EXPECT_LT(relative_error(unpack(6, s), unpack(6, direct)), tight) << "partial undo";

  // sweep_if_tolerant undoes the rest whatever the tolerance.
  std::vector<double> d(6, 1.0);
  for (std::size_t k : {5, 0, 3}) EXPECT_TRUE(sweep_if_tolerant(6, k, s, d, swept, 1e300));
  EXPECT_EQ(swept.count(), 0u);
  EXPECT_LT(relative_error(unpack(6, s), a), tight) << "matrix restored";
}

TEST(Sweep, ToleranceRefusesDependentAndSmallPivots) {
  // Columns x0, x1, x0 + x1, x3: pivot 2 is left with a rounding residue.
  const Eigen::MatrixXd base = random_matrix(10, 3, 4u);
  Eigen::MatrixXd x(10, 4);
  x << base.col(0), base.col(1), base.col(0) + base.col(1), base.col(2);
  std::vector<double> s = pack(x.transpose() * x);
  std::vector<double> d(4);
  sweep_scale_vector(4, s, d);
  BitSet swept(4);
  EXPECT_TRUE(sweep_if_tolerant(4, 0, s, d, swept, 1e-12));
  EXPECT_TRUE(sweep_if_tolerant(4, 1, s, d, swept, 1e-12));
  const std::vector<double> before = s;
  EXPECT_FALSE(sweep_if_tolerant(4, 2, s, d, swept, 1e-12)) << "dependent column refused";
  EXPECT_EQ(s, before) << "a refused pivot leaves the matrix alone";
  EXPECT_FALSE(swept.test(2));
  EXPECT_TRUE(sweep_if_tolerant(4, 3, s, d, swept, 1e-12)) << "independent column after it";

  // After pivot 0 of [[1, .5], [.5, .25 + 1e-6]] the pivot left is 1e-6.
  const std::vector<double> small{1.0, 0.5, 0.25 + 1e-6};
  for (double tol : {1e-5, 1e-7}) {
    std::vector<double> a = small;
    std::vector<double> scale(2);
    sweep_scale_vector(2, a, scale);
    BitSet set(2);
    sweep_if_tolerant(2, 0, a, scale, set, tol);
    EXPECT_EQ(sweep_if_tolerant(2, 1, a, scale, set, tol), tol < 1e-6) << "tol " << tol;
  }

  // With a large diagonal the test is relative to d_k = a_kk: the pivot left
  // is 99 against d = 100.
  for (double tol : {0.995, 0.98}) {
    std::vector<double> a{1.0, 1.0, 100.0};
    std::vector<double> scale(2);
    sweep_scale_vector(2, a, scale);
    BitSet set(2);
    sweep_if_tolerant(2, 0, a, scale, set, tol);
    EXPECT_EQ(sweep_if_tolerant(2, 1, a, scale, set, tol), tol < 0.99) << "tol " << tol;
  }

  // A negative pivot is never swept by sweep_if_tolerant; sweep_or_reverse skips only an exact 0.
  std::vector<double> indefinite{-1.0, 0.0, 0.0};
  std::vector<double> unit{1.0, 1.0};
  BitSet set(2);
  EXPECT_FALSE(sweep_if_tolerant(2, 0, indefinite, unit, set, 1e-12));
  EXPECT_FALSE(sweep_or_reverse(2, indefinite, 1, set)) << "zero pivot";
  EXPECT_TRUE(sweep_or_reverse(2, indefinite, 0, set)) << "negative pivot, unconditional sweep";
  EXPECT_EQ(indefinite[0], 1.0);
}

TEST(Sweep, ScaleVectorIsDiagonalFloredAtOne) {
  const std::vector<double> a{0.5, 9.0, 3.0, 9.0, 9.0, 0.0, 9.0, 9.0, 9.0, 1.0};
  std::vector<double> d(4);
  sweep_scale_vector(4, a, d);
  EXPECT_EQ(d, (std::vector<double>{1.0, 3.0, 1.0, 1.0}));
}

}  // namespace
}  // namespace mixed::host::testing
