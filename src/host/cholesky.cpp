#include "host/cholesky.h"

#include <cmath>

#include "host/packed.h"

namespace mixed::host {

int packed_cholesky(std::size_t n, std::span<double> a, double tol) {
  int singular = 0;
  for (std::size_t i = 0; i < n; ++i) {
    double* ri = &a[tri(i, 0)];
    for (std::size_t j = 0; j < i; ++j) {
      const double* rj = &a[tri(j, 0)];
      double s = ri[j];
      for (std::size_t k = 0; k < j; ++k) s -= ri[k] * rj[k];
      ri[j] = rj[j] != 0.0 ? s / rj[j] : 0.0;
    }
    const double diag = ri[i];
    double d = diag;
    for (std::size_t k = 0; k < i; ++k) d -= ri[k] * ri[k];
    if (d <= tol * std::fabs(diag)) {
      for (std::size_t k = 0; k <= i; ++k) ri[k] = 0.0;
      ++singular;
    } else {
      ri[i] = std::sqrt(d);
    }
  }
  return singular;
}

void invert_lower_triangular(std::size_t n, std::span<double> l) {
  for (std::size_t i = 0; i < n; ++i) {
    double* ri = &l[tri(i, 0)];
    if (ri[i] == 0.0) {
      for (std::size_t k = 0; k < i; ++k) ri[k] = 0.0;
      continue;
    }
    const double inv = 1.0 / ri[i];
    // Row i of the inverse from the rows above it, already inverted:
    // M_ij = -(sum_{k=j}^{i-1} L_ik M_kj) / L_ii.  L_ik is still in place for
    // k > j while M_ij is computed in increasing j.
    for (std::size_t j = 0; j < i; ++j) {
      double s = 0.0;
      for (std::size_t k = j; k < i; ++k) s += ri[k] * l[tri(k, j)];
      ri[j] = s;  // held until every M_ij of the row is formed
    }
    for (std::size_t j = 0; j < i; ++j) ri[j] = -ri[j] * inv;
    ri[i] = inv;
  }
}

void lower_triangular_cross_product(std::size_t n, std::span<double> m) {
  // (M'M)_ij = sum_{k >= i} M_ki M_kj for j <= i; writing the places in
  // increasing order overwrites row i only after every later place is done
  // with it.
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = 0; j <= i; ++j) {
      double s = 0.0;
      for (std::size_t k = i; k < n; ++k) s += m[tri(k, i)] * m[tri(k, j)];
      m[tri(i, j)] = s;
    }
  }
}

int generalized_inverse(std::size_t n, std::span<double> a, double tol) {
  int singular = packed_cholesky(n, a, tol);
  invert_lower_triangular(n, a);
  lower_triangular_cross_product(n, a);
  return singular;
}

}  // namespace mixed::host
