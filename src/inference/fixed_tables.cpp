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

double C(const driver::MixSettings& s, std::size_t i, std::size_t j) { return s.FixedCov[host::sym(i, j)]; }
double beta(const driver::MixSettings& s, std::size_t k) {
  return s.FixedCov[host::tri(static_cast<std::size_t>(s.fdmncl), k)];
}
bool redundant(const driver::MixSettings& s, std::size_t k) {
  return k >= s.NonRedSet.size() || !s.NonRedSet.test(k);
}

std::vector<int> parameter_rows(host::PivotTable& t, int dim, const driver::MixSettings& s) {
  std::vector<int> rows;
  for (int k = 0; k < s.fdmncl; ++k) rows.push_back(t.add_category(dim, param_label(s, k)));
  return rows;
}

CellValue missing(Format f) { return CellValue::num(host::SYSMIS, f); }

}  // namespace

host::PivotTable mxtfxt(const driver::MixSettings& s) {
  host::PivotTable t =
      new_table(s.sstype == 1 ? "Type I Tests of Fixed Effects" : "Type III Tests of Fixed Effects",
                "Tests of Fixed Effects");
  annotate(t, s);
  const int cols = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int rows = t.add_dimension(Text::key("Source"), host::Axis::Row);
  const int c_num = t.add_category(cols, Text::key("Numerator DF"));
  const int c_den = t.add_category(cols, Text::key("Denominator DF"));
  const int c_f = t.add_category(cols, Text::key("F Value"));
  const int c_sig = t.add_category(cols, Text::key("Significance"));
  for (int term = 0; term < s.nfxeff(); ++term) {
    const int r = t.add_category(rows, s.fixed_effect_names[term]);
    const double num = term < static_cast<int>(s.term_numdf.size()) ? s.term_numdf[term] : 0.0;
    const double den = term < static_cast<int>(s.term_dendf.size()) ? s.term_dendf[term] : host::SYSMIS;
    const double f = term < static_cast<int>(s.term_f.size()) ? s.term_f[term] : host::SYSMIS;
    const double sig = num > 0.0 && den > 0.0 && !host::is_sysmis(f) ? host::SIGF(f, num, den) : host::SYSMIS;
    t.put({c_num, r}, CellValue::num(num, Format::count()));
    t.put({c_den, r}, df_value(den));
    t.put({c_f, r}, CellValue::num(f, Format::genstat()));
    t.put({c_sig, r}, CellValue::num(sig, Format::significance()));
  }
  return t;
}

double interval_quantile(double cinval, double df) { return host::IDFT(cinval / 200.0 + 0.5, df); }

host::PivotTable mxtfpe(const driver::MixSettings& s, std::span<const double> df) {
  host::PivotTable t = new_table("Fixed Parameter Estimates", "Parameter Estimates");
  annotate(t, s);
  const int rows = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int c_b = t.add_category(cols, Text::key("B0"));
  const int c_se = t.add_category(cols, Text::key("Standard Error"));
  const int c_df = t.add_category(cols, Text::key("Degrees of Freedom"));
  const int c_t = t.add_category(cols, Text::key("t Statistic"));
  const int c_sig = t.add_category(cols, Text::key("Significance"));
  const int ci = t.add_category(cols, interval_label(s));
  const int c_lo = t.add_category(cols, Text::key("Lower Bound"), ci);
  const int c_hi = t.add_category(cols, Text::key("Upper Bound"), ci);
  const Format est = estimate_format();
  const std::vector<int> params = parameter_rows(t, rows, s);
  std::size_t next_df = 0;
  for (std::size_t k = 0; k < params.size(); ++k) {
    const int r = params[k];
    if (redundant(s, k)) {
      const std::size_t cell = t.put({r, c_b}, CellValue::num(0.0, Format::count()));
      t.note_cell(cell, Text::key("Redundant parameter ..."));
      t.put({r, c_se}, CellValue::num(0.0, Format::count()));
      t.put({r, c_df}, missing(Format::genstat()));
      t.put({r, c_t}, missing(Format::genstat()));
      t.put({r, c_sig}, missing(Format::significance()));
      t.put({r, c_lo}, missing(est));
      t.put({r, c_hi}, missing(est));
      continue;
    }
    const double d = next_df < df.size() ? df[next_df] : host::SYSMIS;
    ++next_df;
    const double b = beta(s, k);
    const double ckk = C(s, k, k);
    const double se = ckk > 0.0 ? std::sqrt(ckk) : 0.0;
    const double tval = se > 0.0 ? b / se : host::SYSMIS;
    double sig = host::SYSMIS, lo = host::SYSMIS, hi = host::SYSMIS;
    if (!host::is_sysmis(d) && d > 0.0) {
      if (se > 0.0) sig = host::DSIGT(tval, d);
      const double q = interval_quantile(s.cinval, d);
      if (!host::is_sysmis(q)) {
        lo = b - q * se;
        hi = b + q * se;
      }
    }
    t.put({r, c_b}, CellValue::num(b, est));
    t.put({r, c_se}, CellValue::num(se, est));
    t.put({r, c_df}, df_value(d));
    t.put({r, c_t}, CellValue::num(tval, Format::genstat()));
    t.put({r, c_sig}, CellValue::num(sig, Format::significance()));
    t.put({r, c_lo}, CellValue::num(lo, est));
    t.put({r, c_hi}, CellValue::num(hi, est));
  }
  return t;
}

host::PivotTable mxtcrb(const driver::MixSettings& s) {
  host::PivotTable t = new_table("Fixed Correlation Matrix", "Correlation Matrix");
  annotate(t, s);
  const int rows = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Parameter2"), host::Axis::Column);
  const std::vector<int> r = parameter_rows(t, rows, s);
  const std::vector<int> c = parameter_rows(t, cols, s);
  for (std::size_t i = 0; i < r.size(); ++i)
    for (std::size_t j = 0; j < c.size(); ++j) {
      if (redundant(s, i) || redundant(s, j)) {
        const std::size_t cell = t.put({r[i], c[j]}, missing(Format::correlation()));
        t.note_cell(cell, Text::key("Redundant correlation ..."));
      } else if (i == j) {
        t.put({r[i], c[j]}, CellValue::num(1.0, Format::count()));
      } else {
        t.put({r[i], c[j]}, CellValue::num(host::CORREL(C(s, i, j), C(s, i, i), C(s, j, j)), Format::correlation()));
      }
    }
  return t;
}

host::PivotTable mxtcvb(const driver::MixSettings& s) {
  host::PivotTable t = new_table("Fixed Covariance Matrix", "Covariance Matrix");
  annotate(t, s);
  const int rows = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Parameter2"), host::Axis::Column);
  const std::vector<int> r = parameter_rows(t, rows, s);
  const std::vector<int> c = parameter_rows(t, cols, s);
  for (std::size_t i = 0; i < r.size(); ++i)
    for (std::size_t j = 0; j < c.size(); ++j) {
      if (redundant(s, i) || redundant(s, j)) {
        const std::size_t cell = t.put({r[i], c[j]}, CellValue::num(0.0, Format::count()));
        t.note_cell(cell, Text::key("Redundant covariance ..."));
      } else {
        t.put({r[i], c[j]}, CellValue::num(C(s, i, j), estimate_format()));
      }
    }
  return t;
}

host::PivotTable mxtlmt(const driver::MixSettings& s, int n, int nrandom, std::span<const double> L, int k0,
                        const host::BitSet& rows, const Text& title, const Text& footnote, bool estimable) {
  host::PivotTable t(title, Text::key("Contrast Coefficient"));
  annotate(t, s);
  if (!footnote.empty()) t.note(footnote);
  const int cols = t.add_dimension(Text::key("Contrast"), host::Axis::Column);
  const int dim = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const std::size_t p = static_cast<std::size_t>(s.fdmncl);
  const std::size_t width = p + static_cast<std::size_t>(std::max(0, nrandom));
  std::vector<int> params;
  const int fixed = t.add_category(dim, Text::key("Fixed Effects"));
  for (std::size_t k = 0; k < p; ++k) params.push_back(t.add_category(dim, param_label(s, static_cast<int>(k)), fixed));
  if (nrandom > 0) {
    const int random = t.add_category(dim, Text::key("Random Effects"));
    for (int u = 0; u < nrandom; ++u) params.push_back(t.add_category(dim, param_label(s, static_cast<int>(p) + u), random));
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
