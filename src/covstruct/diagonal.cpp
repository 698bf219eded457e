// The diagonal family: uncorrelated levels.  DIAG has one variance per level
// (VC on REPEATED is stored as DIAG), ID and VC one variance for the whole
// block.  Σ is linear in θ.
#include <cmath>

#include "covstruct/families.h"

namespace mixed::covstruct {

using host::tri;

namespace {

// θ[l_i] (per level) or θ[0] on the diagonal, 0 off it.
template <bool per_level>
void diagonal_matrix(int n, std::span<const double> t, const LevelMap& lv, std::span<double> out) {
  set_all(n, 0.0, out);
  for (int i = 0; i < n; ++i) out[tri(i, i)] = per_level ? t[lv.level(i)] : t[0];
}

}  // namespace

// ---- DIAG: θ = (σ²_0, ..., σ²_(L-1)).  A row whose variance is not positive
// is left out of A and of log det Σ. ----

namespace {

// √θ[i] on the diagonal, θ taken in order, 0 where θ[i] ≤ 0.
void diag_factor(int n, std::span<const double> theta, std::span<double> out) {
  set_all(n, 0.0, out);
  for (int i = 0; i < n; ++i) {
    const double v = theta[i];
    out[tri(i, i)] = v > 0.0 ? std::sqrt(v) : 0.0;
  }
}

double diag_inverse(int n, std::span<const double> theta, const LevelMap& lv, std::span<double> out, bool want_logdet) {
  double logdet = 0.0;
  set_all(n, 0.0, out);
  for (int i = 0; i < n; ++i) {
    const double v = theta[lv.level(i)];
    if (v <= 0.0) continue;
    out[tri(i, i)] = 1.0 / v;
    if (want_logdet) logdet += std::log(v);
  }
  return logdet;
}

// P_k = 1/θ_k² at the row of level k.
void diag_inverse_first_derivative(int n, std::span<const double> theta, int k, std::span<const double>,
                                   const LevelMap& lv, std::span<double> out) {
  set_all(n, 0.0, out);
  const double v = theta[k];
  if (v <= 0.0) return;
  const double u = 1.0 / v;
  if (const int r = lv.row(k); r >= 0) out[tri(r, r)] = u * u;
}

// Q_kk = -2/θ_k³ at the row of level k; 0 for k ≠ l.
void diag_inverse_second_derivative(int n, std::span<const double> theta, int k, int l, const LevelMap& lv,
                                    std::span<double> out) {
  set_all(n, 0.0, out);
  const int r = lv.row(k);
  if (k != l || r < 0 || theta[k] <= 0.0) return;
  const double u = 1.0 / theta[k];
  const double u3 = u * u * u;
  out[tri(r, r)] = -(u3 + u3);
}

}  // namespace

const CovarianceStructure diag_structure{
    .name = "Diagonal",
    .parameter_count = [](int n) { return n; },
    .parameter_kind = [](int, int) { return Variance; },
    .matrix = diagonal_matrix<true>,
    .first_derivative = [](int, std::span<const double>, int k, const LevelMap& lv,
                           std::span<double> out) { put_levels(lv, k, k, 1.0, out); },
    // Positive definite when every variance is positive, semidefinite when none is negative.
    .admissibility =
        [](int, std::span<const double> t) {
          bool positive = true, negative = false;
          for (double v : t) {
            positive = positive && v > 0.0;
            negative = negative || !(v >= 0.0);
          }
          return grade(positive, !negative);
        },
    .factor = diag_factor,
    .inverse = diag_inverse,
    .inverse_first_derivative = diag_inverse_first_derivative,
    .inverse_second_derivative = diag_inverse_second_derivative,
};

// ---- ID and VC: θ = (σ²), Σ = σ²·I.  For σ² ≤ 0, L, A and its derivatives
// are 0 and log det Σ is 0. ----

namespace {

void scalar_first_derivative(int n, std::span<const double>, int, const LevelMap&, std::span<double> out) {
  put_diag(n, 1.0, out);
}

// Positive definite for σ² > 0; semidefinite, Σ = 0, at σ² = 0.
Admissibility scalar_admissibility(int, std::span<const double> t) { return grade(t[0] > 0.0, t[0] == 0.0); }

void scalar_factor(int n, std::span<const double> theta, std::span<double> out) {
  set_all(n, 0.0, out);
  for (int i = 0; i < n; ++i) {
    const double v = theta[0];
    out[tri(i, i)] = v > 0.0 ? std::sqrt(v) : 0.0;
  }
}

double scalar_inverse(int n, std::span<const double> theta, const LevelMap&, std::span<double> out, bool want_logdet) {
  double logdet = 0.0;
  set_all(n, 0.0, out);
  const double v = theta[0];
  if (v > 0.0) {
    for (int i = 0; i < n; ++i) out[tri(i, i)] = 1.0 / v;
    if (want_logdet) logdet = n * std::log(v);
  }
  return logdet;
}

// P = I/σ⁴.
void scalar_inverse_first_derivative(int n, std::span<const double> theta, int, std::span<const double>,
                                     const LevelMap&, std::span<double> out) {
  set_all(n, 0.0, out);
  const double v = theta[0];
  if (v <= 0.0) return;
  const double u = 1.0 / v;
  for (int i = 0; i < n; ++i) out[tri(i, i)] = u * u;
}

// Q = -2·I/σ⁶.
void scalar_inverse_second_derivative(int n, std::span<const double> theta, int, int, const LevelMap&,
                                      std::span<double> out) {
  set_all(n, 0.0, out);
  const double v = theta[0];
  if (v > 0.0)
    for (int i = 0; i < n; ++i) out[tri(i, i)] = -2.0 / (v * v * v);
}

// ID and VC differ only in their names.
constexpr CovarianceStructure scalar_structure(const char* name) {
  return {
      .name = name,
      .parameter_count = [](int) { return 1; },
      .parameter_kind = [](int, int) { return Variance; },
      .matrix = diagonal_matrix<false>,
      .first_derivative = scalar_first_derivative,
      .admissibility = scalar_admissibility,
      .factor = scalar_factor,
      .inverse = scalar_inverse,
      .inverse_first_derivative = scalar_inverse_first_derivative,
      .inverse_second_derivative = scalar_inverse_second_derivative,
  };
}

}  // namespace

const CovarianceStructure id_structure = scalar_structure("Identity");
const CovarianceStructure vc_structure = scalar_structure("Variance Components");

}  // namespace mixed::covstruct
