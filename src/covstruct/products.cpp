#include "covstruct/products.h"

#include "host/packed.h"

namespace mixed::covstruct {

using host::tri;

double product_element(std::size_t n, std::span<const double> x, std::span<const double> y, std::size_t i,
                       std::size_t j) {
  const double* xi = &x[tri(i, 0)];
  const double* yj = &y[tri(j, 0)];
  double s = 0.0;
  for (std::size_t m = 0; m < n; ++m) {
    const double xim = m <= i ? xi[m] : x[tri(m, i)];
    const double ymj = m <= j ? yj[m] : y[tri(m, j)];
    s += xim * ymj;
  }
  return s;
}

void sandwich(std::size_t n, std::span<const double> x, std::span<const double> y, std::span<double> out) {
  for (std::size_t i = 0; i < n; ++i) {
    double* oi = &out[tri(i, 0)];
    for (std::size_t m = 0; m < n; ++m) {
      const double t = product_element(n, x, y, i, m);
      if (t == 0.0) continue;
      // X(m, j) for j = 0..i: row m up to its diagonal, then down column m.
      const double* xm = &x[tri(m, 0)];
      for (std::size_t j = 0; j <= i; ++j) oi[j] += t * (j <= m ? xm[j] : x[tri(j, m)]);
    }
  }
}

double row_sum(std::size_t n, std::span<const double> x, std::size_t i) {
  const double* xi = &x[tri(i, 0)];
  double s = 0.0;
  for (std::size_t j = 0; j <= i; ++j) s += xi[j];
  for (std::size_t j = i + 1; j < n; ++j) s += x[tri(j, i)];
  return s;
}

double trace_product(std::size_t n, std::span<const double> x, std::span<const double> y) {
  double s = 0.0;
  for (std::size_t i = 0; i < n; ++i) s += product_element(n, x, y, i, i);
  return s;
}

}  // namespace mixed::covstruct
