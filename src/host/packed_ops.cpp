#include "host/packed_ops.h"

#include <cmath>
#include <vector>

#include "host/packed.h"

namespace mixed::host {

void packed_multiply(std::size_t n, std::span<const double> a, std::span<const double> x, std::span<double> y) {
  for (std::size_t i = 0; i < n; ++i) y[i] = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double* ri = &a[tri(i, 0)];
    double yi = ri[i] * x[i];
    for (std::size_t j = 0; j < i; ++j) {
      yi += ri[j] * x[j];
      y[j] += ri[j] * x[i];
    }
    y[i] += yi;
  }
}

double packed_quadratic_form(std::size_t n, std::span<const double> x, std::span<const double> a) {
  double diagonal = 0.0;
  double below = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double* ri = &a[tri(i, 0)];
    double row = 0.0;
    for (std::size_t j = 0; j < i; ++j) row += ri[j] * x[j];
    below += row * x[i];
    diagonal += ri[i] * x[i] * x[i];
  }
  return diagonal + 2.0 * below;
}

double packed_bilinear_form(std::size_t n, std::span<const double> x, std::span<const double> a,
                            std::span<const double> y) {
  double s = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const double* ri = &a[tri(i, 0)];
    double xrow = 0.0;
    double yrow = 0.0;
    for (std::size_t j = 0; j < i; ++j) {
      xrow += ri[j] * x[j];
      yrow += ri[j] * y[j];
    }
    s += xrow * y[i] + yrow * x[i] + ri[i] * x[i] * y[i];
  }
  return s;
}

void packed_sandwich(std::size_t q, std::size_t p, std::span<const double> l, std::span<const double> c,
                     std::span<double> s) {
  // Row i of L C L' is (C l_i)' L', so one product with C per row of L.
  std::vector<double> cl(p);
  for (std::size_t i = 0; i < q; ++i) {
    packed_multiply(p, c, l.subspan(i * p, p), cl);
    for (std::size_t j = 0; j <= i; ++j) {
      const double* lj = &l[j * p];
      double v = 0.0;
      for (std::size_t k = 0; k < p; ++k) v += lj[k] * cl[k];
      s[tri(i, j)] = v;
    }
  }
}

void packed_rank_one_update(std::span<double> a, double s, std::span<const double> x) {
  for (std::size_t i = 0; i < x.size(); ++i) {
    if (x[i] == 0.0) continue;
    double* ri = &a[tri(i, 0)];
    const double sx = s * x[i];
    for (std::size_t j = 0; j <= i; ++j) ri[j] += sx * x[j];
  }
}

PackedPlace packed_place_of(std::size_t k) {
  // Row i starts at i(i+1)/2; the root of i(i+1)/2 = k, then corrected for
  // rounding of the square root.
  auto row = static_cast<std::size_t>((std::sqrt(8.0 * static_cast<double>(k) + 1.0) - 1.0) / 2.0);
  while (row > 0 && tri(row, 0) > k) --row;
  while (tri(row + 1, 0) <= k) ++row;
  return {row, k - tri(row, 0)};
}

void set_scaled_identity(std::size_t n, std::span<double> m, double v) {
  for (std::size_t i = 0; i < n * n; ++i) m[i] = 0.0;
  for (std::size_t i = 0; i < n; ++i) m[i * n + i] = v;
}

void dense_multiply(std::size_t rows, std::size_t cols, std::span<const double> m, std::span<const double> x,
                    std::span<double> y) {
  for (std::size_t i = 0; i < rows; ++i) {
    const double* mi = &m[i * cols];
    double v = 0.0;
    for (std::size_t j = 0; j < cols; ++j) v += mi[j] * x[j];
    y[i] = v;
  }
}

}  // namespace mixed::host
