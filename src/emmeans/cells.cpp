#include "emmeans/cells.h"

#include <algorithm>
#include <cmath>

#include "data/design.h"
#include "host/dataset.h"
#include "inference/estimability.h"
#include "model/messages.h"

namespace mixed::emmeans {

namespace {

// One fixed term as the averaging sees it.
struct TermPlan {
  std::vector<int> order;          // its factors in cell-index order
  std::vector<int> spread;         // its factors outside the table and O
  double per_column = 1.0;         // P_t: combinations of `spread`
  double covariate_product = 1.0;  // prod_k v_k^power_k over its covariates
  bool has_missing = false;        // some potential column was not observed
  bool uses_o = false;             // it has a factor in O
};

// The factors of one table split by their role, and the terms' plans.
struct Plan {
  std::vector<int> O;     // factors outside the table in terms with missing columns
  std::vector<int> rest;  // the other factors outside the table
  double o_combinations = 1.0;
  double rest_combinations = 1.0;
  bool any_missing = false;
  std::vector<TermPlan> terms;
};

double product_of_levels(const data::GroupData& group, std::span<const int> factors) {
  double n = 1.0;
  for (int f : factors) n *= static_cast<double>(group.factor_levels[f]);
  return n;
}

// Steps to the next combination of `factors` in `levels` (1-based), the last
// factor fastest; false, with the levels back at 1, after the last one.
bool next_combination(std::span<const int> factors, std::span<const int> counts, std::span<int> levels) {
  for (auto it = factors.rbegin(); it != factors.rend(); ++it) {
    if (levels[*it] < counts[*it]) {
      ++levels[*it];
      return true;
    }
    levels[*it] = 1;
  }
  return false;
}

Plan make_plan(const model::Command& cmd, const data::GroupData& group, const CellTable& cells,
               std::span<const double> v) {
  const int n_factors = cmd.n_factors();
  std::vector<bool> in_table(static_cast<std::size_t>(n_factors), false);
  for (int f : cells.factors) in_table[f] = true;

  Plan plan;
  std::vector<bool> in_o(static_cast<std::size_t>(n_factors), false);
  plan.terms.resize(static_cast<std::size_t>(cmd.n_fixed_effects()));
  for (int t = 0; t < cmd.n_fixed_effects(); ++t) {
    const std::span<const int> row = cmd.fixed.row(t);
    TermPlan& term = plan.terms[t];
    term.order = data::cell_order(row, static_cast<std::size_t>(n_factors));
    term.has_missing = group.fx_ncol[t] < data::potential_cells(row, group.factor_levels);
    plan.any_missing = plan.any_missing || term.has_missing;
    if (term.has_missing)
      for (int f : term.order)
        if (!in_table[f]) in_o[f] = true;
    for (int k = 0; k < cmd.n_covariates(); ++k) {
      const int power = std::abs(row[static_cast<std::size_t>(n_factors + k)]);
      if (power != 0) term.covariate_product *= std::pow(v[k], power);
    }
  }
  for (int f = 0; f < n_factors; ++f) {
    if (in_table[f]) continue;
    (in_o[f] ? plan.O : plan.rest).push_back(f);
  }
  plan.o_combinations = product_of_levels(group, plan.O);
  plan.rest_combinations = product_of_levels(group, plan.rest);
  for (TermPlan& term : plan.terms) {
    for (int f : term.order) {
      if (in_o[f]) term.uses_o = true;
      if (!in_table[f] && !in_o[f]) term.spread.push_back(f);
    }
    term.per_column = product_of_levels(group, term.spread);
  }
  return plan;
}

// Adds w to every observed column of term t that agrees with `levels` on all
// of the term's factors but those it spreads over.
void add_term(const data::GroupData& group, int t, const TermPlan& term, std::span<int> levels, double w,
              std::span<double> row) {
  do {
    const int col = data::fixed_column(group, t, data::ordered_cell_index(term.order, levels, group.factor_levels));
    if (col >= 0) row[col] += w;
  } while (next_combination(term.spread, group.factor_levels, levels));
}

// Whether every term with missing columns has an observed column at `levels`.
bool observed(const data::GroupData& group, const Plan& plan, std::span<const int> levels) {
  for (std::size_t t = 0; t < plan.terms.size(); ++t) {
    const TermPlan& term = plan.terms[t];
    if (term.has_missing && data::fixed_column(group, static_cast<int>(t),
                                               data::ordered_cell_index(term.order, levels, group.factor_levels)) < 0)
      return false;
  }
  return true;
}

// L(cell) = (1/n) sum over the kept combinations of O of the term rows
// averaged over each term's spread factors; returns n, or -1 on interrupt.
double fill_cell(const data::GroupData& group, const Plan& plan, std::size_t cell, const CellTable& cells,
                 std::span<int> levels, host::Output& out, std::span<double> row) {
  for (std::size_t j = 0; j < cells.factors.size(); ++j) levels[cells.factors[j]] = cells.level(cell, j) + 1;
  double kept = 0.0;
  do {
    if (model::stop_if_interrupted(out)) return -1.0;
    if (!observed(group, plan, levels)) continue;
    kept += 1.0;
    for (std::size_t t = 0; t < plan.terms.size(); ++t)
      if (plan.terms[t].uses_o) add_term(group, static_cast<int>(t), plan.terms[t], levels, 1.0, row);
  } while (next_combination(plan.O, group.factor_levels, levels));
  if (kept == 0.0) return 0.0;
  for (std::size_t t = 0; t < plan.terms.size(); ++t) {
    const TermPlan& term = plan.terms[t];
    if (!term.uses_o) add_term(group, static_cast<int>(t), term, levels, 1.0, row);
    const double scale = term.covariate_product / (term.per_column * (term.uses_o ? kept : 1.0));
    const auto first = row.begin() + group.fx_fcol[t];
    std::transform(first, first + group.fx_ncol[t], first, [scale](double x) { return x * scale; });
  }
  return kept;
}

}  // namespace

int CellTable::level(std::size_t cell, std::size_t j) const {
  std::size_t stride = 1;
  for (std::size_t i = j + 1; i < nlevels.size(); ++i) stride *= static_cast<std::size_t>(nlevels[i]);
  return static_cast<int>((cell / stride) % static_cast<std::size_t>(nlevels[j]));
}

std::size_t CellTable::cell_at(std::span<const int> levels) const {
  std::size_t cell = 0;
  for (std::size_t j = 0; j < nlevels.size(); ++j)
    cell = cell * static_cast<std::size_t>(nlevels[j]) + static_cast<std::size_t>(levels[j]);
  return cell;
}

double cell_total(const data::GroupData& group, const model::EmmeansRecord& rec) {
  return rec.table_kind == 2 ? product_of_levels(group, rec.factors) : 1.0;
}

bool allocate_cells(Blocks& blocks, const data::GroupData& group, const model::EmmeansRecord& rec, CellTable& cells) {
  const double total = cell_total(group, rec);
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  // A table whose L block could not even be indexed is refused like one the
  // arena cannot hold.
  if (!(total * static_cast<double>(std::max<std::size_t>(p, 1)) < 1e15)) return false;
  cells.factors = rec.table_kind == 2 ? rec.factors : std::vector<int>{};
  cells.nlevels.clear();
  for (int f : cells.factors) cells.nlevels.push_back(group.factor_levels[f]);
  cells.ncell = static_cast<std::size_t>(total);
  cells.p = p;
  auto L = blocks.get<double>(cells.ncell * p);
  auto count = L ? blocks.get<double>(cells.ncell) : std::nullopt;
  auto state = count ? blocks.get<int>(cells.ncell) : std::nullopt;
  auto mean = state ? blocks.get<double>(cells.ncell) : std::nullopt;
  auto se = mean ? blocks.get<double>(cells.ncell) : std::nullopt;
  auto df = se ? blocks.get<double>(cells.ncell) : std::nullopt;
  if (!df) return false;
  cells.L = *L;
  cells.count = *count;
  cells.state = *state;
  cells.mean = *mean;
  cells.se = *se;
  cells.df = *df;
  return true;
}

std::vector<double> covariate_values(const model::Command& cmd, const estimate::Estimates& est,
                                     const model::EmmeansRecord& rec) {
  std::vector<double> v(static_cast<std::size_t>(cmd.n_covariates()), host::SYSMIS);
  for (std::size_t k = 0; k < v.size(); ++k) {
    if (k < rec.cov_mode.size() && rec.cov_mode[k] == -1)
      v[k] = rec.cov_value[k];
    else if (k < est.covariate_means.size())
      v[k] = est.covariate_means[k];
  }
  return v;
}

int fill_cells(const model::Command& cmd, const data::GroupData& group, std::span<const double> v, host::Output& out,
               CellTable& cells) {
  const Plan plan = make_plan(cmd, group, cells, v);
  cells.full = plan.o_combinations * plan.rest_combinations;
  if (plan.any_missing && cells.full > kMaxCombinations) return kTooManyCombinations;
  std::vector<int> levels(static_cast<std::size_t>(cmd.n_factors()), 1);
  std::fill(cells.L.begin(), cells.L.end(), 0.0);
  for (std::size_t c = 0; c < cells.ncell; ++c) {
    const double kept = fill_cell(group, plan, c, cells, levels, out, cells.L.subspan(c * cells.p, cells.p));
    if (kept < 0.0) return kInterrupted;
    cells.count[c] = kept * plan.rest_combinations;
  }
  return kFilled;
}

void cell_states(const estimate::Estimates& est, CellTable& cells) {
  for (std::size_t c = 0; c < cells.ncell; ++c) {
    cells.mean[c] = cells.se[c] = cells.df[c] = host::SYSMIS;
    if (cells.count[c] == 0.0)
      cells.state[c] = kUnobserved;
    else if (!inference::is_estimable(est, cells.row(c)))
      cells.state[c] = kNotEstimable;
    else
      cells.state[c] = cells.count[c] == cells.full ? kEstimable : kModified;
  }
}

}  // namespace mixed::emmeans
