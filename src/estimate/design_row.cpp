#include "estimate/design_row.h"

#include <cstdlib>

#include "data/design.h"

namespace mixed::estimate {

namespace {

double term_value(std::span<const int> effect, int n_factors, std::span<const double> covariates) {
  double v = 1.0;
  for (std::size_t c = static_cast<std::size_t>(n_factors); c < effect.size(); ++c) {
    const int power = std::abs(effect[c]);
    const double x = covariates[c - static_cast<std::size_t>(n_factors)];
    for (int k = 0; k < power; ++k) v *= x;
  }
  return v;
}

}  // namespace

DesignRowBuilder::DesignRowBuilder(const model::Command& cmd, const data::GroupData& group, const Fit& fit)
    : cmd_(cmd), group_(group), fit_(fit) {
  const int n_factors = cmd.n_factors();
  for (int t = 0; t < cmd.n_fixed_effects(); ++t) fixed_order_.push_back(data::cell_order(cmd.fixed.row(t), n_factors));
  for (int u = 0; u < cmd.n_random_effects(); ++u)
    random_order_.push_back(data::cell_order(cmd.random.row(u), n_factors));
  effect_block_.assign(static_cast<std::size_t>(cmd.n_random_effects()), 0);
  effect_offset_.assign(static_cast<std::size_t>(cmd.n_random_effects()), 0);
  for (std::size_t b = 0; b < group.blocks.size(); ++b) {
    const int first = group.rn_fcol[group.blocks[b].effects.front()];
    for (int eff : group.blocks[b].effects) {
      effect_block_[eff] = static_cast<int>(b);
      effect_offset_[eff] = group.rn_fcol[eff] - first;
    }
  }
}

bool DesignRowBuilder::fixed(std::span<const int> factor_level, std::span<const double> covariates, std::span<int> col,
                             std::span<double> val) const {
  const int n_factors = cmd_.n_factors();
  bool ok = true;
  for (int t = 0; t < cmd_.n_fixed_effects(); ++t) {
    int c = group_.fx_fcol[t];
    if (n_factors > 0)
      c = data::fixed_column(group_, t, data::ordered_cell_index(fixed_order_[t], factor_level, group_.factor_levels));
    col[t] = c;
    val[t] = term_value(cmd_.fixed.row(static_cast<std::size_t>(t)), n_factors, covariates);
    ok = ok && c >= 0;
  }
  return ok;
}

bool DesignRowBuilder::random(std::span<const int> class_level, std::span<const int> factor_level,
                              std::span<const double> covariates, std::span<int> col, std::span<double> val) const {
  const int n_factors = cmd_.n_factors();
  bool ok = true;
  for (int u = 0; u < cmd_.n_random_effects(); ++u) {
    const RandomBlock& blk = fit_.blocks[effect_block_[u]];
    int within = effect_offset_[u];
    if (n_factors > 0) {
      const int c = data::random_column(group_, u,
                                        data::ordered_cell_index(random_order_[u], factor_level, group_.factor_levels));
      if (c < 0) {
        col[u] = -1;
        ok = false;
        continue;
      }
      within += c - group_.rn_fcol[u];
    }
    int replicate = 0;
    for (int cv : blk.extra_subject_classvars)
      replicate = replicate * static_cast<int>(group_.levels[cv].size()) + (class_level[cv] - 1);
    col[u] = blk.col + replicate * blk.dim + within;
    val[u] = term_value(cmd_.random.row(static_cast<std::size_t>(u)), n_factors, covariates);
  }
  return ok;
}

}  // namespace mixed::estimate
