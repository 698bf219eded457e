// The design row of one case: for every fixed effect term its column among the
// n_fixed_columns fixed design columns and its value, and for every random effect term
// its column among a subject's q random columns (estimate::Fit) and its value.
//
// A term's value is the product of the case's covariates, each raised to its
// power in the term (1 for a term without covariates); its column is fixed by
// the levels of the term's factors (data/design.h).  A random term's column is
// col_j + r d_j + offset within block j, r the case's replicate: the mixed-radix
// number of the levels of the block's subject variables beyond the common ones.
// Values are unweighted; the estimation pass multiplies them by sqrt(w f).
#pragma once

#include <span>
#include <vector>

#include "data/group.h"
#include "estimate/fit.h"
#include "model/command.h"

namespace mixed::estimate {

class DesignRowBuilder {
 public:
  // Needs the design columns of the group and the random blocks of `fit`
  // (layout_blocks); both must outlive the builder.
  DesignRowBuilder(const model::Command& cmd, const data::GroupData& group, const Fit& fit);

  // col_t, val_t for every fixed term t from the case's factor levels (1-based,
  // factor-list order) and covariate values.  False when a term's cell is not
  // one of its design columns (col_t is then -1).
  bool fixed(std::span<const int> factor_level, std::span<const double> covariates, std::span<int> col,
             std::span<double> val) const;

  // col_u, val_u for every random term u; `class_level` holds the 1-based
  // levels of all classification variables (for the replicates).  False when a
  // term's cell is not one of its design columns (col_u is then -1).
  bool random(std::span<const int> class_level, std::span<const int> factor_level, std::span<const double> covariates,
              std::span<int> col, std::span<double> val) const;

  // The covariance block (0-based) of random term u.
  int block_of(int u) const { return effect_block_[u]; }

 private:
  const model::Command& cmd_;
  const data::GroupData& group_;
  const Fit& fit_;
  std::vector<std::vector<int>> fixed_order_, random_order_;  // factors in cell-index order
  std::vector<int> effect_block_, effect_offset_;             // per random term
};

}  // namespace mixed::estimate
