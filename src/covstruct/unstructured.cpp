// The unstructured family: one parameter per place of the packed lower
// triangle of the levels, U(b, a) at place b(b+1)/2 + a, so a block of L levels
// has L(L+1)/2 parameters.
#include <cstddef>
#include <utility>

#include "covstruct/families.h"
#include "host/packed_ops.h"

namespace mixed::covstruct {

using host::sym;
using host::tri;

namespace {

// Place k (0-based) of a packed lower triangle with npar places is diagonal
// when k + 1 = i(i+1)/2 for some i >= 1; the walk stops once the running sum
// reaches npar.
bool diagonal_place(int npar, int k) {
  const int target = k + 1;
  int s = 0;
  for (int i = 1;; ++i) {
    s += i;
    if (s == target) return true;
    if (s >= npar || s > target) return false;
  }
}

int triangle_count(int n) { return n * (n + 1) / 2; }

}  // namespace

// ---- UN: Σ(i, j) = U(l_i, l_j), variances on the diagonal places and
// covariances off them.  Σ is linear in θ. ----

namespace {

void un_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  if (lv.identity()) {
    std::copy_n(t.begin(), host::tri_size(n), out.begin());
    return;
  }
  for (int i = 0; i < n; ++i)
    for (int j = 0; j <= i; ++j) out[tri(i, j)] = t[sym(lv.level(i), lv.level(j))];
}

// The parameter at place (r, c) moves the one place of the rows that carry
// levels r and c.
void un_first_derivative(int, std::span<const double>, int k, const LevelMap& lv, std::span<double> out) {
  const auto [r, c] = host::packed_place_of(static_cast<std::size_t>(k));
  put_levels(lv, static_cast<int>(r), static_cast<int>(c), 1.0, out);
}

// With i, j the rows of levels r and c, Σ_k = e_i·e_jᵀ + e_j·e_iᵀ (e_i·e_iᵀ
// when r = c), so P_k = a_i·a_jᵀ + a_j·a_iᵀ (a_i·a_iᵀ).
void un_inverse_first_derivative(int n, std::span<const double>, int k, std::span<const double> a, const LevelMap& lv,
                                 std::span<double> out) {
  const auto place = host::packed_place_of(static_cast<std::size_t>(k));
  const int i = lv.row(static_cast<int>(place.row)), j = lv.row(static_cast<int>(place.col));
  for (int p = 0; p < n; ++p)
    for (int q = 0; q <= p; ++q) {
      double v = 0.0;
      if (i >= 0 && j >= 0)
        v = i == j ? a[sym(p, i)] * a[sym(q, i)] : a[sym(p, i)] * a[sym(q, j)] + a[sym(p, j)] * a[sym(q, i)];
      out[tri(p, q)] = v;
    }
}

}  // namespace

const CovarianceStructure un_structure{
    .name = "Unstructured",
    .parameter_count = triangle_count,
    .parameter_kind = [](int npar, int k) { return diagonal_place(npar, k) ? Variance : Covariance; },
    .matrix = un_matrix,
    .first_derivative = un_first_derivative,
    .inverse_first_derivative = un_inverse_first_derivative,
};

// ---- UNR, unstructured correlations: s_i·s_j·U(l_i, l_j) off the diagonal,
// s_i² on it, with the standard deviations s_l = U(l, l) on the diagonal
// places and correlations off them ----

namespace {

void unr_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const int li = lv.level(i);
    const double si = t[tri(li, li)];
    for (int j = 0; j < i; ++j) {
      const int lj = lv.level(j);
      out[tri(i, j)] = si * t[tri(lj, lj)] * t[sym(li, lj)];
    }
    out[tri(i, i)] = si * si;
  }
}

void unr_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
  const auto [r, c] = host::packed_place_of(static_cast<std::size_t>(k));
  const int lr = static_cast<int>(r), lc = static_cast<int>(c);
  auto s = [&](int l) { return t[tri(l, l)]; };
  if (lr == lc) {
    put_row(n, lv, lr, 2.0 * t[k], out, [&](int j) {
      const int lj = lv.level(j);
      return s(lj) * t[sym(lr, lj)];
    });
  } else {
    put_levels(lv, lr, lc, s(lr) * s(lc), out);
  }
}

// A pair of standard deviations, or a standard deviation with a correlation
// of its own level.
void unr_second_derivative(int, std::span<const double> t, int k, int l, const LevelMap& lv, std::span<double> out) {
  auto [kr, kc] = host::packed_place_of(static_cast<std::size_t>(k));
  auto [lr, lc] = host::packed_place_of(static_cast<std::size_t>(l));
  if (kr != kc) {
    std::swap(kr, lr);
    std::swap(kc, lc);
  }
  if (kr != kc) return;
  const int m = static_cast<int>(kr);
  const int r = static_cast<int>(lr), c = static_cast<int>(lc);
  if (r == c) {
    put_levels(lv, m, r, m == r ? 2.0 : t[sym(m, r)], out);
  } else if (m == r || m == c) {
    const int other = m == r ? c : r;
    put_levels(lv, r, c, t[tri(other, other)], out);
  }
}

}  // namespace

const CovarianceStructure unr_structure{
    .name = "Unstructured Correlations",
    .parameter_count = triangle_count,
    .parameter_kind = [](int npar, int k) { return diagonal_place(npar, k) ? StdDev : Correlation; },
    .matrix = unr_matrix,
    .first_derivative = unr_first_derivative,
    .second_derivative = unr_second_derivative,
};

}  // namespace mixed::covstruct
