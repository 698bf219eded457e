#include "covstruct/inverse.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "covstruct/level_map.h"
#include "covstruct/products.h"
#include "covstruct/types.h"
#include "host/cholesky.h"
#include "host/packed.h"
#include "host/packed_ops.h"

namespace mixed::covstruct {

using host::sym;
using host::tri;

namespace {

bool scalar(int cov_type) { return cov_type == covstruct::ID || cov_type == covstruct::VC; }
bool diagonal(int cov_type) { return cov_type == covstruct::DIAG || cov_type == covstruct::VC_REPEATED; }

void clear(int n, std::span<double> out) { std::fill_n(out.begin(), host::tri_size(n), 0.0); }

// HF: Σ_1 = I - J (-1 off the diagonal) gives P_1 = A·A - s·sᵀ; the variance of
// level m moves row and column m by 1/2, Σ_k = (e_m·1ᵀ + 1·e_mᵀ)/2, giving
// P_k = (a_m·sᵀ + s·a_mᵀ)/2, with s = A·1 the row sums and a_m column m of A.
void hf_p(int n, int k, std::span<const double> a, const LevelMap& lv, std::span<double> out) {
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
    for (int q = 0; q <= p; ++q)
      out[tri(p, q)] = r < 0 ? 0.0 : 0.5 * (a[sym(p, r)] * s[q] + s[p] * a[sym(q, r)]);
}

// UN: the parameter at packed place (r, c) moves the one place of the rows i
// and j that carry levels r and c, Σ_k = e_i·e_jᵀ + e_j·e_iᵀ (e_i·e_iᵀ when
// r = c), so P_k = a_i·a_jᵀ + a_j·a_iᵀ (a_i·a_iᵀ).
void un_p(int n, int k, std::span<const double> a, const LevelMap& lv, std::span<double> out) {
  const auto place = host::packed_place_of(static_cast<std::size_t>(k));
  const int i = lv.row(static_cast<int>(place.row)), j = lv.row(static_cast<int>(place.col));
  for (int p = 0; p < n; ++p)
    for (int q = 0; q <= p; ++q) {
      double v = 0.0;
      if (i >= 0 && j >= 0)
        v = i == j ? a[sym(p, i)] * a[sym(q, i)]
                   : a[sym(p, i)] * a[sym(q, j)] + a[sym(p, j)] * a[sym(q, i)];
      out[tri(p, q)] = v;
    }
}

}  // namespace

void structure_factor(int n, std::span<const double> theta, std::span<const double> sigma, int cov_type,
            std::span<double> out, double tol) {
  if (scalar(cov_type) || diagonal(cov_type)) {
    clear(n, out);
    for (int i = 0; i < n; ++i) {
      const double v = scalar(cov_type) ? theta[0] : theta[i];
      out[tri(i, i)] = v > 0.0 ? std::sqrt(v) : 0.0;
    }
    return;
  }
  std::copy_n(sigma.begin(), host::tri_size(n), out.begin());
  host::packed_cholesky(n, out, tol);
}

double structure_inverse(int n, std::span<const double> theta, std::span<const double> sigma,
              std::span<const int> lvlidx, int cov_type, std::span<double> out, bool want_logdet,
              double tol) {
  double logdet = 0.0;
  if (scalar(cov_type)) {
    clear(n, out);
    const double v = theta[0];
    if (v > 0.0) {
      for (int i = 0; i < n; ++i) out[tri(i, i)] = 1.0 / v;
      if (want_logdet) logdet = n * std::log(v);
    }
    return logdet;
  }
  if (diagonal(cov_type)) {
    const LevelMap lv(n, lvlidx);
    clear(n, out);
    for (int i = 0; i < n; ++i) {
      const double v = theta[lv.level(i)];
      if (v <= 0.0) continue;
      out[tri(i, i)] = 1.0 / v;
      if (want_logdet) logdet += std::log(v);
    }
    return logdet;
  }
  // Σ = L·Lᵀ, log det Σ = 2 Σ log L_ii, A = L⁻ᵀ·L⁻¹.
  std::copy_n(sigma.begin(), host::tri_size(n), out.begin());
  host::packed_cholesky(n, out, tol);
  if (want_logdet) {
    double s = 0.0;
    for (int i = 0; i < n; ++i)
      if (out[tri(i, i)] > 0.0) s += std::log(out[tri(i, i)]);
    logdet = 2.0 * s;
  }
  host::invert_lower_triangular(n, out);
  host::LTGLTL(n, out);
  return logdet;
}

void inverse_first_derivative(int n, std::span<const double> theta, int k, std::span<const double> a,
            std::span<const double> sigma_k, std::span<const int> lvlidx, int cov_type,
            std::span<double> out) {
  const LevelMap lv(n, lvlidx);
  if (scalar(cov_type) || diagonal(cov_type)) {
    clear(n, out);
    const double v = scalar(cov_type) ? theta[0] : theta[k];
    if (v <= 0.0) return;
    const double u = 1.0 / v;
    if (scalar(cov_type)) {
      for (int i = 0; i < n; ++i) out[tri(i, i)] = u * u;
    } else if (const int r = lv.row(k); r >= 0) {
      out[tri(r, r)] = u * u;
    }
    return;
  }
  if (cov_type == covstruct::HF) return hf_p(n, k, a, lv, out);
  if (cov_type == covstruct::UN) return un_p(n, k, a, lv, out);
  clear(n, out);
  sandwich(n, a, sigma_k, out);
}

void inverse_second_derivative(int n, std::span<const double> theta, int k, int l, std::span<const double> sigma,
            std::span<const double> a, std::span<const double> sigma_kl,
            std::span<const double> p_k, std::span<const double> p_l,
            std::span<const int> lvlidx, int cov_type, std::span<double> out) {
  clear(n, out);
  if (scalar(cov_type)) {
    const double v = theta[0];
    if (v > 0.0)
      for (int i = 0; i < n; ++i) out[tri(i, i)] = -2.0 / (v * v * v);
    return;
  }
  if (diagonal(cov_type)) {
    const int r = LevelMap(n, lvlidx).row(k);
    if (k != l || r < 0 || theta[k] <= 0.0) return;
    const double u = 1.0 / theta[k];
    const double u3 = u * u * u;
    out[tri(r, r)] = -(u3 + u3);
    return;
  }
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
