#include "estimate/labels.h"

#include <algorithm>

#include "estimate/covariance_labels.h"
#include "model/messages.h"

namespace mixed::estimate {

using host::Text;

Text column_label(const model::MixSettings& s, const host::Dataset& data, std::span<const int> effect,
                  std::int64_t cell, std::span<const std::size_t> subjects) {
  const bool intercept = std::all_of(effect.begin(), effect.end(), [](int c) { return c == 0; });
  std::vector<host::TextGroup> subject_items;
  for (std::size_t v : subjects) subject_items.push_back({Text::variable(data.var(v).name)});
  if (intercept) {
    if (subjects.empty()) return Text::key("Intercept");
    return Text::key("Intercept | [%1:*^1:]1").list(std::move(subject_items));
  }
  std::vector<host::TextGroup> items;
  estimate::design_column_label(s, data, effect, cell, items);
  if (subjects.empty()) return Text::key("[:^1:]1").list(std::move(items));
  return Text::key("[:^1:]1 | [%1:*^1:]2").list(std::move(items)).list(std::move(subject_items));
}

void make_parameter_labels(model::MixSettings& s, host::Engine& e) {
  const host::Dataset& data = e.data;
  s.dependent_note = Text::key("Dep variable is ^1").arg(Text::variable(data.var(s.dependent).name));
  s.weight_note = s.regression_weight ? Text::key("Reg weight is ^1").arg(Text::variable(data.var(*s.regression_weight).name)) : Text();

  // Parameter labels are cheap beside the fit; they are made for every group,
  // since the model file and the tables of later stages use them too.
  s.param_labels.clear();
  for (int t = 0; t < s.n_fixed_effects(); ++t)
    for (int c = 0; c < s.fx_ncol[t]; ++c) {
      const int col = s.fx_fcol[t] + c;
      s.param_labels.push_back(column_label(s, data, s.fixed.row(t), s.fx_cell[col], {}));
    }
  for (int u = 0; u < s.n_random_effects(); ++u)
    for (int c = 0; c < s.rn_ncol[u]; ++c) {
      const int col = s.rn_fcol[u] + c;
      s.param_labels.push_back(column_label(s, data, s.random.row(u), s.rn_cell[col], s.random_subject_lists[u]));
    }

  s.covpar_labels.clear();
  if (!s.repeated_given) {
    s.covpar_labels.push_back(Text::key("Residual"));
  } else if (estimate::covariance_parameter_labels(s, data, std::max(1, s.n_repeated_levels), false, 0, s.repeated_type, s.covpar_labels) != 0) {
    model::issue_message(e.out, 4, model::kOtherClass, host::Severity::Error);
    return;
  }
  for (std::size_t b = 0; b < s.blocks.size(); ++b) {
    if (estimate::covariance_parameter_labels(s, data, s.blocks[b].dim, true, static_cast<int>(b), s.blocks[b].cov_type,
                          s.covpar_labels) != 0) {
      model::issue_message(e.out, 4, model::kOtherClass, host::Severity::Error);
      return;
    }
  }
  s.block_labels = s.random_block_names;
  while (s.block_labels.size() < s.blocks.size())
    s.block_labels.push_back(Text::integer(static_cast<long long>(s.block_labels.size() + 1)));
}

}  // namespace mixed::estimate
