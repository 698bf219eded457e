#include "estimate/history.h"

namespace mixed::estimate {

using host::CellValue;
using host::Text;

IterationHistory::IterationHistory(const model::Command& cmd, const data::GroupData& group, const Estimates& est,
                                   const Fit& fit)
    : cmd_(cmd), fit_(fit), table_(Text::key("Iteration History"), Text::key("Iteration History")) {
  table_.note(est.dependent_note);
  rows_dim_ = table_.add_dimension(Text::key("Iteration"), host::Axis::Row);
  cols_dim_ = table_.add_dimension(Text::key("Statistics"), host::Axis::Column);
  type_col_ = table_.add_category(cols_dim_, Text::key("Update Type"));
  halving_col_ = table_.add_category(cols_dim_, Text::key("N step-halving"));
  ll_col_ = table_.add_category(
      cols_dim_, Text::key(cmd.method == model::Method::REML ? "-2 Restricted Log Likelihood" : "-2 Log Likelihood"));

  // Covariance parameters in cov_params order, grouped by block.
  const bool grouped = cmd.repeated_given || cmd.n_random_effects() > 0;
  const int parameters = grouped ? table_.add_category(cols_dim_, Text::key("Covariance Parameters")) : -1;
  auto label = [&](int k) {
    return k < static_cast<int>(est.covpar_labels.size()) ? est.covpar_labels[k] : Text::integer(k + 1);
  };
  if (!cmd.repeated_given) {
    cov_cols_.push_back(table_.add_category(cols_dim_, label(0), parameters));
  } else {
    const int rep = table_.add_category(cols_dim_, Text::key("Repeated Measures"), parameters);
    for (int k = 0; k < fit.n_residual_cov_params; ++k)
      cov_cols_.push_back(table_.add_category(cols_dim_, label(k), rep));
  }
  for (std::size_t b = 0; b < fit.blocks.size(); ++b) {
    const Text name = b < est.block_labels.size() ? est.block_labels[b] : Text::integer(static_cast<long long>(b + 1));
    const int g = table_.add_category(cols_dim_, name, parameters);
    for (int k = 0; k < fit.blocks[b].npar; ++k)
      cov_cols_.push_back(table_.add_category(cols_dim_, label(fit.blocks[b].first_param + k), g));
  }
  if (group.n_fixed_columns > 0) {
    const int fg = table_.add_category(cols_dim_, Text::key("Fixed Effect Parameters"));
    for (int k = 0; k < group.n_fixed_columns; ++k) {
      if (!est.non_redundant.test(static_cast<std::size_t>(k))) {
        fixed_cols_.push_back(-1);
        continue;
      }
      const Text l = k < static_cast<int>(est.param_labels.size()) ? est.param_labels[k] : Text::integer(k + 1);
      fixed_cols_.push_back(table_.add_category(cols_dim_, l, fg));
    }
    if (static_cast<int>(est.non_redundant.count()) < group.n_fixed_columns)
      table_.note(Text::key("Redundant parameters not displayed ..."));
  }
  if (!est.weight_note.empty()) table_.note(est.weight_note);
}

void IterationHistory::row(int iteration, UpdateType type, int halvings, double m2ll, std::span<const double> covrep,
                           std::span<const double> fixed, std::string_view status) {
  const int r = table_.add_category(rows_dim_, Text::integer(iteration));
  const char* type_key = type == UpdateType::Initial ? "Initial" : type == UpdateType::Scoring ? "Scoring" : "Newton";
  const std::size_t first = table_.put({r, type_col_}, CellValue::str(Text::key(type_key)));
  if (!status.empty()) table_.note_cell(first, Text::key(status));
  table_.put({r, halving_col_}, CellValue::num(halvings, host::Format::count()));
  table_.put({r, ll_col_}, CellValue::num(m2ll, cmd_.likelihood_format));
  for (std::size_t k = 0; k < cov_cols_.size() && k < covrep.size(); ++k)
    table_.put({r, cov_cols_[k]}, CellValue::num(covrep[k], cmd_.parameter_format));
  for (std::size_t k = 0; k < fixed_cols_.size() && k < fixed.size(); ++k)
    if (fixed_cols_[k] >= 0) table_.put({r, fixed_cols_[k]}, CellValue::num(fixed[k], cmd_.parameter_format));
}

void IterationHistory::finish(host::Output& out) { out.add(std::move(table_)); }

}  // namespace mixed::estimate
