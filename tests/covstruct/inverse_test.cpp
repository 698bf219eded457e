#include "covstruct/inverse.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "covstruct/dense_util.h"
#include "covstruct/derivatives.h"
#include "covstruct/matrices.h"
#include "covstruct/products.h"
#include "host/packed.h"

namespace mixed::covstruct {
namespace {

using namespace covtest;
using host::tri;
using host::tri_size;

Vec p_matrix(int n, const Vec& theta, int k, std::span<const int> map, covstruct::CovType cov_type) {
  const Vec a = inverse(n, theta, map, cov_type);
  Vec sk(tri_size(n)), p(tri_size(n), -99.0);
  structure_first_derivative(n, theta, k, map, cov_type, sk);
  inverse_first_derivative(n, theta, k, a, sk, map, cov_type, p);
  return p;
}

Vec q_matrix(int n, const Vec& theta, int k, int l, std::span<const int> map, covstruct::CovType cov_type) {
  const Vec s = sigma(n, theta, map, cov_type);
  const Vec a = inverse(n, theta, map, cov_type);
  Vec skl(tri_size(n)), q(tri_size(n), -99.0);
  structure_second_derivative(n, theta, k, l, map, cov_type, skl);
  inverse_second_derivative(n, theta, k, l, s, a, skl, p_matrix(n, theta, k, map, cov_type),
                            p_matrix(n, theta, l, map, cov_type), map, cov_type, q);
  return q;
}

// A·Σ = I and log det Σ equal to a dense factorisation, and the Cholesky
// factor reproduces Σ, for every structure and level map.
TEST(StructureInverse, InverseLogDeterminantAndFactorForEveryStructure) {
  std::mt19937 rng(21);
  for (covstruct::CovType cov_type : all_types())
    for (const LevelCase& lc : level_cases())
      for (int draw = 0; draw < 3; ++draw) {
        SCOPED_TRACE(type_name(cov_type) + ", " + lc.name);
        const Vec theta = random_theta(cov_type, lc.levels, rng);
        const int n = lc.rows();
        const Vec s = sigma(n, theta, lc.map, cov_type);
        double logdet = 0.0;
        const Eigen::MatrixXd a = unpack(n, inverse(n, theta, lc.map, cov_type, &logdet));
        const Eigen::MatrixXd dense = unpack(n, s);
        EXPECT_LT((a * dense - Eigen::MatrixXd::Identity(n, n)).cwiseAbs().maxCoeff(), 1e-12);
        const Eigen::LLT<Eigen::MatrixXd> llt(dense);
        const double want = 2.0 * llt.matrixL().toDenseMatrix().diagonal().array().log().sum();
        EXPECT_NEAR(logdet, want, 1e-12 * std::max(1.0, std::fabs(want)));
        if (lc.map.empty()) {
          Vec l(tri_size(n));
          structure_factor(n, theta, s, cov_type, l);
          Eigen::MatrixXd lower = unpack(n, l).triangularView<Eigen::Lower>();
          EXPECT_LT((lower * lower.transpose() - dense).cwiseAbs().maxCoeff(), 1e-12);
        }
      }
}

// P_k = -∂A/∂θ_k and Q_kl = -∂²A/∂θ_k∂θ_l = ∂P_l/∂θ_k, against central
// differences, for every structure and level map.
TEST(StructureInverse, InverseDerivativesMatchCentralDifferences) {
  std::mt19937 rng(34);
  for (covstruct::CovType cov_type : all_types())
    for (const LevelCase& lc : level_cases())
      for (int draw = 0; draw < 2; ++draw) {
        const Vec theta = random_theta(cov_type, lc.levels, rng);
        const int n = lc.rows(), m = static_cast<int>(theta.size());
        for (int k = 0; k < m; ++k) {
          SCOPED_TRACE(type_name(cov_type) + ", " + lc.name + ", k = " + std::to_string(k));
          Vec fd = central_difference(theta, k, [&](const Vec& t) { return inverse(n, t, lc.map, cov_type); });
          for (double& v : fd) v = -v;
          EXPECT_LT(rel_diff(p_matrix(n, theta, k, lc.map, cov_type), fd), 1e-6);
          for (int l = 0; l <= k; ++l) {
            SCOPED_TRACE("l = " + std::to_string(l));
            const Vec fd2 =
                central_difference(theta, k, [&](const Vec& t) { return p_matrix(n, t, l, lc.map, cov_type); });
            EXPECT_LT(rel_diff(q_matrix(n, theta, k, l, lc.map, cov_type), fd2), 1e-6);
          }
        }
      }
}

TEST(StructureInverse, ZeroVariancesAreLeftOut) {
  // VC with θ1 = 0: A = 0 and log det 0.
  double logdet = -1.0;
  EXPECT_EQ(inverse(3, {0.0}, {}, VC, &logdet), Vec(6, 0.0));
  EXPECT_EQ(logdet, 0.0);
  // DIAG with a zero variance: 0 in its place, its row left out of log det.
  const Vec a = inverse(3, {2.0, 0.0, 4.0}, {}, DIAG, &logdet);
  EXPECT_EQ(a, (Vec{0.5, 0, 0, 0, 0, 0.25}));
  EXPECT_DOUBLE_EQ(logdet, std::log(8.0));
  // The factor of a DIAG block takes the parameters in order.
  Vec l(6);
  structure_factor(3, Vec{4.0, 0.0, 9.0}, Vec(6, 0.0), DIAG, l);
  EXPECT_EQ(l, (Vec{2, 0, 0, 0, 0, 3}));
}

TEST(PackedProducts, SandwichAccumulatesXYX) {
  std::mt19937 rng(2);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const int n = 5;
  Vec x(tri_size(n)), y(tri_size(n), 0.0), out(tri_size(n));
  for (double& v : x) v = u(rng);
  for (double& v : out) v = u(rng);
  y[tri(3, 1)] = 2.0;  // a derivative living in one row and column
  y[tri(3, 3)] = -1.0;
  const Eigen::MatrixXd X = unpack(n, x), Y = unpack(n, y);
  const Vec want = pack(unpack(n, out) + X * Y * X);
  sandwich(n, x, y, out);
  EXPECT_LT(rel_diff(out, want), 1e-14);
  EXPECT_NEAR(trace_product(n, x, y), (X * Y).trace(), 1e-14);
  EXPECT_NEAR(row_sum(n, x, 2), X.row(2).sum(), 1e-14);
}

}  // namespace
}  // namespace mixed::covstruct
