#include "inference/fixed_tables.h"

#include <cmath>

#include "host/dataset.h"
#include "host/distributions.h"
#include "host/packed.h"
#include "inference/table_support.h"

namespace mixed::inference {

using host::CellValue;
using host::Format;
using host::Text;

namespace {

double C(const estimate::Estimates& est, std::size_t i, std::size_t j) { return est.fixed_covariance[host::sym(i, j)]; }
double beta(const data::GroupData& group, const estimate::Estimates& est, std::size_t k) {
  return est.fixed_covariance[host::tri(static_cast<std::size_t>(group.n_fixed_columns), k)];
}
bool redundant(const estimate::Estimates& est, std::size_t k) {
  return k >= est.non_redundant.size() || !est.non_redundant.test(k);
}

std::vector<int> parameter_rows(host::PivotTable& t, int dim, const data::GroupData& group,
                                const estimate::Estimates& est) {
  std::vector<int> rows;
  for (int k = 0; k < group.n_fixed_columns; ++k) rows.push_back(t.add_category(dim, param_label(est, k)));
  return rows;
}

CellValue missing(Format f) { return CellValue::num(host::SYSMIS, f); }

// What a p x p matrix of the estimates shows where a redundant parameter is
// involved: the value and its note.
struct RedundantCell {
  CellValue value;
  const char* note;
};

// A p x p table of the fixed parameters (rows "Parameter", columns
// "Parameter2"): cell(s, i, j) for two non-redundant parameters,
// `redundant_cell` for the others.
host::PivotTable parameter_matrix(const data::GroupData& group, const estimate::Estimates& est, std::string_view title,
                                  std::string_view name, const RedundantCell& redundant_cell,
                                  CellValue (*cell)(const estimate::Estimates&, std::size_t, std::size_t)) {
  host::PivotTable t = new_table(title, name);
  annotate(t, est);
  const int rows = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Parameter2"), host::Axis::Column);
  const std::vector<int> r = parameter_rows(t, rows, group, est);
  const std::vector<int> c = parameter_rows(t, cols, group, est);
  for (std::size_t i = 0; i < r.size(); ++i)
    for (std::size_t j = 0; j < c.size(); ++j) {
      if (redundant(est, i) || redundant(est, j))
        t.note_cell(t.put({r[i], c[j]}, redundant_cell.value), Text::key(redundant_cell.note));
      else
        t.put({r[i], c[j]}, cell(est, i, j));
    }
  return t;
}

}  // namespace

host::PivotTable fixed_tests_table(const model::Command& cmd, const estimate::Estimates& est,
                                   const inference::FixedEffectTests& fixed_tests) {
  host::PivotTable t = new_table(
      cmd.sstype == model::SumOfSquares::TypeI ? "Type I Tests of Fixed Effects" : "Type III Tests of Fixed Effects",
      "Tests of Fixed Effects");
  annotate(t, est);
  const FTestLayout layout = add_f_test_layout(t);
  for (int term = 0; term < cmd.n_fixed_effects(); ++term) {
    const int r = t.add_category(layout.rows, cmd.fixed_effect_names[term]);
    const double num = term < static_cast<int>(fixed_tests.term_numdf.size()) ? fixed_tests.term_numdf[term] : 0.0;
    const double den =
        term < static_cast<int>(fixed_tests.term_dendf.size()) ? fixed_tests.term_dendf[term] : host::SYSMIS;
    const double f = term < static_cast<int>(fixed_tests.term_f.size()) ? fixed_tests.term_f[term] : host::SYSMIS;
    put_f_test(t, layout, r, num, den, f);
  }
  return t;
}

double interval_quantile(double confidence_level, double df) {
  return host::t_quantile(confidence_level / 200.0 + 0.5, df);
}

TTest t_test(double d, double se, double df, double confidence_level) {
  TTest r;
  if (se > 0.0) r.t = d / se;
  if (host::is_sysmis(df) || !(df > 0.0)) return r;
  if (se > 0.0) r.sig = host::t_significance(r.t, df);
  const double q = interval_quantile(confidence_level, df);
  if (!host::is_sysmis(q)) {
    r.lower = d - q * se;
    r.upper = d + q * se;
  }
  return r;
}

TTestColumns add_t_test_columns(host::PivotTable& table, int dim, const Text& interval) {
  TTestColumns c{};
  c.t = table.add_category(dim, Text::key("t Statistic"));
  c.sig = table.add_category(dim, Text::key("Significance"));
  const int group = table.add_category(dim, interval);
  c.lower = table.add_category(dim, Text::key("Lower Bound"), group);
  c.upper = table.add_category(dim, Text::key("Upper Bound"), group);
  return c;
}

void put_t_test(host::PivotTable& table, int row, const TTestColumns& columns, const TTest& test) {
  table.put({row, columns.t}, CellValue::num(test.t, Format::genstat()));
  table.put({row, columns.sig}, CellValue::num(test.sig, Format::significance()));
  table.put({row, columns.lower}, CellValue::num(test.lower, estimate_format()));
  table.put({row, columns.upper}, CellValue::num(test.upper, estimate_format()));
}

FTestLayout add_f_test_layout(host::PivotTable& table) {
  FTestLayout l{};
  const int cols = table.add_dimension(Text::key("Statistics"), host::Axis::Column);
  l.rows = table.add_dimension(Text::key("Source"), host::Axis::Row);
  l.num = table.add_category(cols, Text::key("Numerator DF"));
  l.den = table.add_category(cols, Text::key("Denominator DF"));
  l.f = table.add_category(cols, Text::key("F Value"));
  l.sig = table.add_category(cols, Text::key("Significance"));
  return l;
}

void put_f_test(host::PivotTable& table, const FTestLayout& layout, int row, double num, double den, double f) {
  const double sig = num > 0.0 && den > 0.0 && !host::is_sysmis(f) ? host::f_significance(f, num, den) : host::SYSMIS;
  table.put({layout.num, row}, CellValue::num(num, Format::count()));
  table.put({layout.den, row}, df_value(den));
  table.put({layout.f, row}, CellValue::num(f, Format::genstat()));
  table.put({layout.sig, row}, CellValue::num(sig, Format::significance()));
}

host::PivotTable fixed_estimates_table(const model::Command& cmd, const data::GroupData& group,
                                       const estimate::Estimates& est, std::span<const double> df) {
  host::PivotTable t = new_table("Fixed Parameter Estimates", "Parameter Estimates");
  annotate(t, est);
  const int rows = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int c_b = t.add_category(cols, Text::key("B0"));
  const int c_se = t.add_category(cols, Text::key("Standard Error"));
  const int c_df = t.add_category(cols, Text::key("Degrees of Freedom"));
  const TTestColumns c_test = add_t_test_columns(t, cols, interval_label(cmd));
  const Format estimate_fmt = estimate_format();
  const std::vector<int> params = parameter_rows(t, rows, group, est);
  std::size_t next_df = 0;
  for (std::size_t k = 0; k < params.size(); ++k) {
    const int r = params[k];
    if (redundant(est, k)) {
      const std::size_t cell = t.put({r, c_b}, CellValue::num(0.0, Format::count()));
      t.note_cell(cell, Text::key("Redundant parameter ..."));
      t.put({r, c_se}, CellValue::num(0.0, Format::count()));
      t.put({r, c_df}, missing(Format::genstat()));
      put_t_test(t, r, c_test, TTest{});
      continue;
    }
    const double d = next_df < df.size() ? df[next_df] : host::SYSMIS;
    ++next_df;
    const double b = beta(group, est, k);
    const double ckk = C(est, k, k);
    const double se = ckk > 0.0 ? std::sqrt(ckk) : 0.0;
    t.put({r, c_b}, CellValue::num(b, estimate_fmt));
    t.put({r, c_se}, CellValue::num(se, estimate_fmt));
    t.put({r, c_df}, df_value(d));
    put_t_test(t, r, c_test, t_test(b, se, d, cmd.confidence_level));
  }
  return t;
}

host::PivotTable fixed_correlation_table(const data::GroupData& group, const estimate::Estimates& est) {
  return parameter_matrix(group, est, "Fixed Correlation Matrix", "Correlation Matrix",
                          {missing(Format::correlation()), "Redundant correlation ..."},
                          [](const estimate::Estimates& fit, std::size_t i, std::size_t j) {
                            if (i == j) return CellValue::num(1.0, Format::count());
                            return CellValue::num(host::correlation_of(C(fit, i, j), C(fit, i, i), C(fit, j, j)),
                                                  Format::correlation());
                          });
}

host::PivotTable fixed_covariance_table(const data::GroupData& group, const estimate::Estimates& est) {
  return parameter_matrix(group, est, "Fixed Covariance Matrix", "Covariance Matrix",
                          {CellValue::num(0.0, Format::count()), "Redundant covariance ..."},
                          [](const estimate::Estimates& fit, std::size_t i, std::size_t j) {
                            return CellValue::num(C(fit, i, j), estimate_format());
                          });
}

host::PivotTable contrast_coefficients_table(const data::GroupData& group, const estimate::Estimates& est, int n,
                                             int nrandom, std::span<const double> L, int k0, const host::BitSet& rows,
                                             const Text& title, const Text& footnote, bool estimable) {
  host::PivotTable t(title, Text::key("Contrast Coefficient"));
  annotate(t, est);
  if (!footnote.empty()) t.note(footnote);
  const int cols = t.add_dimension(Text::key("Contrast"), host::Axis::Column);
  const int dim = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  const std::size_t width = p + static_cast<std::size_t>(std::max(0, nrandom));
  std::vector<int> params;
  const int fixed = t.add_category(dim, Text::key("Fixed Effects"));
  for (std::size_t k = 0; k < p; ++k)
    params.push_back(t.add_category(dim, param_label(est, static_cast<int>(k)), fixed));
  if (nrandom > 0) {
    const int random = t.add_category(dim, Text::key("Random Effects"));
    for (int u = 0; u < nrandom; ++u)
      params.push_back(t.add_category(dim, param_label(est, static_cast<int>(p) + u), random));
  }
  std::size_t next_row = 0;
  const std::size_t nrows = width > 0 ? L.size() / width : 0;
  for (int k = k0; k < k0 + n; ++k) {
    const std::size_t member = static_cast<std::size_t>(k - 1);
    if (k < 1 || member >= rows.size() || !rows.test(member) || next_row >= nrows) continue;
    const int c = t.add_category(cols, Text::key("L^1").arg(Text::integer(k)));
    for (std::size_t j = 0; j < width; ++j)
      t.put({c, params[j]}, CellValue::num(L[next_row * width + j], Format::n_or_coefficient()));
    ++next_row;
  }
  if (n < 1 || next_row == 0) t.note(Text::key("Zero degrees of freedom ..."));
  if (!estimable) t.note(Text::key("L matrix not estimable ..."));
  return t;
}

}  // namespace mixed::inference
