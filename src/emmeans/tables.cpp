#include "emmeans/tables.h"

#include <cmath>
#include <string>

#include "data/case_pass.h"
#include "emmeans/adjust.h"
#include "host/distributions.h"
#include "host/fuzzy.h"
#include "inference/fixed_tables.h"
#include "inference/table_support.h"
#include "model/messages.h"

namespace mixed::emmeans {

namespace {

using host::CellValue;
using host::Format;
using host::Text;

const std::string& factor_name(const model::Command& cmd, const host::Dataset& data, int f) {
  return data.var(cmd.factors[static_cast<std::size_t>(f)]).name;
}

// One row dimension per listed TABLES position, labelled with the factor's name.
std::vector<int> factor_dimensions(host::PivotTable& t, const model::Command& cmd, const host::Dataset& data,
                                   const CellTable& cells, std::span<const std::size_t> positions) {
  std::vector<int> dims;
  for (std::size_t j : positions)
    dims.push_back(t.add_dimension(Text::variable(factor_name(cmd, data, cells.factors[j])), host::Axis::Row));
  return dims;
}

std::vector<std::size_t> all_positions(const CellTable& cells) {
  std::vector<std::size_t> pos(cells.factors.size());
  for (std::size_t j = 0; j < pos.size(); ++j) pos[j] = j;
  return pos;
}

std::vector<std::size_t> other_positions(const CellTable& cells, std::size_t compare) {
  std::vector<std::size_t> pos;
  for (std::size_t j = 0; j < cells.factors.size(); ++j)
    if (j != compare) pos.push_back(j);
  return pos;
}

// The row categories of `cell` in the dimensions of the listed TABLES positions.
std::vector<int> level_categories(host::PivotTable& t, const model::Command& cmd, const data::GroupData& group,
                                  const host::Dataset& data, host::Output& out, const CellTable& cells,
                                  std::size_t cell, std::span<const int> dims, std::span<const std::size_t> positions) {
  std::vector<int> at;
  for (std::size_t k = 0; k < positions.size(); ++k) {
    const std::size_t j = positions[k];
    at.push_back(t.category(dims[k], factor_level_text(cmd, group, data, out, cells.factors[j], cells.level(cell, j))));
  }
  return at;
}

std::size_t put(host::PivotTable& t, std::vector<int> at, int column, CellValue value) {
  at.push_back(column);
  return t.put(at, std::move(value));
}

const char* state_note(int state) {
  switch (state) {
    case kModified: return "Means modified ...";
    case kNotEstimable: return "Means nonestimable ...";
    case kUnobserved: return "Subject level unobserved ...";
    default: return nullptr;
  }
}

// The notes of one comparison, the absent and the non-estimable difference
// first since they explain a missing value.
std::vector<const char*> comparison_notes(unsigned flags) {
  if (flags & kIAbsent) return {"Mean (I) not exist ..."};
  if (flags & kJAbsent) return {"Mean (J) not exist ..."};
  if (flags & kDifferenceNotEstimable) return {"Comparison nonestimable ..."};
  if ((flags & kINotEstimable) && (flags & kJNotEstimable)) return {"Means (IJ) nonestim but ..."};
  std::vector<const char*> notes;
  if (flags & kINotEstimable) notes.push_back("Means (I) nonestim ...");
  if (flags & kIModified) notes.push_back("Means (I) modified ...");
  if (flags & kJNotEstimable) notes.push_back("Means (J) nonestim ...");
  if (flags & kJModified) notes.push_back("Means (J) modified ...");
  return notes;
}

const char* adjustment_note(int adjustment) {
  switch (adjustment) {
    case kBonferroni: return "EMMEAN Bonferroni ...";
    case kSidak: return "EMMEAN Sidak ...";
    default: return "EMMEAN LSD ...";
  }
}

}  // namespace

Text table_name(const model::Command& cmd, const host::Dataset& data, const model::EmmeansRecord& rec, int k) {
  const bool numbered = cmd.n_emmeans() > 1;
  if (rec.table_kind != 2)
    return numbered ? Text::key("^1. Grand Mean").arg(Text::integer(k)) : Text::key("Grand Mean");
  std::string name = numbered ? std::to_string(k) + ". " : "";
  for (std::size_t j = 0; j < rec.factors.size(); ++j) {
    if (j > 0) name += " * ";
    name += factor_name(cmd, data, rec.factors[j]);
  }
  return Text::key("[:^1:]1").list({{Text::raw(name)}});
}

Text covariate_note(const model::Command& cmd, const host::Dataset& data, const model::EmmeansRecord& rec,
                    std::span<const double> v) {
  std::vector<host::TextGroup> items;
  for (int k = 0; k < cmd.n_covariates(); ++k) {
    bool in_fixed = false;
    for (std::size_t t = 0; t < cmd.fixed.rows() && !in_fixed; ++t)
      in_fixed = cmd.fixed.row(t)[static_cast<std::size_t>(cmd.n_factors() + k)] != 0;
    if (!in_fixed) continue;
    const host::Variable& var = data.var(cmd.covariates[static_cast<std::size_t>(k)]);
    const bool given = static_cast<std::size_t>(k) < rec.cov_mode.size() && rec.cov_mode[k] == -1;
    const Format format = given ? Format::print(var.format.width, var.format.decimals) : Format::mean();
    items.push_back({Text::variable(var.name), Text::number(v[k], format)});
  }
  if (items.empty()) return Text();
  return Text::key("Evaluated at [%1 = %2:, ^1 = ^2:]1").list(std::move(items));
}

Text factor_level_text(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data,
                       host::Output& out, int factor, int level) {
  for (int i = 0; i < cmd.n_class_vars(); ++i)
    if (cmd.classvars[i].factor == factor + 1)
      return data::level_text(cmd, group, data, i, static_cast<std::size_t>(level));
  MIXED_INVARIANT(out, false);
  return Text::integer(level + 1);
}

host::PivotTable means_table(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                             const host::Dataset& data, host::Output& out, const CellTable& cells, const Text& title,
                             const Text& covnote) {
  host::PivotTable t(title, Text::key("Estimated Marginal Means"));
  const std::vector<std::size_t> positions = all_positions(cells);
  const std::vector<int> dims = factor_dimensions(t, cmd, data, cells, positions);
  const int stats = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int mean = t.add_category(stats, Text::key("Mean"));
  const int se = t.add_category(stats, Text::key("Standard Error"));
  const int df = t.add_category(stats, Text::key("Degrees of Freedom"));
  const int interval = t.add_category(stats, inference::interval_label(cmd));
  const int lower = t.add_category(stats, Text::key("Lower Bound"), interval);
  const int upper = t.add_category(stats, Text::key("Upper Bound"), interval);

  for (std::size_t c = 0; c < cells.ncell; ++c) {
    const std::vector<int> at = level_categories(t, cmd, group, data, out, cells, c, dims, positions);
    const bool shown = cells.shown(c);
    const auto value = [&](double x, Format f) { return shown ? CellValue::num(x, f) : CellValue::missing(f); };
    const std::size_t m = put(t, at, mean, value(cells.mean[c], Format::coefficient()));
    t.note_cell(m, est.dependent_note);
    if (!covnote.empty()) t.note_cell(m, covnote);
    if (const char* note = state_note(cells.state[c])) t.note_cell(m, Text::key(note));
    put(t, at, se, value(cells.se[c], Format::genstat()));
    put(t, at, df, shown ? inference::df_value(cells.df[c]) : CellValue::missing());
    double lo = host::SYSMIS, hi = host::SYSMIS;
    if (shown && !host::is_sysmis(cells.df[c]) && cells.df[c] > 0.0) {
      const double q = inference::interval_quantile(cmd.confidence_level, cells.df[c]);
      if (!host::is_sysmis(q) && !host::is_sysmis(cells.se[c])) {
        lo = cells.mean[c] - q * cells.se[c];
        hi = cells.mean[c] + q * cells.se[c];
      }
    }
    put(t, at, lower, CellValue::num(lo, Format::coefficient()));
    put(t, at, upper, CellValue::num(hi, Format::coefficient()));
  }
  return t;
}

host::PivotTable coefficient_table(const model::Command& cmd, const data::GroupData& group,
                                   const estimate::Estimates& est, const host::Dataset& data, host::Output& out,
                                   const CellTable& cells) {
  const bool split = !out.split().empty();
  const Text title = split ? Text::key("[:^1=^2:]1").list(out.split_list()) : Text::key("Contrast Coefficients");
  host::PivotTable t(title, Text::key("Contrast Coefficient"));
  inference::annotate(t, est);
  const int contrast = t.add_dimension(Text::key("Contrast"), host::Axis::Column);
  const int params = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const int fixed = t.add_category(params, Text::key("Fixed Effects"));
  std::vector<int> rows;
  for (std::size_t k = 0; k < cells.p; ++k)
    rows.push_back(t.add_category(params, inference::param_label(est, static_cast<int>(k)), fixed));

  bool left_out = false;
  for (std::size_t c = 0; c < cells.ncell; ++c) {
    if (cells.state[c] == kUnobserved) {
      left_out = true;
      continue;
    }
    int column = -1;
    if (cells.factors.empty()) column = t.category(contrast, Text::key("Grand Mean"));
    for (std::size_t j = 0; j < cells.factors.size(); ++j)
      column =
          t.category(contrast, factor_level_text(cmd, group, data, out, cells.factors[j], cells.level(c, j)), column);
    const std::span<const double> L = cells.row(c);
    for (std::size_t k = 0; k < cells.p; ++k)
      t.put({column, rows[k]}, CellValue::num(L[k], Format::n_or_coefficient()));
  }
  if (left_out) t.note(Text::key("Unobserved factor level not shown ..."));
  return t;
}

host::PivotTable pairwise_comparisons_table(const model::Command& cmd, const data::GroupData& group,
                                            const estimate::Estimates& est, const host::Dataset& data,
                                            host::Output& out, const CellTable& cells, const Slices& slices,
                                            std::span<const Comparison> comparisons, int adjustment, int k) {
  host::PivotTable t(Text::key("Pairwise Comparisons"), Text::key("EMMEANS Pairwise Comparisons"));
  MIXED_INVARIANT(out, !est.dependent_note.empty());
  inference::annotate(t, est);
  t.note(Text::key("Based on estimated marginal means"));
  t.note(Text::key(adjustment_note(adjustment)));

  const std::vector<std::size_t> others = other_positions(cells, slices.compare);
  const std::vector<int> outer = factor_dimensions(t, cmd, data, cells, others);
  const int compare_factor = cells.factors[slices.compare];
  const Text name = Text::variable(factor_name(cmd, data, compare_factor));
  const int dim_i = t.add_dimension(Text::key("(I) ^1").arg(name), host::Axis::Row);
  const int dim_j = t.add_dimension(Text::key("(J) ^1").arg(name), host::Axis::Row);
  const int stats = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int diff = t.add_category(stats, Text::key("Mean Difference (I-J)"));
  const int se = t.add_category(stats, Text::key("Standard Error"));
  const int df = t.add_category(stats, Text::key("Degrees of Freedom"));
  const int sig = t.add_category(stats, Text::key("Significance"));
  const int interval = t.add_category(stats, Text::key("^1% Confidence Interval for Difference")
                                                 .arg(Text::number(cmd.confidence_level, Format::n_or_coefficient())));
  const int lower = t.add_category(stats, Text::key("Lower Bound"), interval);
  const int upper = t.add_category(stats, Text::key("Upper Bound"), interval);

  // Rows in level order whatever order the comparisons come in.
  for (std::size_t o = 0; o < others.size(); ++o)
    for (int l = 0; l < cells.nlevels[others[o]]; ++l)
      t.category(outer[o], factor_level_text(cmd, group, data, out, cells.factors[others[o]], l));
  for (int l = 0; l < slices.nc; ++l) {
    t.category(dim_i, factor_level_text(cmd, group, data, out, compare_factor, l));
    t.category(dim_j, factor_level_text(cmd, group, data, out, compare_factor, l));
  }

  const double alpha = (100.0 - cmd.confidence_level) / 100.0;
  const Text significant = Text::key("The mean difference is significant at the ^1 level.")
                               .arg(Text::number(alpha, Format::fixed(host::decimals_needed(alpha))));
  bool any_shown = false;
  for (const Comparison& c : comparisons) {
    std::vector<int> at =
        level_categories(t, cmd, group, data, out, cells, slices.cell(cells, c.slice, 0), outer, others);
    at.push_back(t.category(dim_i, factor_level_text(cmd, group, data, out, compare_factor, c.i)));
    at.push_back(t.category(dim_j, factor_level_text(cmd, group, data, out, compare_factor, c.j)));
    const ComparisonInference inf = infer(out, k, adjustment, alpha, c);
    any_shown = any_shown || !host::is_sysmis(c.estimate);
    const std::size_t d = put(t, at, diff, CellValue::num(c.estimate, Format::coefficient()));
    if (inf.significant) t.note_cell(d, significant);
    for (const char* note : comparison_notes(c.flags)) t.note_cell(d, Text::key(note));
    put(t, at, se, CellValue::num(c.se, Format::coefficient()));
    put(t, at, df, inference::df_value(c.df));
    put(t, at, sig, CellValue::num(inf.significance, Format::significance()));
    put(t, at, lower, CellValue::num(inf.lower, Format::coefficient()));
    put(t, at, upper, CellValue::num(inf.upper, Format::coefficient()));
  }
  if (!any_shown) t.note(Text::key("Empty comparison table on ^1 ...").arg(name));
  return t;
}

host::PivotTable univariate_table(const model::Command& cmd, const data::GroupData& group,
                                  const estimate::Estimates& est, const host::Dataset& data, host::Output& out,
                                  const CellTable& cells, const Slices& slices, std::span<const SliceTest> tests,
                                  bool all_estimable) {
  host::PivotTable t(Text::key("Univariate Tests"), Text::key("EMMEANS Univariate Tests"));
  inference::annotate(t, est);
  const Text name = Text::variable(factor_name(cmd, data, cells.factors[slices.compare]));
  const bool single = cells.factors.size() == 1;
  const char* note =
      single ? (all_estimable ? "Emmeans UNV annotation 1 for ^1 ..." : "Emmeans UNV annotation 2 for ^1 ...")
             : (all_estimable ? "Emmeans UNV annotation 3 for ^1 ..." : "Emmeans UNV annotation 4 for ^1 ...");
  t.note(Text::key(note).arg(name));

  const std::vector<std::size_t> others = other_positions(cells, slices.compare);
  const std::vector<int> dims = factor_dimensions(t, cmd, data, cells, others);
  const int stats = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int numdf = t.add_category(stats, Text::key("Numerator DF"));
  const int dendf = t.add_category(stats, Text::key("Denominator DF"));
  const int fval = t.add_category(stats, Text::key("F Value"));
  const int sig = t.add_category(stats, Text::key("Significance"));
  for (std::size_t sl = 0; sl < slices.count && sl < tests.size(); ++sl) {
    const SliceTest& test = tests[sl];
    const std::vector<int> at =
        level_categories(t, cmd, group, data, out, cells, slices.cell(cells, sl, 0), dims, others);
    double p = host::SYSMIS;
    if (test.rank > 0 && !host::is_sysmis(test.dendf) && test.dendf > 0.0 && !host::is_sysmis(test.F))
      p = host::f_significance(test.F, test.rank, test.dendf);
    put(t, at, numdf, CellValue::num(test.rank, Format::count()));
    put(t, at, dendf, inference::df_value(test.dendf));
    put(t, at, fval, CellValue::num(test.F, Format::genstat()));
    put(t, at, sig, CellValue::num(p, Format::significance()));
  }
  return t;
}

}  // namespace mixed::emmeans
