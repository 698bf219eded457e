#include "estimate/type3.h"

#include <algorithm>
#include <cmath>

#include "estimate/fixed_sweep.h"
#include "host/engine.h"
#include "host/packed.h"
#include "host/rowreduce.h"
#include "host/sweep.h"
#include "host/vectors.h"

namespace mixed::estimate {

using host::tri;

int containment(std::span<const int> a, std::span<const int> b, int n_factors) {
  for (std::size_t i = static_cast<std::size_t>(n_factors); i < a.size(); ++i)
    if (std::abs(a[i]) != std::abs(b[i])) return 0;
  bool a_in_b = true, b_in_a = true;
  int na = 0, nb = 0;
  for (int f = 0; f < n_factors; ++f) {
    const bool in_a = a[f] >= 1, in_b = b[f] >= 1;
    na += in_a;
    nb += in_b;
    if (in_a && !in_b) a_in_b = false;
    if (in_b && !in_a) b_in_a = false;
  }
  if (a_in_b && nb > na) return 1;
  if (b_in_a && na > nb) return 2;
  return 0;
}

std::vector<int> containment_levels(const model::EffectTable& terms, int n_factors, int c) {
  const int n = static_cast<int>(terms.rows());
  std::vector<int> level(static_cast<std::size_t>(n), -1);
  level[c] = 0;
  bool any = false;
  for (int j = 0; j < n; ++j) {
    if (j != c && containment(terms.row(c), terms.row(j), n_factors) == 1) {
      level[j] = 1;
      any = true;
    }
  }
  if (!any) return level;
  // Layer the containing terms by containment among themselves.
  int top = 1;
  for (bool moved = true; moved;) {
    moved = false;
    std::vector<int> up;
    for (int j = 0; j < n; ++j) {
      if (level[j] != top) continue;
      for (int k = 0; k < n; ++k)
        if (k != j && level[k] == top && containment(terms.row(k), terms.row(j), n_factors) == 1) {
          up.push_back(j);
          break;
        }
    }
    for (int j : up) level[j] = top + 1;
    if (!up.empty()) {
      moved = true;
      ++top;
    }
  }
  for (int j = 0; j < n; ++j) {
    if (level[j] <= 0 || level[j] >= top) continue;
    bool contained_by_top = false;
    for (int k = 0; k < n; ++k)
      if (level[k] == top && containment(terms.row(j), terms.row(k), n_factors) == 1) contained_by_top = true;
    if (!contained_by_top) level[j] = top;
  }
  return level;
}

double round_hypothesis(double v, double tau) {
  const double a = std::fabs(v);
  const double sign = v > 0.0 ? 1.0 : -1.0;
  double r = v;
  if (std::fabs(a - 1.0) <= tau)
    r = std::fabs(a - 0.5) <= 2.0 * tau ? 0.5 * sign : sign;
  else if (std::fabs(a - 0.5) <= 2.0 * tau)
    r = 0.5 * sign;
  if (std::fabs(r) <= tau) r = 0.0;
  return r;
}

namespace {

struct Term {
  std::size_t first = 0, last = 0;
};

// Sweeps the still unswept columns of a term; returns the columns swept now.
std::vector<std::size_t> sweep_term(std::size_t p, std::vector<double>& a, std::span<const double> d,
                                    host::BitSet& swept, const Term& t, double tol) {
  std::vector<std::size_t> now;
  for (std::size_t k = t.first; k < t.last; ++k)
    if (!swept.test(k) && host::sweep_if_tolerant(p, k, a, d, swept, tol)) now.push_back(k);
  return now;
}

// The rounded rows of a term's swept columns from the (cleaned) swept copy.
void term_rows(std::size_t p, std::span<const double> copy, const host::BitSet& swept, const Term& t, double tau,
               std::vector<double>& rows) {
  std::vector<double> row(p);
  for (std::size_t k = t.first; k < t.last; ++k) {
    if (!swept.test(k)) continue;
    hypothesis_row(p, copy, swept, k, row);
    for (double& v : row) v = round_hypothesis(v, tau);
    rows.insert(rows.end(), row.begin(), row.end());
  }
}

}  // namespace

bool type3_hypotheses(const model::Command& cmd, const data::GroupData& group, std::span<const double> xtx,
                      std::vector<estimate::TermHypothesis>& out, host::BitSet& lrowset) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  const int nterms = cmd.n_fixed_effects();
  out.assign(static_cast<std::size_t>(nterms), {});
  lrowset.resize(p);
  std::vector<Term> terms(static_cast<std::size_t>(nterms));
  for (int t = 0; t < nterms; ++t) {
    terms[t].first = static_cast<std::size_t>(group.fx_fcol[t]);
    terms[t].last = terms[t].first + static_cast<std::size_t>(group.fx_ncol[t]);
  }
  std::vector<double> a(xtx.begin(), xtx.end());
  std::vector<double> d(p);
  host::sweep_scale_vector(p, a, d);
  host::BitSet swept(p);
  double tau = 1e-8;

  for (int t = 0; t < nterms; ++t) {
    if (host::interrupted()) return false;
    const std::vector<int> level = containment_levels(cmd.fixed, cmd.n_factors(), t);
    if (t > 0) a.assign(xtx.begin(), xtx.end()), swept.clear();

    for (int j = 0; j < nterms; ++j)
      if (level[j] < 0) sweep_term(p, a, d, swept, terms[j], cmd.singularity_tolerance);
    const std::vector<std::size_t> own = sweep_term(p, a, d, swept, terms[t], cmd.singularity_tolerance);
    int df = static_cast<int>(own.size());
    if (df == 0) continue;
    for (int j = 0; j < nterms; ++j)
      if (level[j] > 0) sweep_term(p, a, d, swept, terms[j], cmd.singularity_tolerance);

    // The swept copy with negligible elements zeroed, and the rounding tolerance.
    std::vector<double> copy = a;
    double maxdiag = 0.0;
    for (std::size_t k = 0; k < p; ++k) maxdiag = std::max(maxdiag, std::fabs(copy[tri(k, k)]));
    const double zeta = 1e-8 * maxdiag;
    if (maxdiag > 1.0) tau = maxdiag * 1e-8;
    tau = std::min(tau, 0.01);
    for (double& v : copy)
      if (std::fabs(v) <= zeta) v = 0.0;

    std::vector<double> rows;
    term_rows(p, copy, swept, terms[t], tau, rows);
    std::vector<double> containing;
    for (int j = 0; j < nterms; ++j)
      if (level[j] > 0) term_rows(p, copy, swept, terms[j], tau, containing);
    const std::size_t m = containing.size() / std::max<std::size_t>(p, 1);

    host::BitSet alive(own.size());
    for (std::size_t r = 0; r < own.size(); ++r) alive.set(r);
    if (m > 0)
      df = static_cast<int>(
          host::residuals_off_span(m, own.size(), p, containing, rows, alive, cmd.singularity_tolerance));
    if (df > 0) {
      for (int j = 0; j < nterms && df > 0; ++j) {
        if (level[j] >= 0) continue;
        for (std::size_t col = terms[j].first; col < terms[j].last && df > 0; ++col) {
          const long used = host::eliminate_column(own.size(), p, rows, alive, col, tau);
          if (used >= 0 && alive.test(static_cast<std::size_t>(used))) {
            alive.reset(static_cast<std::size_t>(used));
            --df;
          }
        }
      }
    }
    estimate::TermHypothesis& h = out[static_cast<std::size_t>(t)];
    h.df = df;
    for (std::size_t r = 0; r < own.size(); ++r) {
      const bool yields = df > 0 && alive.test(r);
      lrowset.set(own[r], yields);
      if (!yields) continue;
      std::span<double> row(rows.data() + r * p, p);
      host::clean_negligible(row, std::max<double>(static_cast<double>(p), 1000.0));
      h.L.insert(h.L.end(), row.begin(), row.end());
    }
  }
  return true;
}

}  // namespace mixed::estimate
