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
  for (int cov_type : all_types())
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
  EXPECT_EQ(sigma(1, {2.0, 0.3, 0.4}, {}, 1)[0], 2.0);   // ARMA11: θ1
  EXPECT_EQ(sigma(1, {2.0, 0.5}, {}, 5)[0], 2.5);        // CS: θ1 + θ2
  EXPECT_EQ(sigma(1, {0.5, 3.0}, {}, 9)[0], 9.5);        // FA1: θ2² + θ1
  EXPECT_EQ(sigma(1, {3.0}, {}, 2)[0], 9.0);             // AD1: θ1²
}

TEST(StructureMatrix, ZeroCorrelationParameters) {
  // ARMA11 with ρ = 0: σ²φ next to the diagonal, 0 beyond.
  const Vec arma = sigma(4, {2.0, 0.0, 0.5}, {}, 1);
  for (int i = 0; i < 4; ++i)
    for (int j = 0; j < i; ++j) EXPECT_EQ(arma[tri(i, j)], i - j == 1 ? 1.0 : 0.0) << i << "," << j;
  // AR1 with ρ = 0 is σ² times the identity.
  const Vec ar1 = sigma(4, {2.0, 0.0}, {}, 3);
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
    EXPECT_EQ(sigma(n, theta, {}, 3), sigma(n, theta, all, 3)) << n;
  }
}

TEST(StructureMatrix, SubjectAtLevelsOneThreeFourOfFour) {
  const std::vector<int> map = {0, 2, 3};
  // AR1: lags 2, 3 and 1 between rows (2,1), (3,1), (3,2).
  const Vec ar1 = sigma(3, {2.0, 0.5}, map, 3);
  EXPECT_EQ(ar1[tri(1, 0)], 2.0 * 0.25);
  EXPECT_EQ(ar1[tri(2, 0)], 2.0 * 0.125);
  EXPECT_EQ(ar1[tri(2, 1)], 2.0 * 0.5);
  EXPECT_EQ(ar1[tri(1, 1)], 2.0);
  // TP: θ3, θ4 and θ2 off the diagonal.
  const Vec tp = sigma(3, {2.0, 0.5, 0.25, 0.125}, map, 13);
  EXPECT_EQ(tp[tri(1, 0)], 2.0 * 0.25);
  EXPECT_EQ(tp[tri(2, 0)], 2.0 * 0.125);
  EXPECT_EQ(tp[tri(2, 1)], 2.0 * 0.5);
}

TEST(StructureMatrix, HuynhFeldtWithEqualVariances) {
  const Vec hf = sigma(3, {0.75, 2.0, 2.0, 2.0}, {}, 11);
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j <= i; ++j) EXPECT_EQ(hf[tri(i, j)], i == j ? 2.0 : 2.0 - 0.75);
}

TEST(StructureMatrix, UnstructuredAndUnstructuredCorrelations) {
  EXPECT_EQ(sigma(2, {4.0, 1.0, 9.0}, {}, 15), (Vec{4.0, 1.0, 9.0}));
  EXPECT_EQ(sigma(2, {4.0, 1.0, 9.0}, {}, 16), (Vec{16.0, 36.0, 81.0}));
  // UN at levels 3 and 1 of 3 picks U(3,3), U(3,1), U(1,1).
  EXPECT_EQ(sigma(2, {1, 2, 3, 4, 5, 6}, std::vector<int>{2, 0}, 15), (Vec{6.0, 4.0, 1.0}));
}

TEST(StructureMatrix, ParseOnlyAndUnknownCodesLeaveResultUntouched) {
  for (int cov_type : {0, 17, 20}) {
    Vec out(3, -7.0);
    structure_matrix(2, Vec{1.0, 1.0, 1.0}, {}, cov_type, out);
    EXPECT_EQ(out, Vec(3, -7.0)) << cov_type;
  }
}

}  // namespace
}  // namespace mixed::covstruct
