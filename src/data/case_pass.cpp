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
#include "host/fuzzy.h"
#include "model/messages.h"

namespace mixed::data {

namespace {

using host::Text;

// The distinct values of one classification variable with their summed case
// weights, as they are met.
struct LevelTally {
  NumberTable numbers;
  std::unordered_map<std::string, double> strings;
};

// What the pass counts besides the fields of GroupData.
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
int fill_variables(const model::Command& cmd, const host::Dataset& data, const RecordLayout& layout, std::size_t row,
                   std::span<double> record) {
  const bool include = cmd.include_user_missing;
  int missing = 0;
  for (int i = 0; i < cmd.n_class_vars(); ++i) {
    const std::size_t var = cmd.classvars[i].var;
    auto cells = record.subspan(layout.class_offset[i], layout.class_length[i]);
    if (data.var(var).numeric())
      cells[0] = data.number(var, row);
    else
      pack_string(data.string(var, row), cells);
    missing += data.is_missing(var, row, include);
  }
  record[layout.y] = data.number(cmd.dependent, row);
  missing += data.is_missing(cmd.dependent, row, include);
  for (int c = 0; c < cmd.n_covariates(); ++c) {
    record[layout.cov + c] = data.number(cmd.covariates[c], row);
    missing += data.is_missing(cmd.covariates[c], row, include);
  }
  return missing;
}

void tally_levels(const model::Command& cmd, const host::Dataset& data, std::size_t row, double w,
                  std::vector<LevelTally>& tally) {
  for (int i = 0; i < cmd.n_class_vars(); ++i) {
    const std::size_t var = cmd.classvars[i].var;
    if (data.var(var).numeric())
      tally[i].numbers[data.number(var, row)] += w;
    else
      tally[i].strings[trim_right(data.string(var, row))] += w;
  }
}

// Reads the group's rows; false when the pass had to stop (memory, interrupt).
bool read_cases(const model::Command& cmd, data::GroupData& group, data::SaveFiles& save_files, host::Engine& e,
                const host::CaseReader& reader, const RecordLayout& layout, std::vector<LevelTally>& tally,
                GroupCounts& counts) {
  const host::Dataset& data = e.data;
  std::vector<double> record(static_cast<std::size_t>(layout.length), 0.0);
  const std::size_t saved_length = static_cast<std::size_t>(layout.cov + layout.n_covariates);
  if (save_files.cases && save_files.cases->records() == 0 && save_files.cases->record_length() != saved_length)
    save_files.cases->reset(saved_length);

  for (std::size_t row = reader.begin(); row < reader.end(); ++row) {
    if (model::stop_if_interrupted(e.out)) return false;
    ++counts.rows;
    const double w = case_weight(data, row);
    int missing = fill_variables(cmd, data, layout, row, record) + (w <= 0.0);
    if (layout.regwgt >= 0) {
      const std::size_t rv = *cmd.regression_weight;
      record[layout.regwgt] = data.number(rv, row);
      missing += data.is_missing(rv, row, cmd.include_user_missing) || !(data.number(rv, row) > 0.0);
    }
    if (layout.case_weight >= 0) record[layout.case_weight] = w;

    if (missing == 0) {
      tally_levels(cmd, data, row, w, tally);
      group.n_observations += w;
      ++group.ncases;
      group.max_case_weight = std::max(group.max_case_weight, w);
      if (w != std::floor(w)) group.fractional_weights = true;
      if (!group.workfile->write(record)) {
        model::issue_message(e.out, model::Msg::InsufficientDataMemory, model::kOtherClass, host::Severity::Error);
        return false;
      }
    } else {
      ++counts.excluded;
    }
    if (save_files.cases && !save_files.cases->write(std::span<const double>(record).first(saved_length))) {
      model::issue_message(e.out, model::Msg::InsufficientDataMemory, model::kOtherClass, host::Severity::Error);
      return false;
    }
  }
  return true;
}

// The sorted level lists of the group from the tallies.
void sort_levels(const model::Command& cmd, data::GroupData& group, const host::Dataset& data,
                 std::vector<LevelTally>& tally) {
  group.levels.assign(static_cast<std::size_t>(cmd.n_class_vars()), data::Levels{});
  for (int i = 0; i < cmd.n_class_vars(); ++i) {
    data::Levels& lv = group.levels[i];
    lv.numeric = data.var(cmd.classvars[i].var).numeric();
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
void case_processing_summary(const model::Command& cmd, const data::GroupData& group, host::Engine& e,
                             const GroupCounts& counts) {
  const host::Dataset& data = e.data;
  host::PivotTable t(Text::key("Case Processing Summary"), Text::key("Case Processing Summary"));
  const int props = t.add_dimension(Text::key("Properties"), host::Axis::Row);
  const int value = t.add_dimension(Text::key("Value"), host::Axis::Column);
  const int count = t.add_category(value, Text::key("Count"));
  const int percent = t.add_category(value, Text::key("Marginal Percentage"));

  std::vector<std::size_t> weighted_cells;
  for (int i = 0; i < cmd.n_class_vars(); ++i) {
    const int variable_group = t.add_category(props, Text::variable(data.var(cmd.classvars[i].var).name));
    const data::Levels& lv = group.levels[i];
    for (std::size_t k = 0; k < lv.size(); ++k) {
      const int row = t.add_category(props, level_text(cmd, group, data, i, k), variable_group);
      weighted_cells.push_back(t.put({row, count}, host::CellValue::num(lv.weights[k], host::Format::count())));
      t.put({row, percent},
            host::CellValue::num(100.0 * lv.weights[k] / group.n_observations, host::Format::percent()));
    }
  }
  const int valid = t.add_category(props, Text::key("Valid"));
  weighted_cells.push_back(t.put({valid, count}, host::CellValue::num(group.n_observations, host::Format::count())));

  const int ncases = t.add_category(props, Text::key("N Cases"));
  const int included = t.add_category(props, Text::key("Included"), ncases);
  const int excluded = t.add_category(props, Text::key("Excluded"), ncases);
  const int total = t.add_category(props, Text::key("Total"), ncases);
  const double n_in = static_cast<double>(group.ncases), n_out = static_cast<double>(counts.excluded);
  t.put({included, count}, host::CellValue::num(n_in, host::Format::count()));
  t.put({excluded, count}, host::CellValue::num(n_out, host::Format::count()));
  t.put({total, count}, host::CellValue::num(n_in + n_out, host::Format::count()));

  if (group.fractional_weights)
    for (std::size_t c : weighted_cells) t.note_cell(c, Text::key("Fractional case weight ..."));
  if (const auto wv = data.weight())
    t.note(Text::key("Replication frequency ^1 ...").arg(Text::variable(data.var(*wv).name)));
  e.out.add(std::move(t));
}

// Warnings and the verdict on the group once its cases are read.
bool group_outcome(const model::Command& cmd, data::GroupData& group, host::Engine& e, const GroupCounts& counts) {
  if (group.fractional_weights && !cmd.print_case_summary && !cmd.print_descriptives)
    model::issue_split_warning(e.out, model::Msg::FractionalCaseWeight);
  if (group.ncases == 0) {
    if (counts.rows > 0)
      model::issue_split_warning(e.out, model::Msg::NoValidCases);
    else
      model::issue_message(e.out, model::Msg::NoCasesRemainInTheAnalysis, model::kOtherClass, host::Severity::Error);
    return false;
  }
  if (cmd.repeated_type != covstruct::ID && group.max_case_weight > 1.0) {
    model::issue_split_warning(e.out, model::Msg::CaseWeightAboveOneWithRepeated);
    return false;
  }
  return true;
}

void set_factor_levels(const model::Command& cmd, data::GroupData& group) {
  group.factor_levels.assign(static_cast<std::size_t>(cmd.n_factors()), 0);
  for (int i = 0; i < cmd.n_class_vars(); ++i)
    if (cmd.classvars[i].factor > 0)
      group.factor_levels[cmd.classvars[i].factor - 1] = static_cast<int>(group.levels[i].size());
}

bool run_case_pass(const model::Command& cmd, data::GroupData& group, data::SaveFiles& save_files, host::Engine& e,
                   const host::CaseReader& reader) {
  const RecordLayout layout = case_layout(cmd, e.data);
  group.record_length = layout.length;
  group.workfile = std::make_unique<host::WorkFile>(e.scratch, static_cast<std::size_t>(layout.length));
  std::vector<LevelTally> tally(static_cast<std::size_t>(cmd.n_class_vars()));
  GroupCounts counts;
  if (!read_cases(cmd, group, save_files, e, reader, layout, tally, counts)) return false;
  sort_levels(cmd, group, e.data, tally);
  set_factor_levels(cmd, group);
  if (cmd.print_case_summary) case_processing_summary(cmd, group, e, counts);
  return group_outcome(cmd, group, e, counts);
}

}  // namespace

Text level_text(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data, int classvar,
                std::size_t level) {
  const std::size_t var = cmd.classvars[classvar].var;
  const data::Levels& lv = group.levels[classvar];
  if (lv.numeric)
    return Text::data_value(data.format_number(var, lv.numbers[level]), data.var(var).value_label(lv.numbers[level]));
  return Text::data_value(lv.strings[level], data.var(var).value_label(lv.strings[level]));
}

void case_pass(const model::Command& cmd, data::GroupData& group, data::SaveFiles& save_files, host::Engine& e,
               host::CaseReader& reader, int& group_counter, bool& analysable) {
  e.out.set_split(reader.split());
  ++group_counter;
  try {
    analysable = run_case_pass(cmd, group, save_files, e, reader);
  } catch (const std::bad_alloc&) {
    model::issue_message(e.out, model::Msg::InsufficientDataMemory, model::kOtherClass, host::Severity::Error);
    analysable = false;
  }
}

}  // namespace mixed::data
