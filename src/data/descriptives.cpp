#include "data/descriptives.h"

#include <cmath>
#include <map>
#include <new>
#include <vector>

#include "data/case_pass.h"
#include "data/record.h"
#include "host/workfile.h"
#include "model/messages.h"

namespace mixed::data {

namespace {

using host::Text;

// A table with more keys than this, redundant totals included, is too large
// to be shown whatever is left out; it is not built further.
constexpr std::size_t kMaxCellKeys = 4 * kMaxTableCells;

// Weighted mean and sum of squared deviations of one variable in one cell.
struct Moments {
  double W = 0.0;
  double mean = 0.0;
  double S = 0.0;

  // The provisional-means update with value x of weight w.
  void add(double x, double w) {
    W += w;
    const double d = x - mean;
    mean += d * w / W;
    S += w * d * (x - mean);
  }
  // Pools the moments of a disjoint set of cases (Chan, Golub and LeVeque 1979).
  void merge(const Moments& o) {
    if (o.W == 0.0) return;
    const double total = W + o.W;
    const double d = o.mean - mean;
    S += o.S + d * d * (W / total) * o.W;
    mean += d * (o.W / total);
    W = total;
  }
};

struct CellStats {
  std::size_t cases = 0;      // number of records
  double count = 0.0;         // summed case weight
  std::vector<Moments> vars;  // the dependent variable, then the covariates
  bool redundant = false;

  void merge(const CellStats& o) {
    if (vars.empty()) vars.resize(o.vars.size());
    cases += o.cases;
    count += o.count;
    for (std::size_t v = 0; v < vars.size(); ++v) vars[v].merge(o.vars[v]);
  }
};

// Cells by their positions (1..L a level, L + 1 the total), which in
// lexicographic order is the order of their mixed-radix keys.
using CellMap = std::map<std::vector<int>, CellStats>;

model::Msg accumulate_cases(const model::Command& cmd, data::GroupData& group, host::Engine& e, CellMap& cells) {
  const RecordLayout layout = ordered_layout(cmd, group, e.data);
  const std::size_t nvars = 1 + static_cast<std::size_t>(cmd.n_covariates());
  std::vector<double> rec(static_cast<std::size_t>(layout.length));
  std::vector<int> levels(static_cast<std::size_t>(cmd.n_class_vars()));
  group.workfile->rewind();
  for (std::size_t r = 0; r < group.ncases; ++r) {
    if (model::stop_if_interrupted(e.out)) return model::Msg::Reported;
    if (!group.workfile->read(rec)) return model::Msg::UnexpectedEndOfScratchFile;
    decode_class_key(layout, rec, levels);
    CellStats& c = cells[levels];
    if (c.vars.empty()) c.vars.resize(nvars);
    const double w = layout.weight(rec);
    ++c.cases;
    c.count += w;
    c.vars[0].add(rec[layout.y], w * layout.regression_weight(rec));
    for (int k = 0; k < cmd.n_covariates(); ++k) c.vars[1 + k].add(rec[layout.cov + k], w);
  }
  return model::Msg::None;
}

bool totals_formed(const model::Command& cmd, const data::GroupData& group) {
  if (cmd.n_class_vars() == 0) return false;
  for (const data::Levels& lv : group.levels)
    if (lv.size() < 2) return false;
  return true;
}

// Every total cell as the pooled moments of the cells it covers: one
// classification variable at a time, each cell is pooled into the cell that
// has the total in that variable's place.  False when the table outgrows
// kMaxCellKeys.
bool form_totals(const model::Command& cmd, const data::GroupData& group, CellMap& cells) {
  for (int j = 0; j < cmd.n_class_vars(); ++j) {
    const int total = static_cast<int>(group.levels[j].size()) + 1;
    for (auto& [key, c] : cells) {
      if (key[j] == total) continue;
      std::vector<int> to = key;
      to[j] = total;
      cells[to].merge(c);
      if (cells.size() > kMaxCellKeys) return false;
    }
  }
  return true;
}

// A total cell with as many cases as a cell one step below it holds exactly
// that cell's cases (weights are positive) and is marked redundant; every
// redundant total is one step above a cell of equal count.
bool mark_redundant(const model::Command& cmd, const data::GroupData& group, CellMap& cells) {
  bool any = false;
  for (auto& [key, c] : cells) {
    for (int j = 0; j < cmd.n_class_vars(); ++j) {
      const int total = static_cast<int>(group.levels[j].size()) + 1;
      if (key[j] == total) continue;
      std::vector<int> to = key;
      to[j] = total;
      CellStats& t = cells.at(to);
      if (t.count > 0.0 && t.cases <= c.cases && !t.redundant) {
        t.redundant = true;
        any = true;
      }
    }
  }
  return any;
}

// sd = sqrt(S / (W - 1)); 0 when S <= 0 (a constant); missing when W <= 1.
double descriptive_sd(double W, double S) {
  if (!(W > 1.0)) return host::SYSMIS;
  return S > 0.0 ? std::sqrt(S / (W - 1.0)) : 0.0;
}

// cv = 100 sd / m; missing when sd is or m = 0.
double descriptive_cv(double W, double m, double S) {
  if (!(W > 1.0) || m == 0.0) return host::SYSMIS;
  return S > 0.0 ? 100.0 * descriptive_sd(W, S) / m : 0.0;
}

void put_statistics(host::PivotTable& t, std::vector<int>& at, int stat_dim, int first_stat, const CellStats& c,
                    const Moments& m) {
  const host::CellValue values[4] = {
      host::CellValue::num(c.count, host::Format::count()),
      host::CellValue::num(m.mean, host::Format::mean()),
      host::CellValue::num(descriptive_sd(m.W, m.S), host::Format::stddev()),
      host::CellValue::num(descriptive_cv(m.W, m.mean, m.S), host::Format::percent()),
  };
  for (int k = 0; k < 4; ++k) {
    at[stat_dim] = first_stat + k;
    t.put(at, values[k]);
  }
}

void draw_table(const model::Command& cmd, const data::GroupData& group, host::Engine& e, const CellMap* cells,
                bool totals, bool redundant) {
  const host::Dataset& data = e.data;
  host::PivotTable t(Text::key("Descriptive Statistics"), Text::key("Descriptive Statistics"));
  const int var_dim = t.add_dimension(Text::key("Variables"), host::Axis::Row);
  std::vector<int> var_cat;
  var_cat.push_back(t.add_category(var_dim, Text::variable(data.var(cmd.dependent).name)));
  for (std::size_t c : cmd.covariates) var_cat.push_back(t.add_category(var_dim, Text::variable(data.var(c).name)));

  std::vector<int> class_dim, first_level;
  for (int i = 0; i < cmd.n_class_vars(); ++i) {
    class_dim.push_back(t.add_dimension(Text::variable(data.var(cmd.classvars[i].var).name), host::Axis::Row));
    first_level.push_back(static_cast<int>(t.dimensions()[class_dim.back()].categories.size()));
    for (std::size_t k = 0; k < group.levels[i].size(); ++k)
      t.add_category(class_dim.back(), level_text(cmd, group, data, i, k));
    if (totals) t.add_category(class_dim.back(), Text::key("Total"));
  }
  const int stat_dim = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int first_stat = t.add_category(stat_dim, Text::key("Count"));
  t.add_category(stat_dim, Text::key("Mean"));
  t.add_category(stat_dim, Text::key("Standard Deviation"));
  t.add_category(stat_dim, Text::key("Coefficient of Variation"));

  if (cells != nullptr) {
    std::vector<int> at(t.dimensions().size());
    for (std::size_t v = 0; v < var_cat.size(); ++v) {
      at[var_dim] = var_cat[v];
      for (const auto& [key, c] : *cells) {
        if (c.redundant) continue;
        for (int i = 0; i < cmd.n_class_vars(); ++i) at[class_dim[i]] = first_level[i] + key[i] - 1;
        put_statistics(t, at, stat_dim, first_stat, c, c.vars[v]);
      }
    }
  } else if (e.out.split().empty()) {
    t.note(Text::key("Desc too many cells ^1 ...").arg(Text::integer(static_cast<long long>(kMaxTableCells))));
  } else {
    t.note(Text::key("Desc split [%1=%2:,^1=^2:]1 too many cells ^2 ...")
               .list(e.out.split_list())
               .arg(Text::integer(static_cast<long long>(kMaxTableCells))));
  }

  if (group.fractional_weights) t.note(Text::key("Fractional case weight ..."));
  if (cmd.regression_weight)
    t.note(Text::key("Regression weight ^1 applied to dependent ^2 ...")
               .arg(Text::variable(data.var(*cmd.regression_weight).name))
               .arg(Text::variable(data.var(cmd.dependent).name)));
  if (redundant) t.note(Text::key("Redundant totals are omitted ..."));
  e.out.add(std::move(t));
}

model::Msg run_descriptives(const model::Command& cmd, data::GroupData& group, host::Engine& e) {
  CellMap cells;
  if (const model::Msg status = accumulate_cases(cmd, group, e, cells); status != model::Msg::None) return status;
  const bool totals = totals_formed(cmd, group);
  bool fits = true;
  bool redundant = false;
  if (totals) {
    fits = form_totals(cmd, group, cells);
    if (fits) redundant = mark_redundant(cmd, group, cells);
  }
  if (fits) {
    std::size_t shown = 0;
    for (const auto& [key, c] : cells) shown += !c.redundant;
    fits = shown * (1 + static_cast<std::size_t>(cmd.n_covariates())) * 4 <= kMaxTableCells;
  }
  draw_table(cmd, group, e, fits ? &cells : nullptr, totals, redundant);
  return model::Msg::None;
}

}  // namespace

void descriptives(const model::Command& cmd, data::GroupData& group, host::Engine& e) {
  model::Msg status = model::Msg::None;
  try {
    status = run_descriptives(cmd, group, e);
  } catch (const std::bad_alloc&) {
    status = model::Msg::InsufficientOutputMemory;
  }
  if (status != model::Msg::None) model::issue_message(e.out, status, model::kOtherClass, host::Severity::Error);
}

}  // namespace mixed::data
