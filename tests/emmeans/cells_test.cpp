// The L vectors of marginal-mean cells against hand-worked averages of the
// full-coding design rows: equal weights over the levels outside the table,
// averages over the observed combinations only when a column is missing,
// covariates at their values and powers, the factor order of nested terms,
// the refusal of too many combinations and of too large cell blocks.
#include "emmeans/cells.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "host/dataset.h"

namespace mixed::emmeans {
namespace {

// A model of factors with the given numbers of levels and `n_covariates`
// covariates; `terms` are effect rows (factor cells, then covariate powers)
// and `observed` the observed cell indices of each term, ascending.
void set_model(model::Command& cmd, data::GroupData& group, estimate::Estimates& est, std::vector<int> levels, int n_covariates, std::vector<std::vector<int>> terms,
               std::vector<std::vector<std::int64_t>> observed) {
  cmd.factors.resize(levels.size());
  cmd.covariates.resize(static_cast<std::size_t>(n_covariates));
  cmd.fixed.width = static_cast<int>(levels.size()) + n_covariates;
  for (const auto& row : terms) cmd.fixed.add_row(row);
  group.factor_levels = std::move(levels);
  for (const auto& cells : observed) {
    group.fx_fcol.push_back(static_cast<int>(group.fx_cell.size()));
    group.fx_ncol.push_back(static_cast<int>(cells.size()));
    group.fx_cell.insert(group.fx_cell.end(), cells.begin(), cells.end());
  }
  group.n_fixed_columns = static_cast<int>(group.fx_cell.size());
  est.covariate_means.assign(static_cast<std::size_t>(n_covariates), 0.0);
}

model::EmmeansRecord tables(std::vector<int> factors, int n_covariates = 0) {
  model::EmmeansRecord rec;
  rec.table_kind = factors.empty() ? 1 : 2;
  rec.factors = std::move(factors);
  rec.cov_mode.assign(static_cast<std::size_t>(n_covariates), 0);
  rec.cov_value.assign(static_cast<std::size_t>(n_covariates), host::SYSMIS);
  return rec;
}

struct Filled {
  host::Scratch scratch;
  host::Output out;
  Blocks blocks{scratch};
  CellTable cells;
  int status = 0;
};

void fill(Filled& f, const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est, const model::EmmeansRecord& rec) {
  ASSERT_TRUE(allocate_cells(f.blocks, group, rec, f.cells));
  f.status = fill_cells(cmd, group, covariate_values(cmd, est, rec), f.out, f.cells);
}

void expect_row(const CellTable& cells, std::size_t cell, const std::vector<double>& want, const std::string& what) {
  ASSERT_EQ(cells.p, want.size());
  const std::span<const double> got = cells.row(cell);
  for (std::size_t k = 0; k < want.size(); ++k)
    EXPECT_NEAR(got[k], want[k], 1e-15) << what << ", column " << k;
}

// A (2 levels) x B (3 levels) with intercept, A, B and A*B, every combination
// observed but (A=2, B=3): A*B has 5 of its 6 potential columns.
void two_by_three_without_one(model::Command& cmd, data::GroupData& group, estimate::Estimates& est) {
  set_model(cmd, group, est, {2, 3}, 0, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, {{1}, {1, 2}, {1, 2, 3}, {1, 2, 3, 4, 5}});
}

TEST(Cells, CompleteTwoWayTableAveragesTheOtherFactorEqually) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  set_model(cmd, group, est, {2, 3}, 0, {{0, 0}, {1, 0}, {0, 1}, {1, 1}}, {{1}, {1, 2}, {1, 2, 3}, {1, 2, 3, 4, 5, 6}});
  Filled f;
  fill(f, cmd, group, est, tables({0}));
  ASSERT_EQ(f.status, kFilled);
  ASSERT_EQ(f.cells.ncell, 2u);
  const double t = 1.0 / 3.0;
  expect_row(f.cells, 0, {1, 1, 0, t, t, t, t, t, t, 0, 0, 0}, "A=1 averages the three B levels");
  expect_row(f.cells, 1, {1, 0, 1, t, t, t, 0, 0, 0, t, t, t}, "A=2 averages the three B levels");
  EXPECT_EQ(f.cells.full, 3.0) << "F: the levels of B";
  EXPECT_EQ(f.cells.count[0], 3.0);
  EXPECT_EQ(f.cells.count[1], 3.0);

  Filled b;
  fill(b, cmd, group, est, tables({1}));
  expect_row(b.cells, 2, {1, 0.5, 0.5, 0, 0, 1, 0, 0, 0.5, 0, 0, 0.5}, "B=3 averages the two A levels");

  Filled overall;
  fill(overall, cmd, group, est, tables({}));
  const double six = 1.0 / 6.0;
  expect_row(overall.cells, 0, {1, 0.5, 0.5, t, t, t, six, six, six, six, six, six},
             "OVERALL averages every combination");
  EXPECT_EQ(overall.cells.full, 6.0);
}

TEST(Cells, MissingCombinationIsLeftOutOfTheAverage) {
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  two_by_three_without_one(cmd, group, est);

  Filled a;
  fill(a, cmd, group, est, tables({0}));
  ASSERT_EQ(a.status, kFilled);
  const double t = 1.0 / 3.0;
  expect_row(a.cells, 0, {1, 1, 0, t, t, t, t, t, t, 0, 0}, "A=1 is unaffected");
  expect_row(a.cells, 1, {1, 0, 1, 0.5, 0.5, 0, 0, 0, 0, 0.5, 0.5}, "A=2 averages B=1 and B=2 only");
  EXPECT_EQ(a.cells.count[0], 3.0);
  EXPECT_EQ(a.cells.count[1], 2.0) << "one combination dropped";

  Filled b;
  fill(b, cmd, group, est, tables({1}));
  expect_row(b.cells, 0, {1, 0.5, 0.5, 1, 0, 0, 0.5, 0, 0, 0.5, 0}, "B=1 averages both A levels");
  expect_row(b.cells, 2, {1, 1, 0, 0, 0, 1, 0, 0, 1, 0, 0}, "B=3 has A=1 only");
  EXPECT_EQ(b.cells.count[2], 1.0);

  Filled ab;
  fill(ab, cmd, group, est, tables({0, 1}));
  ASSERT_EQ(ab.cells.ncell, 6u);
  EXPECT_EQ(ab.cells.full, 1.0);
  EXPECT_EQ(ab.cells.count[5], 0.0) << "(A=2, B=3) has no observed combination";
  expect_row(ab.cells, 5, std::vector<double>(11, 0.0), "an unobserved cell has a zero L vector");
  expect_row(ab.cells, 4, {1, 0, 1, 0, 1, 0, 0, 0, 0, 0, 1}, "(A=2, B=2) is its design row");

  Filled overall;
  fill(overall, cmd, group, est, tables({}));
  const double fifth = 0.2;
  expect_row(overall.cells, 0, {1, 0.6, 0.4, 0.4, 0.4, 0.2, fifth, fifth, fifth, fifth, fifth},
             "OVERALL averages the five observed combinations");
  EXPECT_EQ(overall.cells.count[0], 5.0);
  EXPECT_EQ(overall.cells.full, 6.0);
}

TEST(Cells, FactorsOutsideEveryTermWithMissingColumnsWeighAsInF) {
  // A (2), B (2), C (3); terms intercept, A*B with (A=2, B=2) missing, and C.
  // TABLES(A): O = {B}, C spreads evenly; F = 6 combinations of B and C.
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  set_model(cmd, group, est, {2, 2, 3}, 0, {{0, 0, 0}, {1, 1, 0}, {0, 0, 1}}, {{1}, {1, 2, 3}, {1, 2, 3}});
  Filled a;
  fill(a, cmd, group, est, tables({0}));
  const double t = 1.0 / 3.0;
  expect_row(a.cells, 0, {1, 0.5, 0.5, 0, t, t, t}, "A=1 over B=1,2 and every C");
  expect_row(a.cells, 1, {1, 0, 0, 1, t, t, t}, "A=2 over B=1 only");
  EXPECT_EQ(a.cells.full, 6.0);
  EXPECT_EQ(a.cells.count[0], 6.0);
  EXPECT_EQ(a.cells.count[1], 3.0) << "each dropped B level takes the three C levels with it";
}

TEST(Cells, CovariatesEnterAtTheirValuesAndPowers) {
  // Factor A (2 levels), covariate x; terms intercept, x, x*x, A*x.
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  set_model(cmd, group, est, {2}, 1, {{0, 0}, {0, 1}, {0, 2}, {1, 1}}, {{1}, {1}, {1}, {1, 2}});
  est.covariate_means = {1.5};

  Filled at_mean;
  fill(at_mean, cmd, group, est, tables({0}, 1));
  expect_row(at_mean.cells, 1, {1, 1.5, 2.25, 0, 1.5}, "x at its mean, x*x at its square");

  model::EmmeansRecord with = tables({0}, 1);
  with.cov_mode[0] = -1;
  with.cov_value[0] = 3.0;
  Filled at_three;
  fill(at_three, cmd, group, est, with);
  expect_row(at_three.cells, 0, {1, 3, 9, 3, 0}, "x at its WITH value");

  with.cov_value[0] = 0.0;
  Filled at_zero;
  fill(at_zero, cmd, group, est, with);
  expect_row(at_zero.cells, 0, {1, 0, 0, 0, 0}, "WITH(x=0) removes every covariate term");

  model::EmmeansRecord mean = tables({0}, 1);
  mean.cov_mode[0] = 1;
  mean.cov_value[0] = 7.0;
  EXPECT_EQ(covariate_values(cmd, est, mean)[0], 1.5) << "WITH(x=MEAN) holds x at its mean";
}

TEST(Cells, NestedTermsUseTheDesignCellOrder) {
  // A (2 levels), B (2 levels) nested in A: B(A) has B's cell 2 and A's 1, so
  // its cells run A slowest: (A1,B1)=1, (A1,B2)=2, (A2,B1)=3, (A2,B2)=4.
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  set_model(cmd, group, est, {2, 2}, 0, {{0, 0}, {1, 0}, {1, 2}}, {{1}, {1, 2}, {1, 2, 3, 4}});
  Filled b;
  fill(b, cmd, group, est, tables({1}));
  expect_row(b.cells, 0, {1, 0.5, 0.5, 0.5, 0, 0.5, 0}, "B=1 takes (A1,B1) and (A2,B1)");
  expect_row(b.cells, 1, {1, 0.5, 0.5, 0, 0.5, 0, 0.5}, "B=2 takes (A1,B2) and (A2,B2)");
}

TEST(Cells, RefusesWhatCannotBeVisitedOrHeld) {
  // Eight factors; the term A misses one of its two levels, so the averaging
  // would visit the combinations of all factors outside TABLES(B): 2 x 1e54.
  model::Command cmd;
  data::GroupData group;
  estimate::Estimates est;
  std::vector<int> levels = {2, 3};
  for (int k = 0; k < 6; ++k) levels.push_back(1000000000);
  std::vector<int> intercept(8, 0), a(8, 0);
  a[0] = 1;
  set_model(cmd, group, est, levels, 0, {intercept, a}, {{1}, {1}});
  Filled f;
  fill(f, cmd, group, est, tables({1}));
  EXPECT_EQ(f.status, kTooManyCombinations);

  // Without missing columns the same factors are no obstacle: nothing to visit.
  model::Command complete_cmd;
  data::GroupData complete_group;
  estimate::Estimates complete_est;
  set_model(complete_cmd, complete_group, complete_est, levels, 0, {intercept, a}, {{1}, {1, 2}});
  Filled g;
  fill(g, complete_cmd, complete_group, complete_est, tables({1}));
  EXPECT_EQ(g.status, kFilled);
  expect_row(g.cells, 2, {1, 0.5, 0.5}, "A spreads evenly");

  // Cell blocks beyond the arena's budget are refused.
  host::Scratch small(1024);
  Blocks blocks(small);
  CellTable cells;
  model::Command wide_cmd;
  data::GroupData wide_group;
  estimate::Estimates wide_est;
  set_model(wide_cmd, wide_group, wide_est, {400}, 0, {{0}, {1}}, {{1}, {}});
  wide_group.n_fixed_columns = 401;
  EXPECT_FALSE(allocate_cells(blocks, wide_group, tables({0}), cells)) << "400 cells x 401 columns in 1 KB";
}

}  // namespace
}  // namespace mixed::emmeans
