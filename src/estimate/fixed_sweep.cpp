#include "estimate/fixed_sweep.h"

#include <cmath>

#include "host/engine.h"
#include "host/packed.h"
#include "host/sweep.h"
#include "host/vectors.h"

namespace mixed::estimate {

using host::sym;
using host::tri;

SweepResult sweep_fixed(std::size_t p, std::span<double> a, double tol) {
  const std::size_t m = p + 1;
  std::vector<double> d(m);
  host::sweep_scale_vector(m, a, d);
  host::BitSet swept(m);
  SweepResult r;
  r.accepted.resize(p);
  double xmax = 0.0;
  double sumlog = 0.0;
  for (std::size_t k = 0; k < p; ++k) {
    if (!host::sweep_if_tolerant(m, k, a, d, swept, tol)) continue;
    const double x = -a[tri(k, k)];  // 1 / pivot
    if (!(x > 0.0)) continue;
    if (xmax > 0.0 && x > xmax * 1e8) {
      host::sweep_if_tolerant(m, k, a, d, swept, tol);  // undo: k is redundant
      continue;
    }
    ++r.rank;
    sumlog += std::log(x);
    r.accepted.set(k);
    xmax = std::max(xmax, x);
  }
  r.logdet = -sumlog;
  return r;
}

void clean_fixed(std::size_t p, std::span<double> a, const host::BitSet& nonred) {
  for (std::size_t i = 0; i < tri(p, 0); ++i) a[i] = -a[i];
  for (std::size_t k = 0; k < p; ++k) {
    if (nonred.test(k)) continue;
    for (std::size_t j = 0; j <= p; ++j) a[sym(k, j)] = 0.0;
  }
}

void hypothesis_row(std::size_t p, std::span<const double> a, const host::BitSet& swept, std::size_t k,
                    std::span<double> row) {
  for (std::size_t j = 0; j < p; ++j) {
    if (swept.test(j))
      row[j] = j == k ? 1.0 : 0.0;
    else
      row[j] = a[sym(k, j)];
  }
}

std::vector<double> estimable_basis(std::size_t p, std::span<const double> swept, const host::BitSet& nonred) {
  std::vector<double> basis;
  std::vector<double> row(p);
  for (std::size_t k = 0; k < p; ++k) {
    if (!nonred.test(k)) continue;
    hypothesis_row(p, swept, nonred, k, row);
    host::clean_negligible(row, static_cast<double>(p) * 10000.0);
    basis.insert(basis.end(), row.begin(), row.end());
  }
  return basis;
}

bool type1_hypotheses(const model::Command& cmd, const data::GroupData& group, std::span<const double> xtx,
                      std::vector<estimate::TermHypothesis>& out, host::BitSet& lrowset) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  std::vector<double> a(xtx.begin(), xtx.end());
  std::vector<double> d(p);
  host::sweep_scale_vector(p, a, d);
  host::BitSet swept(p);
  out.assign(static_cast<std::size_t>(cmd.n_fixed_effects()), {});
  lrowset.resize(p);
  std::vector<double> row(p);
  for (int t = 0; t < cmd.n_fixed_effects(); ++t) {
    if (host::interrupted()) return false;
    const std::size_t first = static_cast<std::size_t>(group.fx_fcol[t]);
    const std::size_t last = first + static_cast<std::size_t>(group.fx_ncol[t]);
    std::vector<std::size_t> added;
    for (std::size_t k = first; k < last; ++k) {
      if (swept.test(k)) continue;
      if (host::sweep_if_tolerant(p, k, a, d, swept, cmd.singularity_tolerance)) added.push_back(k);
    }
    estimate::TermHypothesis& h = out[static_cast<std::size_t>(t)];
    h.df = static_cast<int>(added.size());
    for (std::size_t k : added) {
      hypothesis_row(p, a, swept, k, row);
      host::clean_negligible(row, static_cast<double>(p) * 10000.0);
      h.L.insert(h.L.end(), row.begin(), row.end());
      lrowset.set(k);
    }
  }
  return true;
}

}  // namespace mixed::estimate
