// The L-matrix test: rank by the eigenvalue rule, the Moore-Penrose inverse,
// F, the per-row estimates and standard errors, hypothesised values, the
// statuses, and the random-coefficient option against the full mixed-model
// equations of the dense model.
#include "inference/ltest.h"

#include <gtest/gtest.h>

#include <cmath>

#include "host/packed.h"
#include "inference/dense_model_util.h"
#include "inference/satterthwaite.h"

namespace mixed::inference {
namespace {

using Eigen::MatrixXd;
using Eigen::VectorXd;

// Settings holding only C (dense p x p) and b; no fit, so no df.
void fixed_only(data::GroupData& group, estimate::Estimates& est, const MatrixXd& C, const std::vector<double>& b) {
  const int p = static_cast<int>(C.rows());
  group.n_fixed_columns = p;
  est.fixed_covariance.assign(host::tri_size(p + 1), 0.0);
  for (int i = 0; i < p; ++i) {
    for (int j = 0; j <= i; ++j) est.fixed_covariance[host::tri(i, j)] = C(i, j);
    est.fixed_covariance[host::tri(p, i)] = b[i];
  }
}

LTestOptions all_options() {
  LTestOptions o;
  o.f_test = o.per_row = true;
  return o;
}

TEST(LTest, ZeroVarianceRowHasNoRankButKeepsItsEstimate) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  host::Scratch scratch;
  MatrixXd C(2, 2);
  C << 2.0, 0.0, 0.0, 0.0;
  fixed_only(group, est, C, {1.5, -4.0});
  const LTestResult r = l_matrix_test(group, est, scratch, 1, std::vector<double>{0.0, 1.0}, all_options());
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.rank, 0) << "L C L' = 0 has rank 0";
  EXPECT_TRUE(host::is_sysmis(r.F)) << "no F without rank";
  EXPECT_TRUE(host::is_sysmis(r.dendf)) << "no denominator df without rank";
  EXPECT_TRUE(host::is_sysmis(r.se[0])) << "no standard error for a zero variance";
  EXPECT_TRUE(host::is_sysmis(r.df[0])) << "no per-row df for a zero variance";
  EXPECT_DOUBLE_EQ(r.estimate[0], -4.0) << "the estimate L b is still given";
  EXPECT_EQ(scratch.in_use(), 0u) << "work blocks are released";
}

TEST(LTest, RankAndGeneralizedInverse) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  host::Scratch scratch;
  LTestOptions f;
  f.f_test = true;
  MatrixXd C(2, 2);
  C << 2.0, 0.5, 0.5, 1.0;
  fixed_only(group, est, C, {1.0, -2.0});

  // Two identical rows: rank 1, F on one numerator df = (Lb)^2 / (L C L').
  LTestResult dup = l_matrix_test(group, est, scratch, 2, std::vector<double>{1.0, 1.0, 1.0, 1.0}, f);
  EXPECT_EQ(dup.rank, 1) << "a duplicated row adds a zero eigenvalue";
  EXPECT_NEAR(dup.F, 1.0 / 4.0, 1e-14) << "F of the duplicated row equals the F of the single row";

  // A third row that is the sum of the first two changes neither rank nor F.
  const std::vector<double> two = {1.0, 0.0, 0.0, 1.0};
  const std::vector<double> three = {1.0, 0.0, 0.0, 1.0, 1.0, 1.0};
  const LTestResult r2 = l_matrix_test(group, est, scratch, 2, two, f);
  const LTestResult r3 = l_matrix_test(group, est, scratch, 3, three, f);
  EXPECT_EQ(r3.rank, 2) << "dependent rows are tested on the rank of L C L'";
  VectorXd b(2);
  b << 1.0, -2.0;
  EXPECT_NEAR(r2.F, b.dot(C.inverse() * b) / 2.0, 1e-13) << "full-rank F = b' C^-1 b / r";
  EXPECT_NEAR(r3.F, r2.F, 1e-12) << "the Moore-Penrose inverse makes F invariant to dependent rows";

  // An eigenvalue of 1e-13 counts as zero: only the other direction is tested.
  MatrixXd tiny(2, 2);
  tiny << 1.0, 0.0, 0.0, 1e-13;
  fixed_only(group, est, tiny, {3.0, 5.0});
  const LTestResult t = l_matrix_test(group, est, scratch, 2, two, f);
  EXPECT_EQ(t.rank, 1) << "an eigenvalue of 1e-13 is not counted";
  EXPECT_NEAR(t.F, 9.0, 1e-12) << "and contributes nothing to the generalized inverse";
}

TEST(LTest, HypothesisedValues) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  host::Scratch scratch;
  MatrixXd C(2, 2);
  C << 2.0, 0.5, 0.5, 1.0;
  fixed_only(group, est, C, {1.0, -2.0});
  LTestOptions o = all_options();
  o.hypothesised = true;
  const std::vector<double> L = {1.0, 0.0, 1.0, 1.0};
  const LTestResult at_estimate = l_matrix_test(group, est, scratch, 2, L, o, std::vector<double>{1.0, -1.0});
  EXPECT_NEAR(at_estimate.F, 0.0, 1e-15) << "h = L b gives F = 0";
  EXPECT_DOUBLE_EQ(at_estimate.estimate[1], -1.0) << "per-row estimates are L b, not L b - h";
  const LTestResult one =
      l_matrix_test(group, est, scratch, 1, std::vector<double>{1.0, 1.0}, o, std::vector<double>{2.0});
  EXPECT_NEAR(one.F, 9.0 / 4.0, 1e-14) << "one row: F = (L b - h)^2 / L C L'";
  EXPECT_NEAR(one.se[0], 2.0, 1e-14) << "standard error sqrt(L C L')";
}

TEST(LTest, Statuses) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  MatrixXd C = MatrixXd::Identity(2, 2);
  fixed_only(group, est, C, {1.0, 2.0});
  host::Scratch scratch;
  EXPECT_EQ(l_matrix_test(group, est, scratch, 0, {}, all_options()).status, kNoRows) << "no rows: status -1";
  host::Scratch small(16);
  const LTestResult r = l_matrix_test(group, est, small, 2, std::vector<double>{1.0, 0.0, 0.0, 1.0}, all_options());
  EXPECT_EQ(r.status, kOutOfMemory) << "a refused work block gives status 4";
  EXPECT_TRUE(host::is_sysmis(r.F)) << "and leaves F missing";
  EXPECT_EQ(small.in_use(), 0u);
  MatrixXd broken = MatrixXd::Identity(2, 2);
  broken(1, 1) = NAN;
  fixed_only(group, est, broken, {1.0, 2.0});
  const LTestResult failed =
      l_matrix_test(group, est, scratch, 2, std::vector<double>{1.0, 0.0, 0.0, 1.0}, all_options());
  EXPECT_EQ(failed.status, kEigenFailed) << "a failed eigen decomposition gives status 1003";
  EXPECT_TRUE(host::is_sysmis(failed.F));
  EXPECT_EQ(failed.rank, 0);
}

TEST(LTest, RandomCoefficientsFollowTheFullEquations) {
  test::DenseModel model;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  host::Scratch scratch;
  const VectorXd theta = test::test_theta();
  const MatrixXd W = test::test_W();
  model.fill(cmd, group, est, theta, W);
  VectorXd lf(2), lr(2);
  lf << 1.0, 0.5;
  lr << 0.3, -1.2;
  LTestOptions o = all_options();
  o.random_columns = true;
  const LTestResult r = l_matrix_test(group, est, scratch, 1, std::vector<double>{1.0, 0.5, 0.3, -1.2}, o);
  const double pev = model.pev(theta, lf, lr);
  EXPECT_NEAR(r.se[0] * r.se[0], pev, 1e-10 * pev) << "L C L' is the prediction-error variance";
  const double pred = model.predicted(theta, lf, lr);
  EXPECT_NEAR(r.estimate[0], pred, 1e-10 * std::fabs(pred)) << "L b = l_f b + l_r sum of predicted effects";
  const VectorXd g = test::gradient(theta, [&](const VectorXd& t) { return model.pev(t, lf, lr); });
  const double df = 2.0 * pev * pev / g.dot(W * g);
  EXPECT_NEAR(r.df[0], df, 1e-6 * df) << "per-row Satterthwaite df with random coefficients";
  EXPECT_NEAR(r.dendf, df, 1e-6 * df) << "one row: the F test's df is the row's df";
  EXPECT_NEAR(r.F, pred * pred / pev, 1e-9 * r.F) << "F = (L b)^2 / PEV";
}

TEST(LTest, FixedRowsAgainstDenseModel) {
  test::DenseModel model;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  host::Scratch scratch;
  const VectorXd theta = test::test_theta();
  model.fill(cmd, group, est, theta, test::test_W());
  MatrixXd L(2, 2);
  L << 1.0, 0.0, 1.0, 2.0;
  const VectorXd lb = L * model.beta(theta);
  const double F = lb.dot((L * model.C(theta) * L.transpose()).inverse() * lb) / 2.0;
  LTestOptions f;
  f.f_test = true;
  const std::vector<double> rows = {1.0, 0.0, 1.0, 2.0};
  const LTestResult r = l_matrix_test(group, est, scratch, 2, rows, f);
  EXPECT_EQ(r.rank, 2);
  EXPECT_NEAR(r.F, F, 1e-10 * F) << "F = (Lb)'(LCL')^-1(Lb)/2";
  EXPECT_FALSE(host::is_sysmis(r.dendf)) << "a full-rank test has a df";
  EXPECT_GT(r.dendf, 0.0);
}

}  // namespace
}  // namespace mixed::inference
