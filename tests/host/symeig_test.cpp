#include "host/symeig.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "host/kernel_util.h"

namespace mixed::host::testing {
namespace {

struct Decomposition {
  int status;
  Eigen::VectorXd d;
  Eigen::MatrixXd z;
};

Decomposition decompose(const Eigen::MatrixXd& a, int max_iterations = 100) {
  const auto n = static_cast<std::size_t>(a.rows());
  std::vector<double> d(n), z(n * n);
  const int status = symmetric_eigen(n, pack(a), d, z, 1e-12, max_iterations);
  Decomposition r{status, Eigen::VectorXd(a.rows()), Eigen::MatrixXd(a.rows(), a.rows())};
  for (std::size_t i = 0; i < n; ++i) {
    r.d(static_cast<Eigen::Index>(i)) = d[i];
    for (std::size_t m = 0; m < n; ++m) r.z(static_cast<Eigen::Index>(i), static_cast<Eigen::Index>(m)) = z[i * n + m];
  }
  return r;
}

// A = Z diag(d) Z', Z'Z = I, d ascending.
void expect_valid(const Eigen::MatrixXd& a, const Decomposition& e, const char* what) {
  const Eigen::Index n = a.rows();
  ASSERT_EQ(e.status, 0) << what;
  EXPECT_LT(relative_error(e.z * e.d.asDiagonal() * e.z.transpose(), a), 1e-12) << what << ": A = Z D Z'";
  EXPECT_LT(relative_error(e.z.transpose() * e.z, Eigen::MatrixXd::Identity(n, n)), 1e-12) << what << ": Z orthonormal";
  for (Eigen::Index m = 1; m < n; ++m) EXPECT_LE(e.d(m - 1), e.d(m)) << what << ": ascending";
}

TEST(SymmetricEigen, RandomMatricesMatchADenseSolver) {
  for (Eigen::Index n : {1, 2, 3, 5, 12, 40}) {
    const Eigen::MatrixXd m = random_matrix(n, n, 31u + static_cast<unsigned>(n));
    const Eigen::MatrixXd a = m + m.transpose();
    const Decomposition e = decompose(a);
    expect_valid(a, e, "random");
    const Eigen::VectorXd want = Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd>(a).eigenvalues();
    EXPECT_LT((e.d - want).cwiseAbs().maxCoeff(), 1e-12 * std::max(1.0, want.cwiseAbs().maxCoeff()))
        << "eigenvalues, n=" << n;
  }
}

TEST(SymmetricEigen, KnownSpectra) {
  // [[2, 1], [1, 2]]: eigenvalues 1 and 3 with vectors (1, -1)/sqrt 2 and (1, 1)/sqrt 2.
  Eigen::MatrixXd two(2, 2);
  two << 2, 1, 1, 2;
  const Decomposition e = decompose(two);
  expect_valid(two, e, "2x2");
  EXPECT_NEAR(e.d(0), 1.0, 1e-15);
  EXPECT_NEAR(e.d(1), 3.0, 1e-15);
  EXPECT_NEAR(std::fabs(e.z(0, 0)), std::numbers::sqrt2 / 2, 1e-15);
  EXPECT_NEAR(e.z(0, 0), -e.z(1, 0), 1e-15) << "first vector along (1, -1)";
  EXPECT_NEAR(e.z(0, 1), e.z(1, 1), 1e-15) << "second vector along (1, 1)";

  // The second-difference matrix tridiag(-1, 2, -1) of order 10 has
  // eigenvalues 2 - 2 cos(k pi / 11), k = 1..10.
  const Eigen::Index n = 10;
  Eigen::MatrixXd t = Eigen::MatrixXd::Zero(n, n);
  for (Eigen::Index i = 0; i < n; ++i) {
    t(i, i) = 2.0;
    if (i > 0) t(i, i - 1) = t(i - 1, i) = -1.0;
  }
  const Decomposition et = decompose(t);
  expect_valid(t, et, "second difference");
  for (Eigen::Index k = 1; k <= n; ++k)
    EXPECT_NEAR(et.d(k - 1), 2.0 - 2.0 * std::cos(static_cast<double>(k) * std::numbers::pi / 11.0), 1e-14)
        << "eigenvalue " << k;

  // A diagonal matrix with a repeated value needs no iteration at all.
  Eigen::MatrixXd diag = Eigen::Vector4d(3.0, -1.0, 3.0, 0.5).asDiagonal();
  const Decomposition ed = decompose(diag, 0);
  expect_valid(diag, ed, "diagonal");
  EXPECT_EQ(ed.d, Eigen::Vector4d(-1.0, 0.5, 3.0, 3.0));
}

TEST(SymmetricEigen, RankDeficientMatrices) {
  // L C L' with rows 0 and 1 of L equal: rank 2 of 3, the null vector is
  // (1, -1, 0)/sqrt 2.
  const Eigen::MatrixXd c = random_spd(5, 2u);
  Eigen::MatrixXd l = random_matrix(3, 5, 9u);
  l.row(1) = l.row(0);
  const Eigen::MatrixXd a = l * c * l.transpose();
  const Decomposition e = decompose(a);
  expect_valid(a, e, "duplicate row");
  const double norm = a.cwiseAbs().maxCoeff();
  EXPECT_LT(std::fabs(e.d(0)), 1e-14 * norm) << "one zero eigenvalue";
  EXPECT_GT(e.d(1), 1e-6 * norm) << "the others are not";
  EXPECT_NEAR(std::fabs(e.z(0, 0)), std::numbers::sqrt2 / 2, 1e-12);
  EXPECT_NEAR(e.z(0, 0), -e.z(1, 0), 1e-12);
  EXPECT_NEAR(e.z(2, 0), 0.0, 1e-12);

  // Rank one of order 6: five zero eigenvalues and v'v.
  const Eigen::VectorXd v = random_matrix(6, 1, 17u);
  const Eigen::MatrixXd outer = v * v.transpose();
  const Decomposition eo = decompose(outer);
  expect_valid(outer, eo, "rank one");
  for (Eigen::Index m = 0; m < 5; ++m) EXPECT_LT(std::fabs(eo.d(m)), 1e-14) << "zero eigenvalue " << m;
  EXPECT_NEAR(eo.d(5), v.squaredNorm(), 1e-14);

  const Decomposition ez = decompose(Eigen::MatrixXd::Zero(4, 4));
  expect_valid(Eigen::MatrixXd::Zero(4, 4), ez, "zero matrix");
  EXPECT_EQ(ez.d.cwiseAbs().maxCoeff(), 0.0);
}

TEST(SymmetricEigen, FailureIsReported) {
  Eigen::MatrixXd two(2, 2);
  two << 2, 1, 1, 2;
  EXPECT_EQ(decompose(two, 0).status, 1) << "no iteration allowed: eigenvalue 0 fails";

  Eigen::MatrixXd bad = two;
  bad(1, 0) = bad(0, 1) = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(decompose(bad).status, 3) << "a NaN in A gives n + 1";
  bad(1, 0) = bad(0, 1) = std::numeric_limits<double>::infinity();
  EXPECT_EQ(decompose(bad).status, 3) << "an infinity in A gives n + 1";

  std::vector<double> none;
  EXPECT_EQ(symmetric_eigen(0, none, none, none), 0) << "order 0";
}

}  // namespace
}  // namespace mixed::host::testing
