#include "host/sweep.h"

#include <algorithm>
#include <vector>

#include "host/packed.h"

namespace mixed::host {
namespace {

// The sweep (sign +1) or reverse sweep (sign -1) of pivot k, a_kk != 0.
void sweep_pivot(std::size_t m, std::span<double> a, std::size_t k, double sign) {
  const double pivot = a[tri(k, k)];
  // v = column k of A with v_k = 0, so that the rank-one update below leaves
  // row and column k unchanged; they are rescaled afterwards.
  std::vector<double> v(m);
  for (std::size_t j = 0; j < k; ++j) v[j] = a[tri(k, j)];
  for (std::size_t i = k + 1; i < m; ++i) v[i] = a[tri(i, k)];

  for (std::size_t i = 0; i < m; ++i) {
    if (i == k || v[i] == 0.0) continue;
    double* ri = &a[tri(i, 0)];
    const double f = v[i] / pivot;
    for (std::size_t j = 0; j <= i; ++j) ri[j] -= f * v[j];
  }
  const double scale = sign / pivot;
  for (std::size_t j = 0; j < k; ++j) a[tri(k, j)] = v[j] * scale;
  for (std::size_t i = k + 1; i < m; ++i) a[tri(i, k)] = v[i] * scale;
  a[tri(k, k)] = -1.0 / pivot;
}

bool reverse_if_swept(std::size_t m, std::span<double> a, std::size_t k, BitSet& swept) {
  if (!swept.test(k)) return false;
  if (a[tri(k, k)] != 0.0) sweep_pivot(m, a, k, -1.0);
  swept.reset(k);
  return true;
}

}  // namespace

bool sweep_or_reverse(std::size_t m, std::span<double> a, std::size_t k, BitSet& swept) {
  if (reverse_if_swept(m, a, k, swept)) return true;
  if (a[tri(k, k)] == 0.0) return false;
  sweep_pivot(m, a, k, 1.0);
  swept.set(k);
  return true;
}

bool sweep_if_tolerant(std::size_t m, std::size_t k, std::span<double> a, std::span<const double> d, BitSet& swept,
                       double tol) {
  if (reverse_if_swept(m, a, k, swept)) return true;
  if (!(a[tri(k, k)] / d[k] > tol)) return false;
  sweep_pivot(m, a, k, 1.0);
  swept.set(k);
  return true;
}

void sweep_scale_vector(std::size_t m, std::span<const double> a, std::span<double> d) {
  for (std::size_t k = 0; k < m; ++k) d[k] = std::max(1.0, a[tri(k, k)]);
}

}  // namespace mixed::host
