#include "covstruct/derivatives.h"

#include <random>

#include <gtest/gtest.h>

#include "covstruct/catalogue.h"
#include "covstruct/dense_util.h"
#include "host/packed.h"

namespace mixed::covstruct {
namespace {

using namespace covtest;
using host::tri;
using host::tri_size;

Vec dr1(int n, const Vec& theta, int k, std::span<const int> map, covstruct::CovType cov_type) {
  Vec out(tri_size(n), -99.0);
  structure_first_derivative(n, theta, k, map, cov_type, out);
  return out;
}

Vec dr2(int n, const Vec& theta, int k, int l, std::span<const int> map, covstruct::CovType cov_type) {
  Vec out(tri_size(n), -99.0);
  structure_second_derivative(n, theta, k, l, map, cov_type, out);
  return out;
}

// For every structure at several random admissible points, with and without
// level maps: ∂Σ/∂θ_k against central differences of Σ, ∂²Σ/∂θ_k∂θ_l against
// central differences of ∂Σ/∂θ_k, and the second derivative symmetric in k, l.
TEST(StructureDerivatives, MatchCentralDifferencesForEveryStructure) {
  std::mt19937 rng(5);
  for (covstruct::CovType cov_type : all_types())
    for (const LevelCase& lc : level_cases())
      for (int draw = 0; draw < 3; ++draw) {
        const Vec theta = random_theta(cov_type, lc.levels, rng);
        const int n = lc.rows(), m = static_cast<int>(theta.size());
        for (int k = 0; k < m; ++k) {
          SCOPED_TRACE(type_name(cov_type) + ", " + lc.name + ", k = " + std::to_string(k));
          const Vec fd1 = central_difference(theta, k, [&](const Vec& t) { return sigma(n, t, lc.map, cov_type); });
          EXPECT_LT(rel_diff(dr1(n, theta, k, lc.map, cov_type), fd1), 1e-6);
          for (int l = 0; l < m; ++l) {
            SCOPED_TRACE("l = " + std::to_string(l));
            const Vec fd2 = central_difference(theta, l, [&](const Vec& t) { return dr1(n, t, k, lc.map, cov_type); });
            const Vec kl = dr2(n, theta, k, l, lc.map, cov_type);
            EXPECT_LT(rel_diff(kl, fd2), 1e-6);
            EXPECT_EQ(kl, dr2(n, theta, l, k, lc.map, cov_type));
          }
        }
      }
}

// A map picks rows of the full matrix: the derivatives of a subject's matrix
// are those of all levels, restricted to the subject's levels.
TEST(StructureDerivatives, LevelMapRestrictsTheFullDerivatives) {
  std::mt19937 rng(8);
  const LevelCase& lc = level_cases()[2];
  const std::vector<int> rows = lc.row_levels();
  const int n = lc.rows();
  for (covstruct::CovType cov_type : all_types()) {
    const Vec theta = random_theta(cov_type, lc.levels, rng);
    for (int k = 0; k < static_cast<int>(theta.size()); ++k) {
      SCOPED_TRACE(type_name(cov_type) + ", k = " + std::to_string(k));
      const Eigen::MatrixXd full = unpack(lc.levels, dr1(lc.levels, theta, k, {}, cov_type));
      const Vec sub = dr1(n, theta, k, lc.map, cov_type);
      for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) EXPECT_NEAR(sub[tri(i, j)], full(rows[i], rows[j]), 1e-14);
    }
  }
}

// Structures linear in their parameters: Σ = Σ_k θ_k ∂Σ/∂θ_k, and every
// second derivative is zero.
TEST(StructureDerivatives, LinearStructuresAreTheSumOfTheirDerivatives) {
  std::mt19937 rng(3);
  for (covstruct::CovType cov_type : {CS, DIAG, HF, ID, UN, VC, VC_REPEATED})
    for (const LevelCase& lc : level_cases()) {
      SCOPED_TRACE(type_name(cov_type) + ", " + lc.name);
      const Vec theta = random_theta(cov_type, lc.levels, rng);
      const int n = lc.rows(), m = static_cast<int>(theta.size());
      Vec sum(tri_size(n), 0.0);
      for (int k = 0; k < m; ++k) {
        const Vec d = dr1(n, theta, k, lc.map, cov_type);
        for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += theta[k] * d[i];
        for (int l = 0; l < m; ++l) EXPECT_EQ(dr2(n, theta, k, l, lc.map, cov_type), Vec(tri_size(n), 0.0));
      }
      EXPECT_LT(rel_diff(sum, sigma(n, theta, lc.map, cov_type)), 1e-14);
    }
}

}  // namespace
}  // namespace mixed::covstruct
