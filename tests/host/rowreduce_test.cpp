#include "host/rowreduce.h"

#include <gtest/gtest.h>

#include <vector>

#include "host/kernel_util.h"

namespace mixed::host {
namespace {

using Rows = std::vector<double>;

BitSet all(std::size_t k) {
  BitSet s(k);
  for (std::size_t i = 0; i < k; ++i) s.set(i);
  return s;
}

void expect_row(const Rows& r, std::size_t i, std::initializer_list<double> want, const char* what) {
  std::size_t j = 0;
  for (double w : want) {
    EXPECT_NEAR(r[i * want.size() + j], w, 1e-15) << what << ", row " << i << ", column " << j;
    ++j;
  }
}

TEST(Resorp, HandWorkedReduction) {
  // C = [1 1 0].  t0 = e1 leaves (.5, -.5, 0); t1 = e2 leaves its negative,
  // dependent on t0; t2 = 2 c lies in span(C); t3 = 3 e3 is orthogonal to C
  // and stays; t4 is outside the set and untouched.
  const Rows c{1, 1, 0};
  Rows t{1, 0, 0, 0, 1, 0, 2, 2, 0, 0, 0, 3, 1, 2, 3};
  BitSet rows = all(5);
  rows.reset(4);
  EXPECT_EQ(residuals_off_span(1, 5, 3, c, t, rows, 1e-12), 2u);
  EXPECT_TRUE(rows.test(0));
  EXPECT_FALSE(rows.test(1)) << "dependent on the earlier survivor";
  EXPECT_FALSE(rows.test(2)) << "in span(C)";
  EXPECT_TRUE(rows.test(3));
  EXPECT_FALSE(rows.test(4)) << "not a member to begin with";
  expect_row(t, 0, {0.5, -0.5, 0}, "residual of e1");
  expect_row(t, 3, {0, 0, 3}, "orthogonal row unchanged");
  expect_row(t, 4, {1, 2, 3}, "row outside the set");

  // Dependent and zero containing rows change nothing.
  const Rows c_redundant{1, 1, 0, 2, 2, 0, 0, 0, 0};
  Rows t2{1, 0, 0, 0, 1, 0, 2, 2, 0, 0, 0, 3};
  BitSet rows2 = all(4);
  EXPECT_EQ(residuals_off_span(3, 4, 3, c_redundant, t2, rows2, 1e-12), 2u);
  EXPECT_TRUE(rows2.test(0) && rows2.test(3));
  expect_row(t2, 0, {0.5, -0.5, 0}, "residual against redundant C");

  // Without containing rows only the mutual dependence of the targets counts.
  Rows t3{1, 2, 3, 2, 4, 6, 0, 1, 0, 0, 0, 0};
  BitSet rows3 = all(4);
  EXPECT_EQ(residuals_off_span(0, 4, 3, {}, t3, rows3, 1e-12), 2u);
  EXPECT_TRUE(rows3.test(0) && !rows3.test(1) && rows3.test(2) && !rows3.test(3));
  expect_row(t3, 2, {0, 1, 0}, "survivors are not orthogonalised to each other");
}

TEST(Resorp, ToleranceIsRelativeToTheRowNorm) {
  // The residual of (1, 0, 1e-9) against e1 is 1e-9 of the row's norm.
  const Rows c{1, 0, 0};
  for (double tol : {1e-8, 1e-12}) {
    Rows t{1, 0, 1e-9};
    BitSet rows = all(1);
    EXPECT_EQ(residuals_off_span(1, 1, 3, c, t, rows, tol), tol < 1e-9 ? 1u : 0u) << "tol " << tol;
  }
  // Scaling a row does not change whether it vanishes.
  Rows big{1e6, 0, 1e-3};
  BitSet rows = all(1);
  EXPECT_EQ(residuals_off_span(1, 1, 3, c, big, rows, 1e-8), 0u);
}

TEST(Resorp, RandomRowsAgainstADenseProjection) {
  // Three containing rows in R^8; targets: two free rows, a combination of
  // C and the first target (vanishes), and a combination of C alone (vanishes).
  const Eigen::MatrixXd cm = testing::random_matrix(3, 8, 40u);
  const Eigen::MatrixXd free = testing::random_matrix(2, 8, 41u);
  Eigen::MatrixXd tm(4, 8);
  tm.row(0) = free.row(0);
  tm.row(1) = 0.5 * cm.row(0) - 2.0 * free.row(0) + cm.row(2);
  tm.row(2) = free.row(1);
  tm.row(3) = cm.row(1) - 3.0 * cm.row(2);

  Rows c(24), t(32);
  Eigen::Map<Eigen::Matrix<double, 3, 8, Eigen::RowMajor>>(c.data()) = cm;
  Eigen::Map<Eigen::Matrix<double, 4, 8, Eigen::RowMajor>>(t.data()) = tm;
  BitSet rows = all(4);
  EXPECT_EQ(residuals_off_span(3, 4, 8, c, t, rows, 1e-12), 2u);
  EXPECT_TRUE(rows.test(0) && !rows.test(1) && rows.test(2) && !rows.test(3));

  // A survivor is t - C'(C C')^-1 C t.
  const Eigen::MatrixXd projector = cm.transpose() * (cm * cm.transpose()).inverse() * cm;
  const Eigen::Matrix<double, 4, 8, Eigen::RowMajor> got(t.data());
  for (int i : {0, 2}) {
    const Eigen::RowVectorXd want = tm.row(i) - tm.row(i) * projector;
    EXPECT_LT((got.row(i) - want).cwiseAbs().maxCoeff(), 1e-14) << "residual of row " << i;
  }
}

TEST(Zrmxrw, EliminatesAColumnWithTheLargestActivePivot) {
  // Row 2 has the largest entry of column 0 but is inactive; row 1 is used.
  Rows r{1, 2, 0, 3, 1, 1, -4, 0, 2};
  BitSet active(3);
  active.set(0);
  active.set(1);
  EXPECT_EQ(eliminate_column(3, 3, r, active, 0, 1e-8), 1);
  EXPECT_EQ(r[0], 0.0) << "column entry exactly zero";
  EXPECT_NEAR(r[1], 5.0 / 3.0, 1e-15);
  EXPECT_NEAR(r[2], -1.0 / 3.0, 1e-15);
  expect_row(r, 1, {3, 1, 1}, "pivot row unchanged");
  expect_row(r, 2, {-4, 0, 2}, "inactive row unchanged");
  EXPECT_TRUE(active.test(1)) << "the caller removes the pivot row";

  // Negative entries compete by absolute value.
  Rows neg{1, 1, -2, 1, 0.5, 1};
  EXPECT_EQ(eliminate_column(3, 2, neg, all(3), 0, 1e-8), 1);
  EXPECT_EQ(neg[0], 0.0);
  EXPECT_NEAR(neg[1], 1.5, 1e-15);
  EXPECT_EQ(neg[4], 0.0);
  EXPECT_NEAR(neg[5], 1.25, 1e-15);

  // No active entry above tol: nothing happens.
  Rows small{1e-10, 1, -1e-10, 2};
  const Rows before = small;
  EXPECT_EQ(eliminate_column(2, 2, small, all(2), 0, 1e-8), -1);
  EXPECT_EQ(small, before);
  EXPECT_EQ(eliminate_column(2, 2, small, BitSet(2), 1, 1e-8), -1) << "no active row";
}

}  // namespace
}  // namespace mixed::host
