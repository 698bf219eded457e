// The compound-symmetry family: one correlation (or covariance) shared by every
// pair of levels, and Huynh-Feldt, whose contrasts between levels all have the
// same variance.
#include <cstddef>
#include <utility>
#include <vector>

#include "covstruct/families.h"
#include "covstruct/products.h"

namespace mixed::covstruct {

using host::sym;
using host::tri;

// ---- CS, compound symmetry: θ[0] + θ[1] on the diagonal, the common
// covariance θ[1] off it.  Σ is linear in θ. ----

namespace {

void cs_matrix(int n, std::span<const double> t, const LevelMap&, std::span<double> out) {
  set_all(n, t[1], out);
  for (int i = 0; i < n; ++i) out[tri(i, i)] += t[0];
}

void cs_first_derivative(int n, std::span<const double>, int k, const LevelMap&, std::span<double> out) {
  if (k == 0)
    put_diag(n, 1.0, out);
  else
    set_all(n, 1.0, out);
}

}  // namespace

const CovarianceStructure cs_structure{
    .name = "Compound Symmetry",
    .parameter_count = [](int) { return 2; },
    .parameter_kind = [](int, int k) { return k == 0 ? Variance : Covariance; },
    .matrix = cs_matrix,
    .first_derivative = cs_first_derivative,
    // The eigenvalues are θ[0] and θ[0] + n·θ[1].
    .admissibility =
        [](int n, std::span<const double> t) {
          const double total = t[0] + n * t[1];
          return grade(t[0] > 0.0 && total > 0.0, t[0] >= 0.0 && total >= 0.0);
        },
};

// ---- CSH, heterogeneous compound symmetry: s_i·s_j·ρ; θ = (ρ, s_0, ..., s_(L-1)),
// s_l = θ[l+1] ----

namespace {

void csh_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const double si = t[lv.level(i) + 1];
    for (int j = 0; j < i; ++j) out[tri(i, j)] = si * t[lv.level(j) + 1] * t[0];
    out[tri(i, i)] = si * si;
  }
}

void csh_first_derivative(int n, std::span<const double> t, int k, const LevelMap& lv, std::span<double> out) {
  auto s = [&](int row) { return t[lv.level(row) + 1]; };
  if (k == 0)
    put_off(n, out, [&](int i, int j) { return s(i) * s(j); });
  else
    put_row(n, lv, k - 1, 2.0 * t[k], out, [&](int j) { return t[0] * s(j); });
}

void csh_second_derivative(int n, std::span<const double> t, int k, int l, const LevelMap& lv, std::span<double> out) {
  if (k > l) std::swap(k, l);
  if (k == 0 && l == 0) return;
  if (k == 0) {
    put_row(n, lv, l - 1, 0.0, out, [&](int j) { return t[lv.level(j) + 1]; });
  } else {
    const int m = k - 1, p = l - 1;
    put_levels(lv, m, p, m == p ? 2.0 : t[0], out);
  }
}

}  // namespace

const CovarianceStructure csh_structure{
    .name = "Heterogeneous Compound Symmetry",
    .parameter_count = [](int n) { return n + 1; },
    .parameter_kind = [](int, int k) { return k == 0 ? Correlation : StdDev; },
    .matrix = csh_matrix,
    .first_derivative = csh_first_derivative,
    .second_derivative = csh_second_derivative,
};

// ---- CSR, correlation compound symmetry: σ² on the diagonal, σ²·ρ off it;
// θ = (σ², ρ) ----

namespace {

void csr_matrix(int n, std::span<const double> t, const LevelMap&, std::span<double> out) {
  const double c = t[0] * t[1];
  set_all(n, c, out);
  for (int i = 0; i < n; ++i) out[tri(i, i)] = t[0];
}

void csr_first_derivative(int n, std::span<const double> t, int k, const LevelMap&, std::span<double> out) {
  if (k == 0) put_diag(n, 1.0, out);
  put_off(n, out, [&](int, int) { return k == 0 ? t[1] : t[0]; });
}

void csr_second_derivative(int n, std::span<const double>, int k, int l, const LevelMap&, std::span<double> out) {
  if (k + l == 1) put_off(n, out, [](int, int) { return 1.0; });
}

}  // namespace

const CovarianceStructure csr_structure{
    .name = "Correlation Compound Symmetry",
    .parameter_count = [](int) { return 2; },
    .parameter_kind = [](int, int k) { return k == 0 ? Variance : Correlation; },
    .matrix = csr_matrix,
    .first_derivative = csr_first_derivative,
    .second_derivative = csr_second_derivative,
};

// ---- HF, Huynh-Feldt: v_i on the diagonal, (v_i + v_j)/2 - λ off it;
// θ = (λ, v_0, ..., v_(L-1)), v_l = θ[l+1].  Σ is linear in θ. ----

namespace {

void hf_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  for (int i = 0; i < n; ++i) {
    const double vi = t[lv.level(i) + 1];
    for (int j = 0; j < i; ++j) out[tri(i, j)] = (vi + t[lv.level(j) + 1]) / 2.0 - t[0];
    out[tri(i, i)] = vi;
  }
}

void hf_first_derivative(int n, std::span<const double>, int k, const LevelMap& lv, std::span<double> out) {
  if (k == 0)
    put_off(n, out, [](int, int) { return -1.0; });
  else
    put_row(n, lv, k - 1, 1.0, out, [](int) { return 0.5; });
}

// Σ_0 = I - J (-1 off the diagonal) gives P_0 = A·A - s·sᵀ; the variance of
// level m moves row and column m by 1/2, Σ_k = (e_m·1ᵀ + 1·e_mᵀ)/2, giving
// P_k = (a_m·sᵀ + s·a_mᵀ)/2, with s = A·1 the row sums and a_m column m of A.
void hf_inverse_first_derivative(int n, std::span<const double>, int k, std::span<const double> a, const LevelMap& lv,
                                 std::span<double> out) {
  const std::size_t un = static_cast<std::size_t>(n);
  std::vector<double> s(un);
  for (std::size_t i = 0; i < un; ++i) s[i] = row_sum(un, a, i);
  if (k == 0) {
    for (int p = 0; p < n; ++p)
      for (int q = 0; q <= p; ++q) out[tri(p, q)] = product_element(un, a, a, p, q) - s[p] * s[q];
    return;
  }
  const int r = lv.row(k - 1);
  for (int p = 0; p < n; ++p)
    for (int q = 0; q <= p; ++q) out[tri(p, q)] = r < 0 ? 0.0 : 0.5 * (a[sym(p, r)] * s[q] + s[p] * a[sym(q, r)]);
}

}  // namespace

const CovarianceStructure hf_structure{
    .name = "Huynh-Feldt",
    .parameter_count = [](int n) { return n + 1; },
    .parameter_kind = [](int, int k) { return k == 0 ? Unrestricted : Variance; },
    .matrix = hf_matrix,
    .first_derivative = hf_first_derivative,
    // Every variance at s0 and λ at s0, which gives s0·I; λ at 0 for one level.
    .start =
        [](int n, double s0, std::span<double> t) {
          std::fill(t.begin(), t.end(), s0);
          if (n == 1) t[0] = 0.0;
        },
    .inverse_first_derivative = hf_inverse_first_derivative,
};

}  // namespace mixed::covstruct
