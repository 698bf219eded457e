#include "emmeans/comparisons.h"

#include <cmath>

#include "emmeans/adjust.h"
#include "host/distributions.h"
#include "inference/estimability.h"
#include "inference/ltest.h"
#include "model/messages.h"

namespace mixed::emmeans {

namespace {

// The classification variable of factor f (0-based place in the factor list),
// or -1.
int classvar_of_factor(const model::Command& cmd, int f) {
  for (int i = 0; i < cmd.n_class_vars(); ++i)
    if (cmd.classvars[i].factor == f + 1) return i;
  return -1;
}

// L_I - L_J.
std::vector<double> difference(const CellTable& cells, std::size_t cell_i, std::size_t cell_j) {
  std::vector<double> d(cells.row(cell_i).begin(), cells.row(cell_i).end());
  const std::span<const double> lj = cells.row(cell_j);
  for (std::size_t k = 0; k < d.size(); ++k) d[k] -= lj[k];
  return d;
}

unsigned mean_flags(int state, unsigned absent, unsigned not_estimable, unsigned modified) {
  switch (state) {
    case kUnobserved: return absent;
    case kNotEstimable: return not_estimable;
    case kModified: return modified;
    default: return 0;
  }
}

// Tests one comparison; returns the status of l_matrix_test.
int compare_pair(const data::GroupData& group, const estimate::Estimates& est, host::Scratch& scratch,
                 const CellTable& cells, std::size_t ci, std::size_t cj, std::span<const double> products,
                 Comparison& c) {
  c.flags = mean_flags(cells.state[ci], kIAbsent, kINotEstimable, kIModified) |
            mean_flags(cells.state[cj], kJAbsent, kJNotEstimable, kJModified);
  if (c.flags & (kIAbsent | kJAbsent)) return 0;
  const std::vector<double> d = difference(cells, ci, cj);
  if (!inference::is_estimable(est, d)) {
    c.flags |= kDifferenceNotEstimable;
    return 0;
  }
  inference::LTestOptions options;
  options.per_row = true;
  options.derivative_products = products;
  const inference::LTestResult r = inference::l_matrix_test(group, est, scratch, 1, d, options);
  if (r.status > 0) return r.status;
  c.estimate = r.estimate[0];
  c.se = r.se[0];
  c.df = r.df[0];
  return 0;
}

}  // namespace

int reference_category_level(const model::Command& cmd, const data::GroupData& group, host::Output& out,
                             const model::EmmeansRecord& rec) {
  if (rec.refcat_kind == 0 || rec.compare < 1) return 0;
  const int i = classvar_of_factor(cmd, rec.factors[static_cast<std::size_t>(rec.compare - 1)]);
  if (!MIXED_INVARIANT(out, i >= 0)) return 0;
  const data::Levels& lv = group.levels[static_cast<std::size_t>(i)];
  const int n = static_cast<int>(lv.size());
  switch (rec.refcat_kind) {
    case 3: return n > 0 ? 1 : 0;
    case 4: return n;
    case 1:
      for (int k = 0; lv.numeric && k < n; ++k)
        if (lv.numbers[k] == rec.refcat_value) return k + 1;
      return 0;
    case 2:
      for (int k = 0; !lv.numeric && k < n; ++k)
        if (lv.strings[k] == rec.refcat_string) return k + 1;
      return 0;
    default: return 0;
  }
}

std::size_t Slices::cell(const CellTable& cells, std::size_t slice, int i) const {
  std::vector<int> levels(cells.nlevels.size());
  for (std::size_t j = cells.nlevels.size(); j-- > 0;) {
    if (j == compare) continue;
    const std::size_t n = static_cast<std::size_t>(cells.nlevels[j]);
    levels[j] = static_cast<int>(slice % n);
    slice /= n;
  }
  levels[compare] = i;
  return cells.cell_at(levels);
}

Slices slices_of(const CellTable& cells, std::size_t compare) {
  Slices sl;
  sl.compare = compare;
  sl.nc = cells.nlevels[compare];
  sl.count = cells.ncell / static_cast<std::size_t>(sl.nc);
  return sl;
}

int comparison_count(int nc, bool reference) { return reference ? nc - 1 : nc * (nc - 1) / 2; }

int build_comparisons(const data::GroupData& group, const estimate::Estimates& est, host::Scratch& scratch,
                      const CellTable& cells, const Slices& slices, int refcat, std::span<const double> products,
                      std::vector<Comparison>& out) {
  out.clear();
  for (std::size_t sl = 0; sl < slices.count; ++sl) {
    for (int i = 0; i < slices.nc; ++i) {
      for (int j = 0; j < slices.nc; ++j) {
        if (j == i || (refcat > 0 && j != refcat - 1)) continue;
        Comparison c;
        c.slice = sl;
        c.i = i;
        c.j = j;
        const int status =
            compare_pair(group, est, scratch, cells, slices.cell(cells, sl, i), slices.cell(cells, sl, j), products, c);
        if (status > 0) return status;
        out.push_back(c);
      }
    }
  }
  return 0;
}

int slice_tests(const data::GroupData& group, const estimate::Estimates& est, host::Scratch& scratch,
                const CellTable& cells, const Slices& slices, std::span<const double> products,
                std::vector<SliceTest>& out) {
  out.assign(slices.count, SliceTest{});
  inference::LTestOptions options;
  options.f_test = true;
  options.derivative_products = products;
  for (std::size_t sl = 0; sl < slices.count; ++sl) {
    int first = 0;
    while (first < slices.nc && cells.count[slices.cell(cells, sl, first)] == 0.0) ++first;
    std::vector<double> L;
    int rows = 0;
    for (int j = first + 1; j < slices.nc; ++j) {
      const std::size_t cj = slices.cell(cells, sl, j);
      if (cells.count[cj] == 0.0) continue;
      const std::vector<double> d = difference(cells, slices.cell(cells, sl, first), cj);
      if (!inference::is_estimable(est, d)) continue;
      L.insert(L.end(), d.begin(), d.end());
      ++rows;
    }
    if (rows == 0) continue;
    const inference::LTestResult r = inference::l_matrix_test(group, est, scratch, rows, L, options);
    if (r.status > 0) return r.status;
    out[sl] = {r.rank, r.F, r.dendf};
  }
  return 0;
}

ComparisonInference infer(host::Output& out, int k, int adjustment, double alpha, const Comparison& c) {
  ComparisonInference res;
  if (host::is_sysmis(c.se) || !(c.se > 0.0) || host::is_sysmis(c.df) || !(c.df > 0.0)) return res;
  const double p = host::t_significance(c.estimate / c.se, c.df);
  if (!host::is_sysmis(p)) {
    res.significance = adjusted_significance(out, k, adjustment, true, p);
    res.significant = alpha > res.significance;
  }
  const double alpha_c = adjusted_significance(out, k, adjustment, false, alpha);
  if (!host::is_sysmis(alpha_c) && alpha_c * 0.5 > 0.0 && alpha_c * 0.5 < 1.0) {
    const double q = host::t_quantile(alpha_c * 0.5, c.df);
    if (!host::is_sysmis(q)) {
      res.lower = c.estimate - std::fabs(q) * c.se;
      res.upper = c.estimate + std::fabs(q) * c.se;
    }
  }
  return res;
}

}  // namespace mixed::emmeans
