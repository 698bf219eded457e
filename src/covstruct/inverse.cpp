#include "covstruct/inverse.h"
#include "covstruct/types.h"

#include <algorithm>
#include <cmath>

#include "covstruct/products.h"
#include "covstruct/structure.h"
#include "host/cholesky.h"
#include "host/packed.h"

namespace mixed::covstruct {

using host::sym;
using host::tri;

namespace {

void clear(int n, std::span<double> out) { std::fill_n(out.begin(), host::tri_size(n), 0.0); }

}  // namespace

void structure_factor(int n, std::span<const double> theta, std::span<const double> sigma, CovType cov_type,
                      std::span<double> out, double tol) {
  const CovarianceStructure* s = structure(cov_type);
  if (s != nullptr && s->factor != nullptr) return s->factor(n, theta, out);
  std::copy_n(sigma.begin(), host::tri_size(n), out.begin());
  host::packed_cholesky(n, out, tol);
}

double structure_inverse(int n, std::span<const double> theta, std::span<const double> sigma,
                         std::span<const int> lvlidx, CovType cov_type, std::span<double> out, bool want_logdet,
                         double tol) {
  const CovarianceStructure* s = structure(cov_type);
  if (s != nullptr && s->inverse != nullptr) return s->inverse(n, theta, LevelMap(n, lvlidx), out, want_logdet);
  // Σ = L·Lᵀ, log det Σ = 2 Σ log L_ii, A = L⁻ᵀ·L⁻¹.
  double logdet = 0.0;
  std::copy_n(sigma.begin(), host::tri_size(n), out.begin());
  host::packed_cholesky(n, out, tol);
  if (want_logdet) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i)
      if (out[tri(i, i)] > 0.0) sum += std::log(out[tri(i, i)]);
    logdet = 2.0 * sum;
  }
  host::invert_lower_triangular(n, out);
  host::lower_triangular_cross_product(n, out);
  return logdet;
}

void inverse_first_derivative(int n, std::span<const double> theta, int k, std::span<const double> a,
                              std::span<const double> sigma_k, std::span<const int> lvlidx, CovType cov_type,
                              std::span<double> out) {
  const CovarianceStructure* s = structure(cov_type);
  if (s != nullptr && s->inverse_first_derivative != nullptr)
    return s->inverse_first_derivative(n, theta, k, a, LevelMap(n, lvlidx), out);
  clear(n, out);
  sandwich(n, a, sigma_k, out);
}

void inverse_second_derivative(int n, std::span<const double> theta, int k, int l, std::span<const double> sigma,
                               std::span<const double> a, std::span<const double> sigma_kl, std::span<const double> p_k,
                               std::span<const double> p_l, std::span<const int> lvlidx, CovType cov_type,
                               std::span<double> out) {
  const CovarianceStructure* s = structure(cov_type);
  if (s != nullptr && s->inverse_second_derivative != nullptr)
    return s->inverse_second_derivative(n, theta, k, l, LevelMap(n, lvlidx), out);
  clear(n, out);
  const std::size_t un = static_cast<std::size_t>(n);
  sandwich(un, a, sigma_kl, out);
  for (std::size_t i = 0; i < un; ++i) {
    double* oi = &out[tri(i, 0)];
    for (std::size_t m = 0; m < un; ++m) {
      const double x = product_element(un, p_k, sigma, i, m);
      const double y = product_element(un, p_l, sigma, i, m);
      if (x == 0.0 && y == 0.0) continue;
      for (std::size_t j = 0; j <= i; ++j) oi[j] -= x * p_l[sym(m, j)] + y * p_k[sym(m, j)];
    }
  }
}

}  // namespace mixed::covstruct
