// The Satterthwaite approximation: the gradient of a contrast's variance
// against central differences of the dense model, the df of one and of
// several rows against a direct computation, and the rules that combine the
// per-direction df.
#include "inference/satterthwaite.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/dataset.h"
#include "inference/dense_model_util.h"

namespace mixed::inference {
namespace {

using Eigen::MatrixXd;
using Eigen::VectorXd;
using test::DenseModel;

std::vector<double> as_vector(const VectorXd& v) { return {v.data(), v.data() + v.size()}; }

void expect_close(const std::vector<double>& got, const VectorXd& want, double tol, const char* what) {
  ASSERT_EQ(got.size(), static_cast<std::size_t>(want.size())) << what;
  const double scale = std::max(1.0, want.cwiseAbs().maxCoeff());
  for (int k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k], want(k), tol * scale) << what << ", parameter " << k;
}

TEST(Satterthwaite, GradientOfFixedContrastMatchesCentralDifferences) {
  DenseModel model;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  const VectorXd theta = test::test_theta();
  model.fill(cmd, group, est, theta, test::test_W());
  for (const VectorXd& l :
       std::vector<VectorXd>{VectorXd::Unit(2, 0), VectorXd::Unit(2, 1), VectorXd::Constant(2, 0.7)}) {
    const VectorXd want = test::gradient(theta, [&](const VectorXd& t) { return l.dot(model.C(t) * l); });
    expect_close(variance_gradient(group, est, as_vector(l), {}), want, 1e-7, "d(l'Cl)/dθ of a fixed contrast");
  }
}

TEST(Satterthwaite, GradientWithRandomCoefficientsMatchesFullEquations) {
  DenseModel model;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  const VectorXd theta = test::test_theta();
  model.fill(cmd, group, est, theta, test::test_W());
  VectorXd lf(2), lr(2);
  lf << 1.0, 0.5;
  lr << 0.3, -1.2;
  const VectorXd want = test::gradient(theta, [&](const VectorXd& t) { return model.pev(t, lf, lr); });
  expect_close(variance_gradient(group, est, as_vector(lf), as_vector(lr)), want, 1e-7,
               "d(prediction-error variance)/dθ, fixed and random coefficients");
  const VectorXd zero = VectorXd::Zero(2);
  const VectorXd want_r = test::gradient(theta, [&](const VectorXd& t) { return model.pev(t, zero, lr); });
  expect_close(variance_gradient(group, est, as_vector(zero), as_vector(lr)), want_r, 1e-7,
               "d(prediction-error variance)/dθ, random coefficients only");
}

TEST(Satterthwaite, OneRowDfIsTwiceSquaredVarianceOverGWG) {
  DenseModel model;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  const VectorXd theta = test::test_theta();
  const MatrixXd W = test::test_W();
  model.fill(cmd, group, est, theta, W);
  const VectorXd l = VectorXd::Unit(2, 1);
  const double var = model.C(theta)(1, 1);
  const VectorXd g = test::gradient(theta, [&](const VectorXd& t) { return model.C(t)(1, 1); });
  const double want = 2.0 * var * var / g.dot(W * g);
  const double one = 1.0;
  EXPECT_NEAR(satterthwaite_df(group, est, 1, 1, false, as_vector(l), {&var, 1}, {&one, 1}), want, 1e-6 * want)
      << "df of a single parameter = 2 C_kk^2 / g'Wg";
  // A zero eigenvalue is skipped; one row then has no df.
  const double zero = 0.0;
  EXPECT_TRUE(host::is_sysmis(satterthwaite_df(group, est, 1, 1, false, as_vector(l), {&zero, 1}, {&one, 1})))
      << "a direction without variance gives no df";
  // A W that is not positive in the direction of g gives no df.
  model::Command flat_cmd;
  data::GroupData flat_group;
  estimate::Estimates flat_est;
  model.fill(flat_cmd, flat_group, flat_est, theta, MatrixXd::Zero(DenseModel::ntheta, DenseModel::ntheta));
  EXPECT_TRUE(host::is_sysmis(satterthwaite_df(flat_group, flat_est, 1, 1, false, as_vector(l), {&var, 1}, {&one, 1})))
      << "g'Wg = 0 gives a system-missing df";
}

TEST(Satterthwaite, SeveralRowsCombineTheEigenDirections) {
  DenseModel model;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  const VectorXd theta = test::test_theta();
  const MatrixXd W = test::test_W();
  model.fill(cmd, group, est, theta, W);
  MatrixXd L(2, 2);
  L << 1.0, 0.0, 1.0, 2.0;
  const MatrixXd LCL = L * model.C(theta) * L.transpose();
  Eigen::SelfAdjointEigenSolver<MatrixXd> eig(LCL);
  double E = 0.0;
  for (int m = 0; m < 2; ++m) {
    const VectorXd v = L.transpose() * eig.eigenvectors().col(m);
    const VectorXd g = test::gradient(theta, [&](const VectorXd& t) { return v.dot(model.C(t) * v); });
    const double d = eig.eigenvalues()(m);
    const double nu = 2.0 * d * d / g.dot(W * g);
    E += nu / (nu - 2.0);
  }
  const double want = 2.0 * E / (E - 2.0);
  std::vector<double> Lrows = {1.0, 0.0, 1.0, 2.0};
  std::vector<double> d = {eig.eigenvalues()(0), eig.eigenvalues()(1)};
  std::vector<double> Z = {eig.eigenvectors()(0, 0), eig.eigenvectors()(0, 1), eig.eigenvectors()(1, 0),
                           eig.eigenvectors()(1, 1)};
  EXPECT_NEAR(satterthwaite_df(group, est, 2, 2, false, Lrows, d, Z), want, 1e-6 * want)
      << "Fai-Cornelius df of a two-row L";
}

TEST(Satterthwaite, DerivativeProductsAreMinusTheDerivativeOfXVX) {
  DenseModel model;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  const VectorXd theta = test::test_theta();
  model.fill(cmd, group, est, theta, test::test_W());
  std::vector<double> products(derivative_products_size(group, est));
  ASSERT_TRUE(derivative_products(group, est, products));
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j <= i; ++j) {
      const VectorXd want = -test::gradient(theta, [&](const VectorXd& t) { return model.C(t).inverse()(i, j); });
      for (int k = 0; k < DenseModel::ntheta; ++k)
        EXPECT_NEAR(products[k * 3 + i * (i + 1) / 2 + j], want(k), 1e-6 * std::max(1.0, std::fabs(want(k))))
            << "P_k(" << i << "," << j << ") = -d(X'V^-1X)/dθ_k, k = " << k;
    }
  const std::vector<double> L = {1.0, 2.0};
  const double var =
      L[0] * L[0] * model.C(theta)(0, 0) + 2 * L[0] * L[1] * model.C(theta)(0, 1) + L[1] * L[1] * model.C(theta)(1, 1);
  const double one = 1.0;
  EXPECT_NEAR(satterthwaite_df(group, est, 1, 1, false, L, {&var, 1}, {&one, 1}, products),
              satterthwaite_df(group, est, 1, 1, false, L, {&var, 1}, {&one, 1}), 1e-10)
      << "the df from the products equals the df from the pass over the subjects";
}

TEST(Satterthwaite, CombinationRules) {
  EXPECT_DOUBLE_EQ(combine_directions(std::vector<double>{2.5, 2.5}, 2), 2.5)
      << "every nu 2.5 with r = 2: E = 10, df = 20/8";
  EXPECT_DOUBLE_EQ(combine_directions(std::vector<double>{30.0, 2.0 + 1e-13}, 2), 2.0)
      << "the last nu within 1e-12 of 2 gives exactly 2";
  EXPECT_DOUBLE_EQ(combine_directions(std::vector<double>{2.0 - 1e-13, 2.5, 2.5}, 2), 2.5)
      << "a near-two nu that is not last does not decide";
  EXPECT_DOUBLE_EQ(combine_directions(std::vector<double>{2.5, 2.5, 2.0, 0.0}, 2), 2.5)
      << "a skipped last direction clears the near-two flag and keeps E";
  EXPECT_TRUE(host::is_sysmis(combine_directions(std::vector<double>{1.5, 6.0}, 2)))
      << "nu below 2 adds nothing; E = 1.5 not above r = 2 gives no df";
  EXPECT_DOUBLE_EQ(combine_directions(std::vector<double>{1.5, 3.0}, 2), 6.0) << "E = 3 > r = 2: df = 6/1";
}

}  // namespace
}  // namespace mixed::inference
