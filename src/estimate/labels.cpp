#include "estimate/labels.h"

#include <algorithm>

#include "estimate/covariance_labels.h"
#include "model/messages.h"

namespace mixed::estimate {

using host::Text;

Text column_label(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                  std::span<const int> effect, std::int64_t cell, std::span<const std::size_t> subjects) {
  const bool intercept = std::all_of(effect.begin(), effect.end(), [](int c) { return c == 0; });
  std::vector<host::TextGroup> subject_items;
  for (std::size_t v : subjects) subject_items.push_back({Text::variable(data.var(v).name)});
  if (intercept) {
    if (subjects.empty()) return Text::key("Intercept");
    return Text::key("Intercept | [%1:*^1:]1").list(std::move(subject_items));
  }
  std::vector<host::TextGroup> items;
  estimate::design_column_label(cmd, group, data, effect, cell, items);
  if (subjects.empty()) return Text::key("[:^1:]1").list(std::move(items));
  return Text::key("[:^1:]1 | [%1:*^1:]2").list(std::move(items)).list(std::move(subject_items));
}

void make_parameter_labels(const model::Command& cmd, const data::GroupData& group, estimate::Estimates& est,
                           host::Engine& e) {
  const host::Dataset& data = e.data;
  est.dependent_note = Text::key("Dep variable is ^1").arg(Text::variable(data.var(cmd.dependent).name));
  est.weight_note = cmd.regression_weight
                        ? Text::key("Reg weight is ^1").arg(Text::variable(data.var(*cmd.regression_weight).name))
                        : Text();

  // Parameter labels are cheap beside the fit; they are made for every group,
  // since the model file and the tables of later stages use them too.
  est.param_labels.clear();
  for (int t = 0; t < cmd.n_fixed_effects(); ++t)
    for (int c = 0; c < group.fx_ncol[t]; ++c) {
      const int col = group.fx_fcol[t] + c;
      est.param_labels.push_back(column_label(cmd, group, data, cmd.fixed.row(t), group.fx_cell[col], {}));
    }
  for (int u = 0; u < cmd.n_random_effects(); ++u)
    for (int c = 0; c < group.rn_ncol[u]; ++c) {
      const int col = group.rn_fcol[u] + c;
      est.param_labels.push_back(
          column_label(cmd, group, data, cmd.random.row(u), group.rn_cell[col], cmd.random_subject_lists[u]));
    }

  est.covpar_labels.clear();
  if (!cmd.repeated_given) {
    est.covpar_labels.push_back(Text::key("Residual"));
  } else if (estimate::covariance_parameter_labels(cmd, group, data, std::max(1, group.n_repeated_levels), false, 0,
                                                   cmd.repeated_type, est.covpar_labels) != 0) {
    model::issue_message(e.out, model::Msg::InsufficientOutputMemory, model::kOtherClass, host::Severity::Error);
    return;
  }
  for (std::size_t b = 0; b < group.blocks.size(); ++b) {
    if (estimate::covariance_parameter_labels(cmd, group, data, group.blocks[b].dim, true, static_cast<int>(b),
                                              group.blocks[b].cov_type, est.covpar_labels) != 0) {
      model::issue_message(e.out, model::Msg::InsufficientOutputMemory, model::kOtherClass, host::Severity::Error);
      return;
    }
  }
  est.block_labels = cmd.random_block_names;
  while (est.block_labels.size() < group.blocks.size())
    est.block_labels.push_back(Text::integer(static_cast<long long>(est.block_labels.size() + 1)));
}

}  // namespace mixed::estimate
