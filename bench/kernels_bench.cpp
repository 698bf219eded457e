// The packed kernels on the sizes of a large fixed-effects design: sweeping
// every pivot of a 200 x 200 cross-product matrix, and its generalised
// inverse through the Cholesky factor.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "host/bitset.h"
#include "host/cholesky.h"
#include "host/packed.h"
#include "host/sweep.h"

namespace {

using namespace mixed::host;

// X'X + I for a random X of n + 5 rows, packed.
std::vector<double> cross_products(std::size_t n) {
  std::mt19937 gen(1);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const std::size_t rows = n + 5;
  std::vector<double> x(rows * n);
  for (double& v : x) v = u(gen);
  std::vector<double> a(tri_size(n), 0.0);
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j <= i; ++j) {
      double s = i == j ? 1.0 : 0.0;
      for (std::size_t r = 0; r < rows; ++r) s += x[r * n + i] * x[r * n + j];
      a[tri(i, j)] = s;
    }
  return a;
}

void BM_SweepAllPivots(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<double> original = cross_products(n);
  std::vector<double> d(n);
  sweep_scale_vector(n, original, d);
  for (auto _ : state) {
    std::vector<double> a = original;
    BitSet swept(n);
    for (std::size_t k = 0; k < n; ++k) sweep_if_tolerant(n, k, a, d, swept, 1e-12);
    benchmark::DoNotOptimize(a.data());
  }
}
BENCHMARK(BM_SweepAllPivots)->Arg(50)->Arg(200);

void BM_CholeskyGeneralizedInverse(benchmark::State& state) {
  const auto n = static_cast<std::size_t>(state.range(0));
  const std::vector<double> original = cross_products(n);
  for (auto _ : state) {
    std::vector<double> a = original;
    benchmark::DoNotOptimize(generalized_inverse(n, a, 1e-12));
  }
}
BENCHMARK(BM_CholeskyGeneralizedInverse)->Arg(50)->Arg(200);

}  // namespace
