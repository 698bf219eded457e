#include "inference/satterthwaite.h"

#include <algorithm>

#include <Eigen/Dense>

#include "estimate/fit.h"
#include "host/dataset.h"
#include "host/packed.h"
#include "host/packed_ops.h"
#include "inference/random_part.h"

namespace mixed::inference {

namespace {

// A ν within this distance of 2 makes ν/(ν - 2) meaningless; the df is then 2.
constexpr double kNearTwo = 1e-12;

// The fixed image of the random coefficients: v = l_f - Σ_i tX_i' e_i.
std::vector<double> fixed_image(const data::GroupData& group, const estimate::Fit& fit, std::span<const double> lf,
                                std::span<const double> lr) {
  const std::size_t p = static_cast<std::size_t>(fit.p), q = static_cast<std::size_t>(fit.q);
  std::vector<double> v(lf.begin(), lf.end());
  if (lr.empty() || q == 0) return v;
  const std::vector<RandomColumn> places = random_column_places(group);
  std::vector<double> e(q), x(p);
  for (std::size_t i = 0; i < fit.rows.subjects(); ++i) {
    spread_random(fit, places, lr, i, e);
    multiply_transposed(q, p, subject_tX(fit, i), e, x);
    for (std::size_t c = 0; c < p; ++c) v[c] -= x[c];
  }
  return v;
}

// The random-effect side of the direction in subject i: s = -Y_i w + e_i -
// S_i G e_i and t = G s; without random coefficients (e empty) t = -tX_i w.
void subject_direction(const estimate::Fit& fit, std::size_t i, std::span<const double> w, std::span<const double> e,
                       std::span<double> sv, std::span<double> t) {
  const std::size_t p = static_cast<std::size_t>(fit.p), q = static_cast<std::size_t>(fit.q);
  multiply(q, p, subject_Y(fit, i), w, sv);
  for (double& x : sv) x = -x;
  if (e.empty()) {
    multiply(q, p, subject_tX(fit, i), w, t);
    for (double& x : t) x = -x;
    return;
  }
  std::vector<double> Ge(q), SGe(q);
  apply_G(fit, e, Ge);
  multiply(q, q, subject_S(fit, i), Ge, SGe);
  for (std::size_t u = 0; u < q; ++u) sv[u] += e[u] - SGe[u];
  apply_G(fit, sv, t);
}

// g_k += (w, t)' K_ik (w, t) for the repeated-block parameters; `stacked`
// holds (w, 0, t) over the columns [X y Z].
void add_repeated_share(const estimate::Fit& fit, std::size_t i, std::span<const double> stacked, std::span<double> g) {
  const std::size_t n2 = static_cast<std::size_t>(fit.n_residual_cov_params), T = fit.sub.tri;
  for (std::size_t k = 0; k < n2; ++k)
    g[k] += host::packed_quadratic_form(stacked.size(), stacked,
                                        std::span<const double>(fit.sub.Ck).subspan((i * n2 + k) * T, T));
}

// g_k += s_r' dG_k s_r over the replicates r of every RANDOM block.
void add_random_share(const estimate::Fit& fit, std::span<const double> sv, std::span<double> g) {
  for (const estimate::RandomBlock& blk : fit.blocks) {
    const std::size_t d = static_cast<std::size_t>(blk.dim), t = host::tri_size(d);
    for (int r = 0; r < blk.replicates; ++r) {
      std::span<const double> seg = sv.subspan(static_cast<std::size_t>(blk.col + r * blk.dim), d);
      if (std::all_of(seg.begin(), seg.end(), [](double x) { return x == 0.0; })) continue;
      for (int k = 0; k < blk.npar; ++k)
        g[static_cast<std::size_t>(blk.first_param + k)] +=
            host::packed_quadratic_form(d, seg, std::span<const double>(blk.dG).subspan(k * t, t));
    }
  }
}

// Adds the lower triangle of the dense p x p matrix P to the packed `out`.
void add_packed(const Eigen::MatrixXd& P, std::span<double> out) {
  for (Eigen::Index i = 0; i < P.rows(); ++i)
    for (Eigen::Index j = 0; j <= i; ++j) out[host::tri(i, j)] += P(i, j);
}

using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;

// g_k = w' P_k w with w = C l_f.
std::vector<double> fixed_gradient(const data::GroupData& group, const estimate::Estimates& est,
                                   std::span<const double> products, std::span<const double> lf) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns), T = host::tri_size(p);
  std::vector<double> w(p), g(static_cast<std::size_t>(est.n_cov_params));
  host::packed_multiply(p, est.fixed_covariance, lf, w);
  for (std::size_t k = 0; k < g.size(); ++k) g[k] = host::packed_quadratic_form(p, w, products.subspan(k * T, T));
  return g;
}

}  // namespace

std::size_t derivative_products_size(const data::GroupData& group, const estimate::Estimates& est) {
  return static_cast<std::size_t>(std::max(0, est.n_cov_params)) *
         host::tri_size(static_cast<std::size_t>(group.n_fixed_columns));
}

bool derivative_products(const data::GroupData& group, const estimate::Estimates& est, std::span<double> out) {
  if (!est.fit || out.size() < derivative_products_size(group, est)) return false;
  const estimate::Fit& fit = *est.fit;
  const int p = fit.p, q = fit.q, m = p + 1 + q, n2 = fit.n_residual_cov_params;
  const std::size_t T = host::tri_size(static_cast<std::size_t>(p)), Tm = fit.sub.tri;
  std::fill(out.begin(), out.end(), 0.0);
  Eigen::MatrixXd K(m, m), dG;
  for (std::size_t i = 0; i < fit.rows.subjects(); ++i) {
    const Eigen::Map<const RowMajor> tX(subject_tX(fit, i).data(), q, p), Y(subject_Y(fit, i).data(), q, p);
    // Repeated block: P_k += [I; -tX]' K_ik [I; -tX] over the X and Z rows.
    for (int k = 0; k < n2; ++k) {
      const double* c = fit.sub.Ck.data() + (i * n2 + k) * Tm;
      for (int a = 0; a < m; ++a)
        for (int b = 0; b <= a; ++b) K(a, b) = K(b, a) = c[host::tri(a, b)];
      const auto Kxx = K.topLeftCorner(p, p);
      const auto Kzx = K.block(p + 1, 0, q, p);
      const auto Kzz = K.bottomRightCorner(q, q);
      const Eigen::MatrixXd E = Kzx - Kzz * tX;
      add_packed(Kxx - Kzx.transpose() * tX - tX.transpose() * E, out.subspan(k * T, T));
    }
    // RANDOM blocks: P_k += Y_r' dG_k Y_r over the replicates r.
    for (const estimate::RandomBlock& blk : fit.blocks) {
      const std::size_t t = host::tri_size(static_cast<std::size_t>(blk.dim));
      for (int k = 0; k < blk.npar; ++k) {
        dG.resize(blk.dim, blk.dim);
        for (int a = 0; a < blk.dim; ++a)
          for (int b = 0; b <= a; ++b) dG(a, b) = dG(b, a) = blk.dG[k * t + host::tri(a, b)];
        for (int r = 0; r < blk.replicates; ++r) {
          const auto Yr = Y.middleRows(blk.col + r * blk.dim, blk.dim);
          add_packed(Yr.transpose() * dG * Yr, out.subspan(static_cast<std::size_t>(blk.first_param + k) * T, T));
        }
      }
    }
  }
  return true;
}

std::vector<double> variance_gradient(const data::GroupData& group, const estimate::Estimates& est,
                                      std::span<const double> lf, std::span<const double> lr) {
  if (!est.fit) return {};
  const estimate::Fit& fit = *est.fit;
  const std::size_t p = static_cast<std::size_t>(fit.p), q = static_cast<std::size_t>(fit.q);
  std::vector<double> g(static_cast<std::size_t>(fit.n_cov_params), 0.0);
  const std::vector<double> v = fixed_image(group, fit, lf, lr);
  std::vector<double> stacked(p + 1 + q, 0.0);
  std::span<double> w(stacked.data(), p), t(stacked.data() + p + 1, q);
  if (p > 0) host::packed_multiply(p, est.fixed_covariance, v, w);

  const bool random = !lr.empty() && q > 0;
  const std::vector<RandomColumn> places = random ? random_column_places(group) : std::vector<RandomColumn>{};
  std::vector<double> e(random ? q : 0), sv(q);
  for (std::size_t i = 0; i < fit.rows.subjects(); ++i) {
    if (random) spread_random(fit, places, lr, i, e);
    subject_direction(fit, i, w, e, sv, t);
    add_repeated_share(fit, i, stacked, g);
    add_random_share(fit, sv, g);
  }
  return g;
}

double combine_directions(std::span<const double> nu, int rank) {
  double E = 0.0;
  bool near_two = false;
  for (double v : nu) {
    near_two = false;
    if (v > 2.0 + kNearTwo)
      E += v / (v - 2.0);
    else if (v > 2.0 - kNearTwo)
      near_two = true;
  }
  if (near_two) return 2.0;
  if (E > rank) return 2.0 * E / (E - rank);
  return host::SYSMIS;
}

double satterthwaite_df(const data::GroupData& group, const estimate::Estimates& est, int q, int r, bool random_columns,
                        std::span<const double> L, std::span<const double> d, std::span<const double> Z,
                        std::span<const double> products) {
  const std::size_t ntheta = static_cast<std::size_t>(est.n_cov_params);
  if (!est.fit || ntheta == 0 || est.cov_param_covariance.size() < host::tri_size(ntheta)) return host::SYSMIS;
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  const std::size_t width = p + (random_columns ? static_cast<std::size_t>(group.n_random_columns) : 0);
  const std::size_t n = static_cast<std::size_t>(q);
  std::vector<double> nu;
  std::vector<double> l(width);
  for (std::size_t m = 0; m < n; ++m) {
    if (!(d[m] > 0.0)) {
      nu.push_back(0.0);
      continue;
    }
    std::fill(l.begin(), l.end(), 0.0);
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t j = 0; j < width; ++j) l[j] += L[i * width + j] * Z[i * n + m];
    std::span<const double> lspan(l);
    const bool fixed =
        std::all_of(l.begin() + static_cast<std::ptrdiff_t>(p), l.end(), [](double x) { return x == 0.0; });
    std::vector<double> g = fixed && products.size() >= derivative_products_size(group, est)
                                ? fixed_gradient(group, est, products, lspan.first(p))
                                : variance_gradient(group, est, lspan.first(p), lspan.subspan(p));
    if (g.size() != ntheta) return host::SYSMIS;
    for (double& x : g) x /= d[m];
    const double gwg = host::packed_quadratic_form(ntheta, g, est.cov_param_covariance);
    if (!(gwg > 0.0)) return host::SYSMIS;
    const double v = 2.0 / gwg;
    if (r == 1) return v;
    nu.push_back(v);
  }
  return combine_directions(nu, r);
}

}  // namespace mixed::inference
