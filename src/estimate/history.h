// The "Iteration History" table (PRINT HISTORY): one row per reported
// iteration with the update type, the step-halvings, -2LL, every covariance
// parameter on the reported scale and every non-redundant fixed estimate.
#pragma once

#include <optional>
#include <span>
#include <string_view>

#include "data/group.h"
#include "estimate/estimates.h"
#include "estimate/fit.h"
#include "host/output.h"
#include "model/command.h"

namespace mixed::estimate {

enum class UpdateType { Initial, Scoring, Newton };

class IterationHistory {
 public:
  IterationHistory(const model::Command& cmd, const data::GroupData& group, const Estimates& est, const Fit& fit);

  // One row; `status` is the key of the status text shown as the row's
  // footnote ("" for none).
  void row(int iteration, UpdateType type, int halvings, double m2ll, std::span<const double> covrep,
           std::span<const double> fixed, std::string_view status);

  // Hands the table to the output.
  void finish(host::Output& out);

 private:
  int column(const host::Text& label, int parent);

  const model::Command& cmd_;
  const Fit& fit_;
  host::PivotTable table_;
  int rows_dim_ = 0, cols_dim_ = 0;
  int ll_col_ = -1, type_col_ = -1, halving_col_ = -1;
  std::vector<int> cov_cols_;
  std::vector<int> fixed_cols_;
};

}  // namespace mixed::estimate
