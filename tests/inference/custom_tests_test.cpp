// Custom hypothesis tests: the estimability rule, random coefficients averaged
// over the subjects against the dense model, and the memory status.  The
// headings, the fixed contrasts, the ALL form and the count warnings are
// covered end to end (tests/golden/cases/custom_tests.test).
#include "inference/custom_tests.h"

#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <cmath>
#include <string>

#include "estimate/fit.h"
#include "host/engine.h"
#include "host/packed.h"
#include "inference/dense_model_util.h"
#include "inference/estimability.h"
#include "inference/table_support.h"

namespace mixed::inference {
namespace {

using Eigen::MatrixXd;
using Eigen::VectorXd;
using host::Text;

struct Harness {
  host::Output out;
  host::Dataset data;
  host::Progress progress{false};
  host::Scratch scratch;
  host::Engine e{out, data, scratch, host::Catalogue::english(), progress};
  explicit Harness(std::size_t budget = host::Scratch::default_budget()) : scratch(budget) {}
};

// The one-way model y = μ + α_a (a with 3 levels) + x β: columns Intercept,
// [a=1], [a=2], [a=3], x; [a=3] is redundant (μ = Σ dummies).  C and b are
// made up; the estimable basis is that of the least-squares sweep: row k has
// 1 at pivot k, 0 at the other pivots and the coefficient of [a=3] in terms
// of the pivots.
constexpr int kP = 5;
const VectorXd& null_vector() {
  static const VectorXd n = (VectorXd(kP) << 1.0, -1.0, -1.0, -1.0, 0.0).finished();
  return n;
}

void one_way(model::Command& cmd, data::GroupData& group, estimate::Estimates& est) {
  cmd.fixed.width = 0;
  for (int t = 0; t < 3; ++t) cmd.fixed.add_row({});
  cmd.fixed_effect_names = {Text::key("Intercept"), Text::raw("a"), Text::raw("x")};
  group.n_fixed_columns = kP;
  group.fx_ncol = {1, 3, 1};
  group.fx_fcol = {0, 1, 4};
  est.non_redundant.resize(kP);
  for (int k : {0, 1, 2, 4}) est.non_redundant.set(k);
  est.fixed_rank = 4;
  est.estimable_basis = {1, 0, 0, 1,  0,  //
                         0, 1, 0, -1, 0,  //
                         0, 0, 1, -1, 0,  //
                         0, 0, 0, 0,  1};
  MatrixXd C(kP, kP);
  C << 0.30, -0.12, -0.10, 0, -0.03,  //
      -0.12, 0.34, 0.14, 0, -0.002,   //
      -0.10, 0.14, 0.28, 0, -0.006,   //
      0, 0, 0, 0, 0,                  //
      -0.03, -0.002, -0.006, 0, 0.007;
  const double b[kP] = {15.5, -2.7, -1.35, 0.0, 0.27};
  est.fixed_covariance.assign(host::tri_size(kP + 1), 0.0);
  for (int i = 0; i < kP; ++i) {
    for (int j = 0; j <= i; ++j) est.fixed_covariance[host::tri(i, j)] = C(i, j);
    est.fixed_covariance[host::tri(kP, i)] = b[i];
  }
  est.dependent_note = Text::key("Dep variable is ^1").arg(Text::variable("y"));
}

// An effect-form record; each row lists every term's values in term order
// (fixed terms, then random effects), as the parser stores them.
model::TestRecord effect_test(std::vector<int> fixed_counts, std::vector<int> random_counts,
                              std::vector<std::vector<double>> rows, std::string label = "",
                              std::vector<double> h = {}) {
  model::TestRecord r;
  r.rows = static_cast<int>(rows.size());
  r.fixed_counts = std::move(fixed_counts);
  r.random_counts = std::move(random_counts);
  r.values = std::move(rows);
  r.label = std::move(label);
  r.hypothesised = std::move(h);
  return r;
}

// The items of the output as "H title", "T internal name", "M text", nested
// items indented.
std::vector<std::string> outline(const std::vector<host::Item>& items) {
  std::vector<std::string> out;
  for (const host::Item& it : items) {
    if (const auto* h = std::get_if<host::Heading>(&it)) {
      out.push_back("H " + h->title.json());
      for (const std::string& n : outline(h->items)) out.push_back("  " + n);
    } else if (const auto* t = std::get_if<host::PivotTable>(&it)) {
      out.push_back("T " + t->name().json());
    } else if (const auto* m = std::get_if<host::Message>(&it)) {
      out.push_back("M " + m->text.json());
    }
  }
  return out;
}

// The tables of the output with this title, depth first.
void collect(const std::vector<host::Item>& items, const std::string& title,
             std::vector<const host::PivotTable*>& found) {
  for (const host::Item& it : items) {
    if (const auto* h = std::get_if<host::Heading>(&it)) collect(h->items, title, found);
    if (const auto* t = std::get_if<host::PivotTable>(&it))
      if (t->title().json() == title) found.push_back(t);
  }
}

std::vector<const host::PivotTable*> tables(const host::Output& out, const std::string& title) {
  std::vector<const host::PivotTable*> found;
  collect(out.items(), title, found);
  return found;
}

// The value of the cell whose category leaves, per dimension in declared
// order, carry these labels; SYSMIS for a missing cell value.
double value(const host::PivotTable& t, const std::vector<std::string>& labels) {
  for (const host::Cell& c : t.cells()) {
    bool match = true;
    for (std::size_t d = 0; d < labels.size() && match; ++d)
      match = t.dimensions()[d].categories[c.at[d]].label.json() == labels[d];
    if (match) return c.value.kind == host::CellValue::Kind::Number ? c.value.number : host::SYSMIS;
  }
  ADD_FAILURE() << "no cell " << labels.front() << " / " << labels.back() << " in " << t.title().json();
  return host::SYSMIS;
}

TEST(Estimability, RowsInTheSpanOfTheBasis) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  one_way(cmd, group, est);
  auto estimable = [&](const VectorXd& l) { return is_estimable(est, std::span<const double>(l.data(), kP)); };
  VectorXd l(kP);
  l << 0, 1, -1, 0, 0;
  EXPECT_TRUE(estimable(l)) << "a difference of two levels";
  l << 1, 1.0 / 3, 1.0 / 3, 1.0 / 3, 0.5;
  EXPECT_TRUE(estimable(l)) << "the intercept with the average level and a slope";
  l << 0, 1, 0, 0, 0;
  EXPECT_FALSE(estimable(l)) << "one level without its complement";
  l << 1, 0, 0, 0, 0;
  EXPECT_FALSE(estimable(l)) << "the intercept alone";
  EXPECT_TRUE(estimable(VectorXd::Zero(kP))) << "a zero row passes";
  l << 0, 1e7, 0, -1e7, 0;
  EXPECT_TRUE(estimable(l)) << "the test is relative to the row's norm";

  // Against the null space of X: l is estimable exactly when l'n = 0.  Rows
  // with n projected out pass; a relative departure of 1e-6 along n fails,
  // one of 1e-11 is within the tolerance.
  const VectorXd& n = null_vector();
  for (int k = 0; k < 6; ++k) {
    VectorXd r(kP);
    for (int j = 0; j < kP; ++j) r(j) = std::sin(1.3 * k + 0.7 * j * j + 0.1);
    const VectorXd in = r - r.dot(n) / n.squaredNorm() * n;
    EXPECT_TRUE(estimable(in)) << "row " << k << " orthogonal to the null vector";
    EXPECT_FALSE(estimable(in + 1e-6 * in.norm() / n.norm() * n)) << "row " << k << " off by 1e-6";
    EXPECT_TRUE(estimable(in + 1e-11 * in.norm() / n.norm() * n)) << "row " << k << " off by 1e-11";
  }

  model::Command bad_cmd;

  data::GroupData bad_group;

  estimate::Estimates bad_est;
  one_way(bad_cmd, bad_group, bad_est);
  bad_est.estimable_basis.resize(3 * kP);
  l << 0, 1, -1, 0, 0;
  EXPECT_FALSE(is_estimable(bad_est, std::span<const double>(l.data(), kP)))
      << "a basis that does not match non_redundant estimates nothing";
}

TEST(CustomTests, OutOfMemoryEndsTheLoop) {
  Harness h(0);
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  one_way(cmd, group, est);
  cmd.tests.push_back(effect_test({0, 0, 1}, {}, {{1}}));
  cmd.tests.push_back(effect_test({0, 0, 1}, {}, {{2}}));
  custom_hypothesis_tests(cmd, group, est, h.e);
  ASSERT_EQ(outline(h.out.items()), std::vector<std::string>{"M Insufficient output memory ..."})
      << "reported once, after the loop, and no later test runs";
  EXPECT_TRUE(h.out.error_flag());
}

// The dense mixed model (three subjects, five subject-replicates of a
// two-column random block) with fixed terms Intercept and x and random
// effects Intercept and t.
void dense_settings(const test::DenseModel& model, model::Command& cmd, data::GroupData& group,
                    estimate::Estimates& est, const VectorXd& theta) {
  model.fill(cmd, group, est, theta, test::test_W());
  cmd.fixed.width = 0;
  cmd.fixed.add_row({});
  cmd.fixed.add_row({});
  cmd.fixed_effect_names = {Text::key("Intercept"), Text::raw("x")};
  group.fx_ncol = {1, 1};
  group.fx_fcol = {0, 1};
  cmd.random.width = 0;
  cmd.random.add_row({});
  cmd.random.add_row({});
  est.fixed_rank = 2;
  est.estimable_basis = {1, 0, 0, 1};
  est.dependent_note = Text::key("Dep variable is ^1").arg(Text::variable("y"));
  double present = 0;
  for (const auto& subject : model.present)
    for (bool on : subject) present += on;
  est.fit->blocks[0].present_subjects = present;
}

TEST(CustomTests, RandomCoefficientWeighsTheAveragePredictedEffect) {
  test::DenseModel model;
  Harness h;
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  const VectorXd theta = test::test_theta();
  dense_settings(model, cmd, group, est, theta);
  cmd.print_lmatrix = true;
  // Intercept 1 | Intercept 1: β_0 plus the average predicted random intercept.
  cmd.tests.push_back(effect_test({1, 0}, {1, 0}, {{1, 1}}));
  custom_hypothesis_tests(cmd, group, est, h.e);
  ASSERT_FALSE(h.out.error_flag());

  // The average over the five subject-replicates of the predicted intercepts.
  const estimate::Fit& fit = *est.fit;
  double sum = 0.0;
  int n = 0;
  for (std::size_t i = 0; i < model.present.size(); ++i)
    for (int r = 0; r < test::DenseModel::replicates; ++r)
      if (model.present[i][r]) {
        sum += fit.final.u[i * test::DenseModel::q + r * test::DenseModel::dim];
        ++n;
      }
  ASSERT_EQ(n, 5);
  const double want = model.beta(theta)(0) + sum / n;
  const auto estimates = tables(h.out, "Contrast Estimates");
  ASSERT_EQ(estimates.size(), 1u);
  EXPECT_NEAR(value(*estimates[0], {"L1", "B0"}), want, 1e-12 * std::fabs(want))
      << "β_0 + the mean of the subjects' predicted intercepts";

  const VectorXd lf = (VectorXd(2) << 1.0, 0.0).finished();
  const VectorXd lr = (VectorXd(2) << 1.0 / n, 0.0).finished();
  const double pev = model.pev(theta, lf, lr);
  EXPECT_NEAR(value(*estimates[0], {"L1", "Standard Error"}), std::sqrt(pev), 1e-10 * std::sqrt(pev))
      << "prediction-error variance of the averaged contrast from the full equations";
  const VectorXd g = test::gradient(theta, [&](const VectorXd& t) { return model.pev(t, lf, lr); });
  const double df = 2.0 * pev * pev / g.dot(test::test_W() * g);
  EXPECT_NEAR(value(*estimates[0], {"L1", "Degrees of Freedom"}), df, 1e-6 * df)
      << "Satterthwaite df, central differences";

  const auto coef = tables(h.out, "Contrast Coefficients");
  ASSERT_EQ(coef.size(), 1u);
  const std::string random_intercept = param_label(est, 2).json();
  EXPECT_DOUBLE_EQ(value(*coef[0], {"L1", random_intercept}), 1.0 / n)
      << "the coefficient table shows the averaged coefficient";
}

}  // namespace
}  // namespace mixed::inference
