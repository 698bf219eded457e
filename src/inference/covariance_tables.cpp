#include "inference/covariance_tables.h"

#include <cmath>

#include "covstruct/catalogue.h"
#include "estimate/covariance_labels.h"
#include "estimate/fit.h"
#include "host/dataset.h"
#include "host/distributions.h"
#include "host/packed.h"
#include "inference/table_support.h"

namespace mixed::inference {

using host::CellValue;
using host::Format;
using host::Text;

namespace {

// exp overflows above this argument and underflows to 0 below the other; the
// bounds take their limiting values there instead.
constexpr double kExpLow = -708.39;
constexpr double kExpHigh = 709.78;

double bounded_exp(double x) {
  if (x < kExpLow) return 0.0;
  if (x > kExpHigh) return host::SYSMIS;
  return std::exp(x);
}

double bounded_tanh(double x) {
  if (x < kExpLow) return -1.0;
  if (x > kExpHigh) return 1.0;
  return (std::exp(x) - std::exp(-x)) / (std::exp(-x) + std::exp(x));
}

bool out_of_range(covstruct::ParamKind kind, double e) {
  if (kind == covstruct::StdDev || kind == covstruct::Variance) return e < 0.0;
  if (kind == covstruct::Correlation) return e < -1.0 || e > 1.0;
  return false;
}

double W(const estimate::Estimates& est, std::size_t k, std::size_t l) {
  const std::size_t at = host::sym(k, l);
  return at < est.cov_param_covariance_reported.size() ? est.cov_param_covariance_reported[at] : 0.0;
}

double estimate(const estimate::Estimates& est, std::size_t k) {
  return k < est.cov_params_reported.size() ? est.cov_params_reported[k] : host::SYSMIS;
}

bool kept(const estimate::Estimates& est, std::size_t k) {
  return k < est.cov_params_kept.size() && est.cov_params_kept.test(k);
}

// The kind of every covariance parameter, in stored order.
std::vector<covstruct::ParamKind> parameter_kinds(const model::Command& cmd, const data::GroupData& group,
                                                  const estimate::Estimates& est) {
  std::vector<covstruct::ParamKind> kinds;
  for (const ParameterGroup& g : parameter_groups(cmd, group, est))
    for (int k = 0; k < g.count; ++k) kinds.push_back(covstruct::parameter_kind(g.count, g.cov_type, k));
  return kinds;
}

// Codes 8, 12, 18 and 19 are diagonal: their off-diagonal cells are shown as
// the integer 0.
bool diagonal_structure(covstruct::CovType cov_type) {
  return cov_type == covstruct::DIAG || cov_type == covstruct::ID || cov_type == covstruct::VC ||
         cov_type == covstruct::VC_REPEATED;
}

// The full symmetric matrix of a packed triangle of order n, row by row.
void put_matrix(host::PivotTable& t, const std::vector<int>& rows, const std::vector<int>& cols,
                std::span<const double> a, covstruct::CovType cov_type) {
  const std::size_t n = rows.size();
  const bool diagonal = diagonal_structure(cov_type);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j < n; ++j) {
      const std::size_t at = host::sym(i, j);
      const double v = at < a.size() ? a[at] : host::SYSMIS;
      if (diagonal && i != j)
        t.put({cols[j], rows[i]}, CellValue::num(0.0, Format::count()));
      else
        t.put({cols[j], rows[i]}, CellValue::num(v, estimate_format()));
    }
}

// The label of repeated level i: every REPEATED variable with its value there.
Text repeated_level(const model::Command& cmd, const data::GroupData& group, const host::Dataset& data, int i) {
  return Text::key("[\\[%1 = %2\\]:*\\[^1 = ^2\\]:]1").list(estimate::repeated_level_items(cmd, group, data, i));
}

host::PivotTable parameter_matrix(const model::Command& cmd, const data::GroupData& group,
                                  const estimate::Estimates& est, const char* title, const char* name,
                                  bool correlations) {
  host::PivotTable t = new_table(title, name);
  annotate(t, est);
  const int rows = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Parameter2"), host::Axis::Column);
  const std::vector<int> r = parameter_categories(t, rows, cmd, group, est);
  const std::vector<int> c = parameter_categories(t, cols, cmd, group, est);
  for (std::size_t k = 0; k < r.size(); ++k)
    for (std::size_t l = 0; l < c.size(); ++l) {
      if (!correlations) {
        t.put({r[k], c[l]}, CellValue::num(W(est, k, l), estimate_format()));
        continue;
      }
      const double v = host::correlation_of(W(est, k, l), W(est, k, k), W(est, l, l));
      const std::size_t cell = t.put({r[k], c[l]}, CellValue::num(v, k == l ? Format::count() : Format::correlation()));
      if (k == l && host::is_sysmis(v)) t.note_cell(cell, Text::key("Covpar 0 variance no correlation ..."));
    }
  return t;
}

}  // namespace

Bounds covariance_bounds(covstruct::ParamKind kind, double e, double se, double z) {
  if (!(se > 0.0)) return {e, e};
  switch (kind) {
    case covstruct::StdDev:
    case covstruct::Variance: {
      if (e <= 0.0) return {0.0, host::SYSMIS};
      const double h = z * se / e;
      return {bounded_exp(std::log(e) - h), bounded_exp(std::log(e) + h)};
    }
    case covstruct::Correlation: {
      if (e == 1.0) return {host::SYSMIS, 1.0};
      if (e == -1.0) return {-1.0, host::SYSMIS};
      if (std::fabs(e) > 1.0) return {host::SYSMIS, host::SYSMIS};
      const double f = 0.5 * std::log((1.0 + e) / (1.0 - e));
      const double h = z * se / ((1.0 + e) * (1.0 - e));
      return {bounded_tanh(f - h), bounded_tanh(f + h)};
    }
    default: return {e - z * se, e + z * se};
  }
}

host::PivotTable covariance_estimates(const model::Command& cmd, const data::GroupData& group,
                                      const estimate::Estimates& est, bool testcov) {
  host::PivotTable t = new_table("Covariance Parameter Estimates", "Covariance Parameter Estimates");
  annotate(t, est);
  const int rows = t.add_dimension(Text::key("Parameter"), host::Axis::Row);
  const int cols = t.add_dimension(Text::key("Statistics"), host::Axis::Column);
  const int c_est = t.add_category(cols, Text::key("Covpar Estimate"));
  const int c_se = t.add_category(cols, Text::key("Covpar Standard Error"));
  int c_wald = -1, c_sig = -1, c_lo = -1, c_hi = -1;
  if (testcov) {
    c_wald = t.add_category(cols, Text::key("Covpar Wald Statistic"));
    c_sig = t.add_category(cols, Text::key("Covpar Wald Significance"));
    const int ci = t.add_category(cols, interval_label(cmd));
    c_lo = t.add_category(cols, Text::key("Lower Bound"), ci);
    c_hi = t.add_category(cols, Text::key("Upper Bound"), ci);
  }
  const double z = -host::normal_quantile(0.5 - cmd.confidence_level / 200.0);
  const std::vector<int> params = parameter_categories(t, rows, cmd, group, est);
  const std::vector<covstruct::ParamKind> kinds = parameter_kinds(cmd, group, est);
  const Format estimate_fmt = estimate_format();
  for (std::size_t k = 0; k < params.size(); ++k) {
    const int r = params[k];
    const double e = estimate(est, k);
    const double w = W(est, k, k);
    const double se = w > 0.0 ? std::sqrt(w) : 0.0;
    const std::size_t cell = t.put({r, c_est}, CellValue::num(e, estimate_fmt));
    if (!kept(est, k))
      t.note_cell(cell, Text::key(testcov ? "Redundant Covpar" : "Redundant Covpar, no testcov"));
    else if (out_of_range(kinds[k], e))
      t.note_cell(cell, Text::key("Covpar out of range"));
    t.put({r, c_se}, CellValue::num(se, estimate_fmt));
    if (!testcov) continue;
    const double wald = se > 0.0 ? e / se : host::SYSMIS;
    const double sig = se > 0.0 ? 2.0 * host::normal_upper_tail(std::fabs(wald)) : host::SYSMIS;
    const Bounds b = kept(est, k) ? covariance_bounds(kinds[k], e, se, z) : Bounds{host::SYSMIS, host::SYSMIS};
    t.put({r, c_wald}, CellValue::num(wald, Format::genstat()));
    t.put({r, c_sig}, CellValue::num(sig, Format::significance()));
    t.put({r, c_lo}, CellValue::num(b.lower, estimate_fmt));
    t.put({r, c_hi}, CellValue::num(b.upper, estimate_fmt));
  }
  return t;
}

host::PivotTable covariance_correlations(const model::Command& cmd, const data::GroupData& group,
                                         const estimate::Estimates& est) {
  return parameter_matrix(cmd, group, est, "Correlations of Covariance Parameter Estimates", "Correlation Matrix",
                          true);
}

host::PivotTable covariance_covariances(const model::Command& cmd, const data::GroupData& group,
                                        const estimate::Estimates& est) {
  return parameter_matrix(cmd, group, est, "Covariances of Covariance Parameter Estimates", "Covariance Matrix", false);
}

host::PivotTable g_matrix(const data::GroupData& group, const estimate::Estimates& est, std::size_t b) {
  const data::CovBlock& blk = group.blocks[b];
  const Text title = group.blocks.size() == 1      ? Text::key("Random Effect Covariance Matrix ...")
                     : b < est.block_labels.size() ? est.block_labels[b]
                                                   : Text::integer(static_cast<long long>(b + 1));
  host::PivotTable t(title, Text::key("G Matrix"));
  t.note(covstruct::structure_name(blk.cov_type));
  annotate(t, est);
  const int cols = t.add_dimension(Text::key("Column"), host::Axis::Column);
  const int rows = t.add_dimension(Text::key("Row"), host::Axis::Row);
  std::vector<int> c, r;
  for (int eff : blk.effects)
    for (int k = 0; k < group.rn_ncol[eff]; ++k) {
      const Text label = param_label(est, group.n_fixed_columns + group.rn_fcol[eff] + k);
      c.push_back(t.add_category(cols, label));
      r.push_back(t.add_category(rows, label));
    }
  std::span<const double> G;
  if (est.fit && b < est.fit->blocks.size()) G = est.fit->blocks[b].G;
  put_matrix(t, r, c, G, blk.cov_type);
  return t;
}

host::PivotTable r_matrix(const model::Command& cmd, const data::GroupData& group, const estimate::Estimates& est,
                          const host::Engine& e) {
  host::PivotTable t = new_table("R Matrix", "R Matrix");
  if (cmd.repeated_given) t.note(covstruct::structure_name(cmd.repeated_type));
  annotate(t, est);
  const int cols = t.add_dimension(Text::key("Column"), host::Axis::Column);
  const int rows = t.add_dimension(Text::key("Row"), host::Axis::Row);
  if (!cmd.repeated_given) {
    t.put({t.add_category(cols, Text::key("Residual")), t.add_category(rows, Text::key("Residual"))},
          CellValue::num(estimate(est, 0), estimate_format()));
    return t;
  }
  std::vector<int> c, r;
  for (int i = 0; i < group.n_repeated_levels; ++i) {
    const Text label = repeated_level(cmd, group, e.data, i);
    c.push_back(t.add_category(cols, label));
    r.push_back(t.add_category(rows, label));
  }
  std::span<const double> R;
  if (est.fit) R = est.fit->R_matrix;
  put_matrix(t, r, c, R, cmd.repeated_type);
  return t;
}

}  // namespace mixed::inference
