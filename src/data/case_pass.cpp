#include "data/case_pass.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "data/number_table.h"
#include "data/record.h"
#include "model/messages.h"
#include "host/fuzzy.h"

namespace mixed::data {

namespace {

using model::MixSettings;
using host::Text;

// The distinct values of one classification variable with their summed case
// weights, as they are met.
struct LevelTally {
  NumberTable numbers;
  std::unordered_map<std::string, double> strings;
};

// What the pass counts besides the MixSettings fields.
struct GroupCounts {
  std::size_t rows = 0;
  std::size_t excluded = 0;
};

std::string trim_right(const std::string& s) {
  std::size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return s.substr(0, n);
}

// The fuzzy-rounded case weight of `row`, 0 when it is missing or not positive.
double case_weight(const host::Dataset& data, std::size_t row) {
  const auto wv = data.weight();
  if (!wv) return 1.0;
  if (data.is_missing(*wv, row, false)) return 0.0;
  const double w = host::fuzzy_round(data.number(*wv, row));
  return w > 0.0 ? w : 0.0;
}

// Fills the classification cells, y and the covariates of `record` (the part
// that "mixcas__" keeps) and returns the number of missing values among them.
int fill_variables(const MixSettings& s, const host::Dataset& data, const RecordLayout& layout,
                   std::size_t row, std::span<double> record) {
  const bool include = s.include_user_missing;
  int missing = 0;
  for (int i = 0; i < s.n_class_vars(); ++i) {
    const std::size_t var = s.classvars[i].var;
    auto cells = record.subspan(layout.class_offset[i], layout.class_length[i]);
    if (data.var(var).numeric())
      cells[0] = data.number(var, row);
    else
      pack_string(data.string(var, row), cells);
    missing += data.is_missing(var, row, include);
  }
  record[layout.y] = data.number(s.dependent, row);
  missing += data.is_missing(s.dependent, row, include);
  for (int c = 0; c < s.n_covariates(); ++c) {
    record[layout.cov + c] = data.number(s.covariates[c], row);
    missing += data.is_missing(s.covariates[c], row, include);
  }
  return missing;
}

void tally_levels(const MixSettings& s, const host::Dataset& data, std::size_t row, double w,
                  std::vector<LevelTally>& tally) {
  for (int i = 0; i < s.n_class_vars(); ++i) {
    const std::size_t var = s.classvars[i].var;
    if (data.var(var).numeric())
      tally[i].numbers[data.number(var, row)] += w;
    else
      tally[i].strings[trim_right(data.string(var, row))] += w;
  }
}

// Reads the group's rows; false when the pass had to stop (memory, interrupt).
bool read_cases(MixSettings& s, host::Engine& e, const host::CaseReader& reader, const RecordLayout& layout,
                std::vector<LevelTally>& tally, GroupCounts& counts) {
  const host::Dataset& data = e.data;
  std::vector<double> record(static_cast<std::size_t>(layout.length), 0.0);
  const std::size_t saved_length = static_cast<std::size_t>(layout.cov + layout.n_covariates);
  if (s.case_scratch && s.case_scratch->records() == 0 && s.case_scratch->record_length() != saved_length)
    s.case_scratch->reset(saved_length);

  for (std::size_t row = reader.begin(); row < reader.end(); ++row) {
    if (model::stop_if_interrupted(e.out)) return false;
    ++counts.rows;
    const double w = case_weight(data, row);
    int missing = fill_variables(s, data, layout, row, record) + (w <= 0.0);
    if (layout.regwgt >= 0) {
      const std::size_t rv = *s.regression_weight;
      record[layout.regwgt] = data.number(rv, row);
      missing += data.is_missing(rv, row, s.include_user_missing) || !(data.number(rv, row) > 0.0);
    }
    if (layout.case_weight >= 0) record[layout.case_weight] = w;

    if (missing == 0) {
      tally_levels(s, data, row, w, tally);
      s.n_observations += w;
      ++s.ncases;
      s.max_case_weight = std::max(s.max_case_weight, w);
      if (w != std::floor(w)) s.fractional_weights = true;
      if (!s.workfile->write(record)) {
        model::issue_message(e.out, 2, model::kOtherClass, host::Severity::Error);
        return false;
      }
    } else {
      ++counts.excluded;
    }
    if (s.case_scratch && !s.case_scratch->write(std::span<const double>(record).first(saved_length))) {
      model::issue_message(e.out, 2, model::kOtherClass, host::Severity::Error);
      return false;
    }
  }
  return true;
}

// The sorted level lists of the group from the tallies.
void sort_levels(MixSettings& s, const host::Dataset& data, std::vector<LevelTally>& tally) {
  s.levels.assign(static_cast<std::size_t>(s.n_class_vars()), model::Levels{});
  for (int i = 0; i < s.n_class_vars(); ++i) {
    model::Levels& lv = s.levels[i];
    lv.numeric = data.var(s.classvars[i].var).numeric();
    if (lv.numeric) {
      std::vector<std::pair<double, double>> v;
      tally[i].numbers.for_each([&](double value, double weight) { v.emplace_back(value, weight); });
      std::sort(v.begin(), v.end());
      for (auto& [value, weight] : v) {
        lv.numbers.push_back(value);
        lv.weights.push_back(weight);
      }
    } else {
      std::vector<std::pair<std::string, double>> v(tally[i].strings.begin(), tally[i].strings.end());
      std::sort(v.begin(), v.end());
      for (auto& [value, weight] : v) {
        lv.strings.push_back(value);
        lv.weights.push_back(weight);
      }
    }
    tally[i] = LevelTally{};
  }
}

// The Case Processing Summary: per classification variable its levels with
// their summed weights and marginal percentages, the valid total, and the
// numbers of included and excluded cases.
void case_processing_summary(const MixSettings& s, host::Engine& e, const GroupCounts& counts) {
  const host::Dataset& data = e.data;
  host::PivotTable t(Text::key("Case Processing Summary"), Text::key("Case Processing Summary"));
  const int props = t.add_dimension(Text::key("Properties"), host::Axis::Row);
  const int value = t.add_dimension(Text::key("Value"), host::Axis::Column);
  const int count = t.add_category(value, Text::key("Count"));
  const int percent = t.add_category(value, Text::key("Marginal Percentage"));

  std::vector<std::size_t> weighted_cells;
  for (int i = 0; i < s.n_class_vars(); ++i) {
    const int group = t.add_category(props, Text::variable(data.var(s.classvars[i].var).name));
    const model::Levels& lv = s.levels[i];
    for (std::size_t k = 0; k < lv.size(); ++k) {
      const int row = t.add_category(props, level_text(s, data, i, k), group);
      weighted_cells.push_back(t.put({row, count}, host::CellValue::num(lv.weights[k], host::Format::count())));
      t.put({row, percent}, host::CellValue::num(100.0 * lv.weights[k] / s.n_observations, host::Format::percent()));
    }
  }
  const int valid = t.add_category(props, Text::key("Valid"));
  weighted_cells.push_back(t.put({valid, count}, host::CellValue::num(s.n_observations, host::Format::count())));

  const int ncases = t.add_category(props, Text::key("N Cases"));
  const int included = t.add_category(props, Text::key("Included"), ncases);
  const int excluded = t.add_category(props, Text::key("Excluded"), ncases);
  const int total = t.add_category(props, Text::key("Total"), ncases);
  const double n_in = static_cast<double>(s.ncases), n_out = static_cast<double>(counts.excluded);
  t.put({included, count}, host::CellValue::num(n_in, host::Format::count()));
  t.put({excluded, count}, host::CellValue::num(n_out, host::Format::count()));
  t.put({total, count}, host::CellValue::num(n_in + n_out, host::Format::count()));

  if (s.fractional_weights)
    for (std::size_t c : weighted_cells) t.note_cell(c, Text::key("Fractional case weight ..."));
  if (const auto wv = data.weight())
    t.note(Text::key("Replication frequency ^1 ...").arg(Text::variable(data.var(*wv).name)));
  e.out.add(std::move(t));
}

// Warnings and the verdict on the group once its cases are read.
bool group_outcome(MixSettings& s, host::Engine& e, const GroupCounts& counts) {
  if (s.fractional_weights && !s.print_case_summary && !s.print_descriptives) model::issue_split_warning(e.out, 1001);
  if (s.ncases == 0) {
    if (counts.rows > 0)
      model::issue_split_warning(e.out, 1002);
    else
      model::issue_message(e.out, 66, model::kOtherClass, host::Severity::Error);
    return false;
  }
  if (s.repeated_type != covstruct::ID && s.max_case_weight > 1.0) {
    model::issue_split_warning(e.out, 1009);
    return false;
  }
  return true;
}

void set_factor_levels(MixSettings& s) {
  s.factor_levels.assign(static_cast<std::size_t>(s.n_factors()), 0);
  for (int i = 0; i < s.n_class_vars(); ++i)
    if (s.classvars[i].factor > 0) s.factor_levels[s.classvars[i].factor - 1] = static_cast<int>(s.levels[i].size());
}

bool run_case_pass(MixSettings& s, host::Engine& e, const host::CaseReader& reader) {
  const RecordLayout layout = case_layout(s, e.data);
  s.record_length = layout.length;
  s.workfile = std::make_unique<host::WorkFile>(e.scratch, static_cast<std::size_t>(layout.length));
  std::vector<LevelTally> tally(static_cast<std::size_t>(s.n_class_vars()));
  GroupCounts counts;
  if (!read_cases(s, e, reader, layout, tally, counts)) return false;
  sort_levels(s, e.data, tally);
  set_factor_levels(s);
  if (s.print_case_summary) case_processing_summary(s, e, counts);
  return group_outcome(s, e, counts);
}

}  // namespace

Text level_text(const MixSettings& s, const host::Dataset& data, int classvar, std::size_t level) {
  const std::size_t var = s.classvars[classvar].var;
  const model::Levels& lv = s.levels[classvar];
  if (lv.numeric)
    return Text::data_value(data.format_number(var, lv.numbers[level]), data.var(var).value_label(lv.numbers[level]));
  return Text::data_value(lv.strings[level], data.var(var).value_label(lv.strings[level]));
}

void case_pass(MixSettings& s, host::Engine& e, host::CaseReader& reader, int& group_counter, bool& analysable) {
  e.out.set_split(reader.split());
  ++group_counter;
  try {
    analysable = run_case_pass(s, e, reader);
  } catch (const std::bad_alloc&) {
    model::issue_message(e.out, 2, model::kOtherClass, host::Severity::Error);
    analysable = false;
  }
}

}  // namespace mixed::data
