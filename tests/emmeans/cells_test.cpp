// The L vectors of marginal-mean cells against hand-worked averages of the
// full-coding design rows: factors outside every term when a column is
// missing, the factor order of nested terms, the refusal of too many
// combinations and of too large cell blocks.  Equal weights, missing
// combinations and covariates are golden cases (tests/golden/cases/emmeans.test).
#include "emmeans/cells.h"

#include <gtest/gtest.h>

#include <string>

#include "host/dataset.h"

namespace mixed::emmeans {
namespace {

// A model of factors with the given numbers of levels and `n_covariates`
// covariates; `terms` are effect rows (factor cells, then covariate powers)
// and `observed` the observed cell indices of each term, ascending.
void set_model(model::Command& cmd, data::GroupData& group, estimate::Estimates& est, std::vector<int> levels,
               int n_covariates, std::vector<std::vector<int>> terms, std::vector<std::vector<std::int64_t>> observed) {
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

void fill(Filled& f, const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
          const model::EmmeansRecord& rec) {
  ASSERT_TRUE(allocate_cells(f.blocks, group, rec, f.cells));
  f.status = fill_cells(cmd, group, covariate_values(cmd, est, rec), f.out, f.cells);
}

void expect_row(const CellTable& cells, std::size_t cell, const std::vector<double>& want, const std::string& what) {
  ASSERT_EQ(cells.p, want.size());
  const std::span<const double> got = cells.row(cell);
  for (std::size_t k = 0; k < want.size(); ++k) EXPECT_NEAR(got[k], want[k], 1e-15) << what << ", column " << k;
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
