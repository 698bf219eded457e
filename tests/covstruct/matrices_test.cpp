#include "covstruct/matrices.h"

#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "covstruct/dense_util.h"
#include "host/packed.h"

namespace mixed::covstruct {
namespace {

using namespace covtest;
using host::tri;

// Every structure, at random parameters, under the identity and under level
// maps with skipped and unordered levels, equals the dense matrix written from
// its defining formula.
TEST(StructureMatrix, MatchesDefiningFormulaForEveryStructureAndLevelMap) {
  std::mt19937 rng(11);
  for (covstruct::CovType cov_type : all_types())
    for (const LevelCase& lc : level_cases())
      for (int draw = 0; draw < 3; ++draw) {
        SCOPED_TRACE(type_name(cov_type) + ", " + lc.name);
        const Vec theta = random_theta(cov_type, lc.levels, rng);
        const Vec got = sigma(lc.rows(), theta, lc.map, cov_type);
        const Vec want = pack(reference_sigma(cov_type, theta, lc.row_levels()));
        EXPECT_LT(rel_diff(got, want), 1e-14);
      }
}

TEST(StructureMatrix, OneLevelGivesTheSingleDiagonalElement) {
  EXPECT_EQ(sigma(1, {2.0, 0.3, 0.4}, {}, ARMA11)[0], 2.0);  // ARMA11: θ1
  EXPECT_EQ(sigma(1, {2.0, 0.5}, {}, CS)[0], 2.5);           // CS: θ1 + θ2
  EXPECT_EQ(sigma(1, {0.5, 3.0}, {}, FA1)[0], 9.5);          // FA1: θ2² + θ1
  EXPECT_EQ(sigma(1, {3.0}, {}, AD1)[0], 9.0);               // AD1: θ1²
}

TEST(StructureMatrix, ZeroCorrelationParameters) {
  // ARMA11 with ρ = 0: σ²φ next to the diagonal, 0 beyond.
  const Vec arma = sigma(4, {2.0, 0.0, 0.5}, {}, ARMA11);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < i; ++j) EXPECT_EQ(arma[tri(i, j)], i - j == 1 ? 1.0 : 0.0) << i << "," << j;
  // AR1 with ρ = 0 is σ² times the identity.
  const Vec ar1 = sigma(4, {2.0, 0.0}, {}, AR1);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j <= i; ++j) EXPECT_EQ(ar1[tri(i, j)], i == j ? 2.0 : 0.0);
}

TEST(StructureMatrix, AutoregressivePowersAgreeWithAndWithoutLevelMap) {
  // The running powers along a row are the integer powers of the level map,
  // bit for bit.
  const Vec theta = {1.7, -0.83};
  for (int n = 1; n <= 12; ++n) {
    std::vector<int> all(n);
    for (int i = 0; i < n; ++i) all[i] = i;
    EXPECT_EQ(sigma(n, theta, {}, AR1), sigma(n, theta, all, AR1)) << n;
  }
}

}  // namespace
}  // namespace mixed::covstruct
