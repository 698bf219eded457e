// The per-subject cost of the covariance structures: building Σ, and P_k =
// A·Σ_k·A for one parameter (UN through its closed form, AR1 through the
// packed sandwich), at 10 and 50 levels.
#include <algorithm>
#include <vector>

#include <benchmark/benchmark.h>

#include "covstruct/catalogue.h"
#include "covstruct/derivatives.h"
#include "covstruct/inverse.h"
#include "covstruct/matrices.h"
#include "covstruct/products.h"
#include "covstruct/start.h"
#include "host/packed.h"

namespace {

using namespace mixed::covstruct;

constexpr int kUN = 15, kAR1 = 3;

// A positive definite parameter vector: the start values with a little
// correlation added (AR1 ρ = 0.5; UN off-diagonals 0.1).
std::vector<double> parameters(int n, covstruct::CovType cov_type) {
  std::vector<double> theta(parameter_count(n, cov_type));
  start_parameters(n, cov_type, 1.0, theta);
  for (int k = 0; k < static_cast<int>(theta.size()); ++k)
    if (parameter_kind(static_cast<int>(theta.size()), cov_type, k) != Variance)
      theta[k] = cov_type == kAR1 ? 0.5 : 0.1 / n;
  return theta;
}

void BM_structure_matrix(benchmark::State& state, covstruct::CovType cov_type) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> theta = parameters(n, cov_type);
  std::vector<double> sigma(mixed::host::tri_size(n));
  for (auto _ : state) {
    structure_matrix(n, theta, {}, cov_type, sigma);
    benchmark::DoNotOptimize(sigma.data());
  }
}

void BM_inverse_first_derivative(benchmark::State& state, covstruct::CovType cov_type) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> theta = parameters(n, cov_type);
  const std::size_t size = mixed::host::tri_size(n);
  std::vector<double> sigma(size), a(size), sigma_k(size), p(size);
  structure_matrix(n, theta, {}, cov_type, sigma);
  structure_inverse(n, theta, sigma, {}, cov_type, a, false);
  const int k = 1;  // UN: the covariance of levels 2 and 1; AR1: ρ
  structure_first_derivative(n, theta, k, {}, cov_type, sigma_k);
  for (auto _ : state) {
    inverse_first_derivative(n, theta, k, a, sigma_k, {}, cov_type, p);
    benchmark::DoNotOptimize(p.data());
  }
}

// The general path on UN's sparse Σ_k: the sandwich with its zero skip.
void BM_sandwich_sparse(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> theta = parameters(n, kUN);
  const std::size_t size = mixed::host::tri_size(n);
  std::vector<double> sigma(size), a(size), sigma_k(size), p(size);
  structure_matrix(n, theta, {}, kUN, sigma);
  structure_inverse(n, theta, sigma, {}, kUN, a, false);
  structure_first_derivative(n, theta, 1, {}, kUN, sigma_k);
  for (auto _ : state) {
    std::fill(p.begin(), p.end(), 0.0);
    sandwich(n, a, sigma_k, p);
    benchmark::DoNotOptimize(p.data());
  }
}

BENCHMARK_CAPTURE(BM_structure_matrix, UN, kUN)->Arg(10)->Arg(50);
BENCHMARK_CAPTURE(BM_structure_matrix, AR1, kAR1)->Arg(10)->Arg(50);
BENCHMARK_CAPTURE(BM_inverse_first_derivative, UN, kUN)->Arg(10)->Arg(50);
BENCHMARK_CAPTURE(BM_inverse_first_derivative, AR1, kAR1)->Arg(10)->Arg(50);
BENCHMARK(BM_sandwich_sparse)->Arg(10)->Arg(50);

}  // namespace
