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

void annotate(host::PivotTable& table, const model::MixSettings& s) {
  table.note(s.dependent_note);
  if (!s.weight_note.empty()) table.note(s.weight_note);
}

host::CellValue df_value(double df) {
  if (!host::is_sysmis(df) && df >= 1.0 && host::is_fuzzy_whole(df))
    return host::CellValue::num(df, host::Format::count());
  return host::CellValue::num(df, host::Format::genstat());
}

Text interval_label(const model::MixSettings& s, std::string_view key) {
  constexpr std::size_t kMaxCinText = 40;
  std::string text = s.confidence_text.substr(0, kMaxCinText);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return Text::key(key).arg(Text::raw(text));
}

std::vector<ParameterGroup> parameter_groups(const model::MixSettings& s) {
  std::vector<ParameterGroup> groups;
  if (!s.repeated_given)
    groups.push_back({0, 1, s.repeated_type, Text()});
  else
    groups.push_back({0, s.n_residual_cov_params, s.repeated_type, Text::key("Repeated Measures")});
  int first = groups.front().count;
  for (std::size_t b = 0; b < s.blocks.size(); ++b) {
    const int n = covstruct::parameter_count(s.blocks[b].dim, s.blocks[b].cov_type);
    const Text label = b < s.block_labels.size() ? s.block_labels[b] : Text::integer(static_cast<long long>(b + 1));
    groups.push_back({first, n, s.blocks[b].cov_type, label});
    first += n;
  }
  return groups;
}

std::vector<int> parameter_categories(host::PivotTable& table, int dim, const model::MixSettings& s) {
  std::vector<int> cats;
  for (const ParameterGroup& g : parameter_groups(s)) {
    const int parent = g.label.empty() ? -1 : table.add_category(dim, g.label);
    for (int k = 0; k < g.count; ++k) cats.push_back(table.add_category(dim, covpar_label(s, g.first + k), parent));
  }
  return cats;
}

Text covpar_label(const model::MixSettings& s, int k) {
  if (k >= 0 && static_cast<std::size_t>(k) < s.covpar_labels.size()) return s.covpar_labels[k];
  return Text::integer(k + 1);
}

Text param_label(const model::MixSettings& s, int k) {
  if (k >= 0 && static_cast<std::size_t>(k) < s.param_labels.size()) return s.param_labels[k];
  return Text::integer(k + 1);
}

}  // namespace mixed::inference
