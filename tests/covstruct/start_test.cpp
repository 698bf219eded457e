#include "covstruct/start.h"

#include <cmath>

#include <gtest/gtest.h>

#include "covstruct/admissible.h"
#include "covstruct/catalogue.h"
#include "covstruct/dense_util.h"

namespace mixed::covstruct {
namespace {

using covtest::Vec;

TEST(StartParameters, StartFromTheResidualVariance) {
  const double s0 = 4.0;
  // All but ARMA11 and the factor-analytic structures start at s0·I.
  for (covstruct::CovType cov_type : covtest::all_types())
    for (int n = 1; n <= 4; ++n) {
      SCOPED_TRACE(covtest::type_name(cov_type) + ", n = " + std::to_string(n));
      Vec theta(parameter_count(n, cov_type), -1.0);
      start_parameters(n, cov_type, s0, theta);
      EXPECT_NE(block_admissibility(n, cov_type, theta, 1e-12), Admissibility::Inadmissible);
      if (cov_type == ARMA11 || cov_type == FA1 || cov_type == FAH1) continue;
      const Vec s = covtest::sigma(n, theta, {}, cov_type);
      EXPECT_EQ(s, covtest::pack(s0 * Eigen::MatrixXd::Identity(n, n)));
    }
  auto start = [&](int n, covstruct::CovType cov_type) {
    Vec theta(parameter_count(n, cov_type), -1.0);
    start_parameters(n, cov_type, s0, theta);
    return theta;
  };
  EXPECT_EQ(start(3, ARMA11), (Vec{4.0, 0.5, 0.5}));
  EXPECT_EQ(start(3, FA1), (Vec{2.0, std::sqrt(2.0), 0.0, 0.0}));
  EXPECT_EQ(start(1, FA1), (Vec{2.0, 0.0}));
  EXPECT_EQ(start(2, FAH1), (Vec{std::sqrt(2.0), 2.0, 0.0, 2.0}));
}

}  // namespace
}  // namespace mixed::covstruct
