// The Toeplitz family: one correlation per lag d = |l_i - l_j|, the same for
// every pair of levels that lie d apart.
#include <cstdlib>
#include <utility>

#include "covstruct/families.h"

namespace mixed::covstruct {

using host::tri;

// ---- TP, Toeplitz: σ² on the diagonal, σ²·ρ_d off it; θ = (σ², ρ_1, ...,
// ρ_(L-1)), ρ_d = θ[d] ----

namespace {

// All places set to σ² first, then scaled by ρ_d.
void tp_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  set_all(n, t[0], out);
  for (int i = 0; i < n; ++i)
    for (int j = 0; j < i; ++j) out[tri(i, j)] *= t[lv.lag(i, j)];
}

void tp_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
  if (k == 0) {
    put_diag(n, 1.0, out);
    put_off(n, out, [&](int i, int j) { return t[lv.lag(i, j)]; });
  } else {
    put_off(n, out, [&](int i, int j) { return lv.lag(i, j) == k ? t[0] : 0.0; });
  }
}

void tp_second_derivative(int n, std::span<const double>, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k > l) std::swap(k, l);
  if (k != 0 || l == 0) return;
  put_off(n, out, [&](int i, int j) { return lv.lag(i, j) == l ? 1.0 : 0.0; });
}

}  // namespace

const CovarianceStructure tp_structure{
    .name = "Toeplitz",
    .parameter_count = [](int n) { return n; },
    .parameter_kind = [](int, int k) { return k == 0 ? Variance : Correlation; },
    .matrix = tp_matrix,
    .first_derivative = tp_first_derivative,
    .second_derivative = tp_second_derivative,
};

// ---- TPH, heterogeneous Toeplitz: s_i·s_j·ρ_d; θ = (s_0, ρ_1, s_1, ρ_2, ...,
// s_(L-1)), s_l = θ[2l], ρ_d = θ[2d-1] ----

namespace {

void tph_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const double si = t[2 * lv.level(i)];
    for (int j = 0; j < i; ++j) out[tri(i, j)] = si * t[2 * lv.level(j)] * t[2 * lv.lag(i, j) - 1];
    out[tri(i, i)] = si * si;
  }
}

void tph_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
  if (k % 2 == 0) {
    const int m = k / 2;
    put_row(n, lv, m, 2.0 * t[k], out, [&](int j) {
      const int lj = lv.level(j);
      return t[2 * lj] * t[2 * std::abs(m - lj) - 1];
    });
  } else {
    const int lag = (k + 1) / 2;
    put_off(n, out, [&](int i, int j) { return lv.lag(i, j) == lag ? t[2 * lv.level(i)] * t[2 * lv.level(j)] : 0.0; });
  }
}

void tph_second_derivative(int n, std::span<const double> t, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k % 2 == 1) std::swap(k, l);
  if (k % 2 == 1) return;
  const int m = k / 2;
  if (l % 2 == 0) {
    const int p = l / 2;
    put_levels(lv, m, p, m == p ? 2.0 : t[2 * std::abs(m - p) - 1], out);
  } else {
    const int lag = (l + 1) / 2;
    put_row(n, lv, m, 0.0, out, [&](int j) {
      const int lj = lv.level(j);
      return std::abs(lj - m) == lag ? t[2 * lj] : 0.0;
    });
  }
}

}  // namespace

const CovarianceStructure tph_structure{
    .name = "Heterogeneous Toeplitz",
    .parameter_count = [](int n) { return 2 * n - 1; },
    .parameter_kind = [](int, int k) { return k % 2 == 0 ? StdDev : Correlation; },
    .matrix = tph_matrix,
    .first_derivative = tph_first_derivative,
    .second_derivative = tph_second_derivative,
};

}  // namespace mixed::covstruct
