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
std::vector<double> parameters(int n, int cvtype) {
  std::vector<double> theta(mxcnpr(n, cvtype));
  start_parameters(n, cvtype, 1.0, theta);
  for (int k = 0; k < static_cast<int>(theta.size()); ++k)
    if (mxcpty(static_cast<int>(theta.size()), cvtype, k) != Variance) theta[k] = cvtype == kAR1 ? 0.5 : 0.1 / n;
  return theta;
}

void BM_mxcmat(benchmark::State& state, int cvtype) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> theta = parameters(n, cvtype);
  std::vector<double> sigma(mixed::host::tri_size(n));
  for (auto _ : state) {
    mxcmat(n, theta, {}, cvtype, sigma);
    benchmark::DoNotOptimize(sigma.data());
  }
}

void BM_mxcdi1(benchmark::State& state, int cvtype) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> theta = parameters(n, cvtype);
  const std::size_t size = mixed::host::tri_size(n);
  std::vector<double> sigma(size), a(size), sigma_k(size), p(size);
  mxcmat(n, theta, {}, cvtype, sigma);
  mxcinv(n, theta, sigma, {}, cvtype, a, false);
  const int k = 1;  // UN: the covariance of levels 2 and 1; AR1: ρ
  mxcdr1(n, theta, k, {}, cvtype, sigma_k);
  for (auto _ : state) {
    mxcdi1(n, theta, k, a, sigma_k, {}, cvtype, p);
    benchmark::DoNotOptimize(p.data());
  }
}

// The general path on UN's sparse Σ_k: the sandwich with its zero skip.
void BM_sandwich_sparse(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const std::vector<double> theta = parameters(n, kUN);
  const std::size_t size = mixed::host::tri_size(n);
  std::vector<double> sigma(size), a(size), sigma_k(size), p(size);
  mxcmat(n, theta, {}, kUN, sigma);
  mxcinv(n, theta, sigma, {}, kUN, a, false);
  mxcdr1(n, theta, 1, {}, kUN, sigma_k);
  for (auto _ : state) {
    std::fill(p.begin(), p.end(), 0.0);
    sandwich(n, a, sigma_k, p);
    benchmark::DoNotOptimize(p.data());
  }
}

BENCHMARK_CAPTURE(BM_mxcmat, UN, kUN)->Arg(10)->Arg(50);
BENCHMARK_CAPTURE(BM_mxcmat, AR1, kAR1)->Arg(10)->Arg(50);
BENCHMARK_CAPTURE(BM_mxcdi1, UN, kUN)->Arg(10)->Arg(50);
BENCHMARK_CAPTURE(BM_mxcdi1, AR1, kAR1)->Arg(10)->Arg(50);
BENCHMARK(BM_sandwich_sparse)->Arg(10)->Arg(50);

}  // namespace
