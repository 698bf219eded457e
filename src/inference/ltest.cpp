#include "inference/ltest.h"

#include <cmath>
#include <optional>

#include "estimate/fit.h"
#include "host/packed.h"
#include "host/packed_ops.h"
#include "host/symeig.h"
#include "inference/random_part.h"
#include "inference/satterthwaite.h"
#include "model/messages.h"

namespace mixed::inference {

namespace {

// The QL iteration of the eigen decomposition: its convergence tolerance and
// the iteration limit per eigenvalue.
constexpr double kEigenTolerance = 1e-12;
constexpr int kEigenIterations = 100;

// The work blocks of one call, released in the order they were obtained.
class WorkBlocks {
 public:
  explicit WorkBlocks(host::Scratch& scratch) : scratch_(scratch) {}
  ~WorkBlocks() {
    for (std::span<double> b : blocks_) scratch_.free(kPool, b);
  }
  WorkBlocks(const WorkBlocks&) = delete;
  WorkBlocks& operator=(const WorkBlocks&) = delete;

  std::optional<std::span<double>> get(std::size_t n) {
    auto b = scratch_.get<double>(kPool, n);
    if (b) blocks_.push_back(*b);
    return b;
  }

 private:
  host::Scratch& scratch_;
  std::vector<std::span<double>> blocks_;
};

std::span<const double> row(std::span<const double> L, std::size_t width, std::size_t i) {
  return L.subspan(i * width, width);
}

// out = H_i e = G e - G S_i G e, the prediction-error variance of subject i's
// random effects applied to e.
void apply_H(const estimate::Fit& fit, std::size_t i, std::span<const double> e, std::span<double> out) {
  const std::size_t n_random_design_columns = static_cast<std::size_t>(fit.q);
  std::vector<double> Ge(n_random_design_columns), SGe(n_random_design_columns);
  apply_G(fit, e, Ge);
  multiply(n_random_design_columns, n_random_design_columns, subject_S(fit, i), Ge, SGe);
  apply_G(fit, SGe, out);
  for (std::size_t u = 0; u < n_random_design_columns; ++u) out[u] = Ge[u] - out[u];
}

// The random share of L C L': A += Σ_i E_i H_i E_i', and V -= Σ_i E_i tX_i
// for the fixed images V (q x p), E_i the rows' random coefficients spread
// over subject i.
void add_random_variance(const data::GroupData& group, const estimate::Fit& fit, std::size_t q,
                         std::span<const double> L, std::span<double> V, std::span<double> A) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns),
                    n_random_design_columns = static_cast<std::size_t>(fit.q);
  const std::size_t width = p + static_cast<std::size_t>(group.n_random_columns);
  const std::vector<RandomColumn> places = random_column_places(group);
  std::vector<double> E(q * n_random_design_columns), HE(q * n_random_design_columns), x(p);
  for (std::size_t i = 0; i < fit.rows.subjects(); ++i) {
    for (std::size_t j = 0; j < q; ++j) {
      std::span<double> ej(E.data() + j * n_random_design_columns, n_random_design_columns);
      spread_random(fit, places, row(L, width, j).subspan(p), i, ej);
      apply_H(fit, i, ej, std::span<double>(HE.data() + j * n_random_design_columns, n_random_design_columns));
      multiply_transposed(n_random_design_columns, p, subject_tX(fit, i), ej, x);
      for (std::size_t c = 0; c < p; ++c) V[j * p + c] -= x[c];
    }
    for (std::size_t j = 0; j < q; ++j)
      for (std::size_t k = 0; k <= j; ++k)
        for (std::size_t u = 0; u < n_random_design_columns; ++u)
          A[host::tri(j, k)] += E[j * n_random_design_columns + u] * HE[k * n_random_design_columns + u];
  }
}

// A = V C V' + Σ_i E_i H_i E_i' for L with random coefficients, V = L_f - Σ_i E_i tX_i.
void prediction_variance(const data::GroupData& group, const estimate::Estimates& est, std::size_t q,
                         std::span<const double> L, std::span<double> A) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  const std::size_t width = p + static_cast<std::size_t>(group.n_random_columns);
  std::vector<double> V(q * p);
  for (std::size_t j = 0; j < q; ++j)
    for (std::size_t c = 0; c < p; ++c) V[j * p + c] = L[j * width + c];
  std::fill(A.begin(), A.end(), 0.0);
  if (est.fit && est.fit->q > 0) add_random_variance(group, *est.fit, q, L, V, A);
  std::vector<double> fixed(host::tri_size(q));
  host::packed_sandwich(q, p, V, est.fixed_covariance, fixed);
  for (std::size_t k = 0; k < fixed.size(); ++k) A[k] += fixed[k];
}

// e_j = L_f,j β̂ (+ L_r,j Σ_i û_i with random coefficients).
void estimates(const data::GroupData& group, const estimate::Estimates& est, std::size_t q, std::span<const double> L,
               bool random_columns, std::span<double> e) {
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  const std::size_t width = p + (random_columns ? static_cast<std::size_t>(group.n_random_columns) : 0);
  for (std::size_t j = 0; j < q; ++j) {
    double sum = 0.0;
    for (std::size_t c = 0; c < p; ++c) sum += L[j * width + c] * est.fixed_covariance[host::tri(p, c)];
    e[j] = sum;
  }
  if (!random_columns || !est.fit || est.fit->q == 0) return;
  const estimate::Fit& fit = *est.fit;
  const std::size_t n_random_design_columns = static_cast<std::size_t>(fit.q);
  const std::vector<RandomColumn> places = random_column_places(group);
  std::vector<double> ej(n_random_design_columns);
  for (std::size_t i = 0; i < fit.rows.subjects(); ++i) {
    std::span<const double> u = subject_u(fit, i);
    for (std::size_t j = 0; j < q; ++j) {
      spread_random(fit, places, row(L, width, j).subspan(p), i, ej);
      for (std::size_t c = 0; c < n_random_design_columns; ++c) e[j] += ej[c] * u[c];
    }
  }
}

// Eigenvalues at or below kEigenZero become exactly 0; the rank is the
// number of the others.
int rank_of(std::span<double> d) {
  int r = 0;
  for (double& dm : d) {
    if (dm <= kEigenZero)
      dm = 0.0;
    else
      ++r;
  }
  return r;
}

// moore_penrose_inverse: A⁺ = Σ z_m z_m' / d_m over d_m ≠ 0, the Moore–Penrose inverse of
// Z diag(d) Z' (packed).
void moore_penrose_inverse(std::size_t q, std::span<const double> d, std::span<const double> Z,
                           std::span<double> Ainv) {
  std::fill(Ainv.begin(), Ainv.end(), 0.0);
  std::vector<double> z(q);
  for (std::size_t m = 0; m < q; ++m) {
    if (d[m] == 0.0) continue;
    for (std::size_t i = 0; i < q; ++i) z[i] = Z[i * q + m];
    host::packed_rank_one_update(Ainv, 1.0 / d[m], z);
  }
}

// Per-row standard errors √(L C L')_ii and their one-row Satterthwaite df.
void per_row_statistics(const data::GroupData& group, const estimate::Estimates& est, std::size_t q,
                        std::span<const double> L, std::span<const double> A, const LTestOptions& options,
                        LTestResult& res) {
  const std::size_t width = L.size() / q;
  const double one = 1.0;
  for (std::size_t i = 0; i < q; ++i) {
    const double a = A[host::tri(i, i)];
    if (!(a > 0.0)) continue;
    res.se[i] = std::sqrt(a);
    res.df[i] = satterthwaite_df(group, est, 1, 1, options.random_columns, row(L, width, i), {&a, 1}, {&one, 1},
                                 options.derivative_products);
  }
}

}  // namespace

LTestResult l_matrix_test(const data::GroupData& group, const estimate::Estimates& est, host::Scratch& scratch,
                          int qrows, std::span<const double> L, const LTestOptions& options,
                          std::span<const double> h) {
  LTestResult res;
  if (options.per_row && qrows > 0) {
    res.estimate.assign(static_cast<std::size_t>(qrows), host::SYSMIS);
    res.se.assign(static_cast<std::size_t>(qrows), host::SYSMIS);
    res.df.assign(static_cast<std::size_t>(qrows), host::SYSMIS);
  }
  if (qrows < 1) {
    res.status = kNoRows;
    return res;
  }
  const std::size_t q = static_cast<std::size_t>(qrows);
  const std::size_t p = static_cast<std::size_t>(group.n_fixed_columns);
  const bool random = options.random_columns;
  const std::size_t width = p + (random ? static_cast<std::size_t>(group.n_random_columns) : 0);

  WorkBlocks work(scratch);
  auto A = work.get(host::tri_size(q));
  std::optional<std::span<double>> Z, d;
  if (A && options.f_test) {
    Z = work.get(q * q);
    if (Z) d = work.get(q);
  }
  auto e = (A && (!options.f_test || d)) ? work.get(q) : std::nullopt;
  if (!e) {
    res.status = kOutOfMemory;
    return res;
  }

  if (random)
    prediction_variance(group, est, q, L, *A);
  else
    host::packed_sandwich(q, p, L, est.fixed_covariance, *A);

  if (options.per_row) per_row_statistics(group, est, q, L.first(q * width), *A, options, res);

  if (options.f_test) {
    if (q == 1) {
      (*d)[0] = (*A)[0];
      (*Z)[0] = 1.0;
    } else if (host::symmetric_eigen(q, *A, *d, *Z, kEigenTolerance, kEigenIterations) != 0) {
      res.status = kEigenFailed;
      return res;
    }
  }

  estimates(group, est, q, L, random, *e);
  if (options.per_row) std::copy(e->begin(), e->end(), res.estimate.begin());
  if (!options.f_test) return res;

  const int r = rank_of(*d);
  res.rank = r;
  if (r == 0) return res;
  std::span<double> Ainv = *A;
  moore_penrose_inverse(q, *d, *Z, Ainv);
  if (options.hypothesised)
    for (std::size_t i = 0; i < q && i < h.size(); ++i) (*e)[i] -= h[i];
  res.F = host::packed_quadratic_form(q, *e, Ainv) / r;
  res.dendf = satterthwaite_df(group, est, qrows, r, random, L, *d, *Z, options.derivative_products);
  return res;
}

std::span<double> derivative_products_block(const data::GroupData& group, const estimate::Estimates& est,
                                            host::Scratch& scratch) {
  const std::size_t n = derivative_products_size(group, est);
  if (!est.fit || n == 0) return {};
  auto block = scratch.get<double>(kPool, n);
  if (!block) return {};
  derivative_products(group, est, *block);
  return *block;
}

void report_status(host::Output& out, int status, host::Severity severity) {
  if (status >= 1000)
    model::issue_split_warning(out, static_cast<model::Msg>(status));
  else if (status > 0)
    model::issue_message(out, static_cast<model::Msg>(status), model::kOtherClass, severity);
}

}  // namespace mixed::inference
