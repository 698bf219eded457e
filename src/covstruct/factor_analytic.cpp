// The factor-analytic family: one common factor with loadings λ_l plus a
// specific variance δ_l, Σ = λ·λᵀ + diag(δ): λ_i·λ_j + δ_i on the diagonal,
// λ_i·λ_j off it.  FA1 has one δ for all levels, FAH1 one per level; the two
// differ only in where λ_l and δ_l sit in θ, so one template writes both.
#include <cmath>

#include "covstruct/families.h"

namespace mixed::covstruct {

using host::tri;

namespace {

// FA1: θ = (δ, λ_0, ..., λ_(L-1)), λ_l = θ[l+1].
// FAH1: θ = (λ_0, δ_0, λ_1, δ_1, ...), λ_l = θ[2l], δ_l = θ[2l+1].
template <bool heterogeneous>
void fa_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  auto loading = [&](int l) { return heterogeneous ? t[2 * l] : t[l + 1]; };
  auto offset = [&](int l) { return heterogeneous ? t[2 * l + 1] : t[0]; };
  for (int i = 0; i < n; ++i) {
    const int li = lv.level(i);
    const double lam = loading(li);
    for (int j = 0; j < i; ++j) out[tri(i, j)] = lam * loading(lv.level(j));
    out[tri(i, i)] = lam * lam + offset(li);
  }
}

// The loadings enter as λ_i·λ_j, the offsets additively (FA1's on every
// diagonal place, FAH1's at its own level).
template <bool heterogeneous>
void fa_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
  auto loading = [&](int row) { return heterogeneous ? t[2 * lv.level(row)] : t[lv.level(row) + 1]; };
  if (!heterogeneous && k == 0) {
    put_diag(n, 1.0, out);
  } else if (heterogeneous && k % 2 == 1) {
    put_row(n, lv, k / 2, 1.0, out, [](int) { return 0.0; });
  } else {
    const int m = heterogeneous ? k / 2 : k - 1;
    put_row(n, lv, m, 2.0 * t[k], out, loading);
  }
}

// Only pairs of loadings have a second derivative.
template <bool heterogeneous>
void fa_second_derivative(int, std::span<const double>, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (heterogeneous ? (k % 2 == 1 || l % 2 == 1) : (k == 0 || l == 0)) return;
  const int m = heterogeneous ? k / 2 : k - 1, p = heterogeneous ? l / 2 : l - 1;
  put_levels(lv, m, p, m == p ? 2.0 : 1.0, out);
}

}  // namespace

// ---- FA1, constant specific variance ----
const CovarianceStructure fa1_structure{
    .name = "First-Order Factor Analytic, Const Diag",
    .parameter_count = [](int n) { return n + 1; },
    .parameter_kind = [](int, int k) { return k == 0 ? Variance : Unrestricted; },
    .matrix = fa_matrix<false>,
    .first_derivative = fa_first_derivative<false>,
    .second_derivative = fa_second_derivative<false>,
    // One common factor carries half of the variance at the first level.
    .start =
        [](int n, double s0, std::span<double> t) {
          const double half = s0 / 2.0;
          t[0] = half;
          if (n >= 2) t[1] = std::sqrt(half);
        },
};

// ---- FAH1, one specific variance per level ----
const CovarianceStructure fah1_structure{
    .name = "First-Order Factor Analytic, Heter Diag",
    .parameter_count = [](int n) { return 2 * n; },
    .parameter_kind = [](int, int k) { return k % 2 == 0 ? Unrestricted : Variance; },
    .matrix = fa_matrix<true>,
    .first_derivative = fa_first_derivative<true>,
    .second_derivative = fa_second_derivative<true>,
    // The common factor carries half of the variance at the first level, the
    // specific variances the other half.
    .start =
        [](int n, double s0, std::span<double> t) {
          const double half = s0 / 2.0;
          for (int i = 0; i < n; ++i) {
            t[2 * i] = i == 0 ? std::sqrt(half) : 0.0;
            t[2 * i + 1] = half;
          }
        },
};

}  // namespace mixed::covstruct
