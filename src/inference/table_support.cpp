#include "inference/table_support.h"

#include <string>

#include "covstruct/catalogue.h"
#include "host/dataset.h"
#include "host/fuzzy.h"

namespace mixed::inference {

using host::Text;

host::PivotTable new_table(std::string_view title, std::string_view name) {
  return host::PivotTable(Text::key(title), Text::key(name));
}

void annotate(host::PivotTable& table, const estimate::Estimates& est) {
  table.note(est.dependent_note);
  if (!est.weight_note.empty()) table.note(est.weight_note);
}

host::CellValue df_value(double df) {
  if (!host::is_sysmis(df) && df >= 1.0 && host::is_fuzzy_whole(df))
    return host::CellValue::num(df, host::Format::count());
  return host::CellValue::num(df, host::Format::genstat());
}

Text interval_label(const model::Command& cmd, std::string_view key) {
  constexpr std::size_t kMaxCinText = 40;
  std::string text = cmd.confidence_text.substr(0, kMaxCinText);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return Text::key(key).arg(Text::raw(text));
}

std::vector<ParameterGroup> parameter_groups(const model::Command& cmd, const data::GroupData& group,
                                             const estimate::Estimates& est) {
  std::vector<ParameterGroup> groups;
  if (!cmd.repeated_given)
    groups.push_back({0, 1, cmd.repeated_type, Text()});
  else
    groups.push_back({0, est.n_residual_cov_params, cmd.repeated_type, Text::key("Repeated Measures")});
  int first = groups.front().count;
  for (std::size_t b = 0; b < group.blocks.size(); ++b) {
    const int n = covstruct::parameter_count(group.blocks[b].dim, group.blocks[b].cov_type);
    const Text label = b < est.block_labels.size() ? est.block_labels[b] : Text::integer(static_cast<long long>(b + 1));
    groups.push_back({first, n, group.blocks[b].cov_type, label});
    first += n;
  }
  return groups;
}

std::vector<int> parameter_categories(host::PivotTable& table, int dim, const model::Command& cmd,
                                      const data::GroupData& group, const estimate::Estimates& est) {
  std::vector<int> cats;
  for (const ParameterGroup& g : parameter_groups(cmd, group, est)) {
    const int parent = g.label.empty() ? -1 : table.add_category(dim, g.label);
    for (int k = 0; k < g.count; ++k) cats.push_back(table.add_category(dim, covpar_label(est, g.first + k), parent));
  }
  return cats;
}

Text covpar_label(const estimate::Estimates& est, int k) {
  if (k >= 0 && static_cast<std::size_t>(k) < est.covpar_labels.size()) return est.covpar_labels[k];
  return Text::integer(k + 1);
}

Text param_label(const estimate::Estimates& est, int k) {
  if (k >= 0 && static_cast<std::size_t>(k) < est.param_labels.size()) return est.param_labels[k];
  return Text::integer(k + 1);
}

}  // namespace mixed::inference
