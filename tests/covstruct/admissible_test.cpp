#include "covstruct/admissible.h"

#include <random>

#include <gtest/gtest.h>

#include "covstruct/dense_util.h"

namespace mixed::covstruct {
namespace {

using covtest::Vec;
constexpr double kTol = 1e-12;
constexpr auto PD = Admissibility::PositiveDefinite;
constexpr auto PSD = Admissibility::Semidefinite;
constexpr auto BAD = Admissibility::Inadmissible;

Admissibility check(int n, int code, const Vec& theta) {
  return block_admissibility(n, covtest::type_code(code), theta, kTol);
}

TEST(BlockAdmissibility, RulesFromTheParameters) {
  EXPECT_EQ(check(4, 3, {1.0, 0.5}), PD);
  EXPECT_EQ(check(4, 3, {0.0, 0.5}), PSD);
  EXPECT_EQ(check(4, 3, {1.0, -1.0}), PSD);
  EXPECT_EQ(check(4, 3, {1.0, 1.2}), BAD);
  EXPECT_EQ(check(4, 3, {-1.0, 0.0}), BAD);
  // CS: θ1 > 0 and θ1 + n·θ2 > 0.
  EXPECT_EQ(check(3, 5, {1.0, 0.2}), PD);
  EXPECT_EQ(check(3, 5, {1.5, -0.5}), PSD);
  EXPECT_EQ(check(3, 5, {1.0, -0.5}), BAD);
  EXPECT_EQ(check(3, 5, {0.0, 1.0}), PSD);
  for (int diag : {8, 19}) {
    EXPECT_EQ(check(3, diag, {1.0, 2.0, 3.0}), PD);
    EXPECT_EQ(check(3, diag, {1.0, 0.0, 3.0}), PSD);
    EXPECT_EQ(check(3, diag, {1.0, 0.0, -3.0}), BAD);
  }
  for (int id : {12, 18}) {
    EXPECT_EQ(check(5, id, {0.1}), PD);
    EXPECT_EQ(check(5, id, {0.0}), PSD);
    EXPECT_EQ(check(5, id, {-0.1}), BAD);
  }
}

TEST(BlockAdmissibility, MatrixTest) {
  EXPECT_EQ(check(2, 15, {4.0, 1.0, 9.0}), PD);
  EXPECT_EQ(check(2, 15, {1.0, 1.0, 1.0}), PSD);       // singular
  EXPECT_EQ(check(2, 15, {1.0, 2.0, 1.0}), BAD);       // indefinite
  EXPECT_EQ(check(2, 15, {-1.0, 0.0, 1.0}), BAD);      // negative variance
  EXPECT_EQ(check(2, 16, {1.0, 1.5, 1.0}), BAD);       // correlation beyond 1
  EXPECT_EQ(check(3, 6, {-0.5, 1.0, 1.0, 1.0}), PSD);  // CSH at ρ = -1/(n-1)
  EXPECT_EQ(check(3, 6, {-0.6, 1.0, 1.0, 1.0}), BAD);
  EXPECT_EQ(check(2, 2, {1.0, 1.0, 2.0}), PSD);    // AD1 with ρ = 1
  EXPECT_EQ(check(2, 14, {-1.0, 0.5, 2.0}), BAD);  // TPH negative sd
  // HF: a negative variance is inadmissible at once; otherwise the matrix decides.
  EXPECT_EQ(check(2, 11, {0.0, -1.0, 1.0}), BAD);
  EXPECT_EQ(check(2, 11, {0.5, 1.0, 1.0}), PD);
  EXPECT_EQ(check(2, 11, {0.0, 1.0, 1.0}), PSD);  // off-diagonal 1 = diagonal
  EXPECT_EQ(check(2, 11, {-0.5, 1.0, 1.0}), BAD);
}

TEST(BlockAdmissibility, RandomAdmissibleParametersArePositiveDefinite) {
  std::mt19937 rng(4);
  for (covstruct::CovType cov_type : covtest::all_types())
    for (int draw = 0; draw < 5; ++draw)
      EXPECT_EQ(check(4, static_cast<int>(cov_type), covtest::random_theta(cov_type, 4, rng)), PD)
          << covtest::type_name(cov_type);
}

}  // namespace
}  // namespace mixed::covstruct
