#include "host/symeig.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "host/packed.h"

namespace mixed::host {
namespace {

// Row-major view of the n x n matrix that holds the transformations.
struct Square {
  std::span<double> v;
  std::size_t n;
  double& operator()(std::size_t i, std::size_t j) { return v[i * n + j]; }
};

// Householder reduction of the symmetric V to tridiagonal form T = Q' V Q
// with Q accumulated in V: diagonal in d, subdiagonal in e[1..n-1], e[0] = 0.
void tridiagonalize(Square V, std::vector<double>& d, std::vector<double>& e) {
  const std::size_t n = V.n;
  for (std::size_t j = 0; j < n; ++j) d[j] = V(n - 1, j);

  for (std::size_t i = n - 1; i > 0; --i) {
    // Scale row i to avoid underflow in the Householder vector.
    double scale = 0.0;
    double h = 0.0;
    for (std::size_t k = 0; k < i; ++k) scale += std::fabs(d[k]);
    if (scale == 0.0) {
      e[i] = d[i - 1];
      for (std::size_t j = 0; j < i; ++j) {
        d[j] = V(i - 1, j);
        V(i, j) = 0.0;
        V(j, i) = 0.0;
      }
    } else {
      for (std::size_t k = 0; k < i; ++k) {
        d[k] /= scale;
        h += d[k] * d[k];
      }
      double f = d[i - 1];
      double g = f > 0 ? -std::sqrt(h) : std::sqrt(h);
      e[i] = scale * g;
      h -= f * g;
      d[i - 1] = f - g;
      for (std::size_t j = 0; j < i; ++j) e[j] = 0.0;

      // e = V u / h, then e -= (u'e / 2h) u; V -= u e' + e u'.
      for (std::size_t j = 0; j < i; ++j) {
        f = d[j];
        V(j, i) = f;
        g = e[j] + V(j, j) * f;
        for (std::size_t k = j + 1; k < i; ++k) {
          g += V(k, j) * d[k];
          e[k] += V(k, j) * f;
        }
        e[j] = g;
      }
      f = 0.0;
      for (std::size_t j = 0; j < i; ++j) {
        e[j] /= h;
        f += e[j] * d[j];
      }
      const double hh = f / (h + h);
      for (std::size_t j = 0; j < i; ++j) e[j] -= hh * d[j];
      for (std::size_t j = 0; j < i; ++j) {
        f = d[j];
        g = e[j];
        for (std::size_t k = j; k < i; ++k) V(k, j) -= f * e[k] + g * d[k];
        d[j] = V(i - 1, j);
        V(i, j) = 0.0;
      }
    }
    d[i] = h;
  }

  // Accumulate the transformations: Q = H_{n-1} ... H_1 into V.
  for (std::size_t i = 0; i + 1 < n; ++i) {
    V(n - 1, i) = V(i, i);
    V(i, i) = 1.0;
    const double h = d[i + 1];
    if (h != 0.0) {
      for (std::size_t k = 0; k <= i; ++k) d[k] = V(k, i + 1) / h;
      for (std::size_t j = 0; j <= i; ++j) {
        double g = 0.0;
        for (std::size_t k = 0; k <= i; ++k) g += V(k, i + 1) * V(k, j);
        for (std::size_t k = 0; k <= i; ++k) V(k, j) -= g * d[k];
      }
    }
    for (std::size_t k = 0; k <= i; ++k) V(k, i + 1) = 0.0;
  }
  for (std::size_t j = 0; j < n; ++j) {
    d[j] = V(n - 1, j);
    V(n - 1, j) = 0.0;
  }
  V(n - 1, n - 1) = 1.0;
  e[0] = 0.0;
}

// QL with implicit shifts on the tridiagonal (d, e), rotating the columns of
// V.  Returns 0 or l + 1 for the first eigenvalue l that does not converge.
int tridiagonal_ql(Square V, std::vector<double>& d, std::vector<double>& e, double tol, int max_iterations) {
  const std::size_t n = V.n;
  for (std::size_t i = 1; i < n; ++i) e[i - 1] = e[i];
  e[n - 1] = 0.0;

  double shift = 0.0;
  double norm = 0.0;
  for (std::size_t l = 0; l < n; ++l) {
    norm = std::max(norm, std::fabs(d[l]) + std::fabs(e[l]));
    for (int iteration = 0;; ++iteration) {
      // The first negligible subdiagonal element at or after l splits off
      // the block l..m; e[n-1] = 0 ends the search.
      std::size_t m = l;
      while (m + 1 < n && std::fabs(e[m]) > tol * norm) ++m;
      if (m == l) break;
      if (iteration == max_iterations) return static_cast<int>(l) + 1;

      // Wilkinson-type shift from the leading 2 x 2 block.
      double g = d[l];
      double p = (d[l + 1] - g) / (2.0 * e[l]);
      double r = std::hypot(p, 1.0);
      if (p < 0) r = -r;
      d[l] = e[l] / (p + r);
      d[l + 1] = e[l] * (p + r);
      const double dl1 = d[l + 1];
      double h = g - d[l];
      for (std::size_t i = l + 2; i < n; ++i) d[i] -= h;
      shift += h;

      // Chase the bulge from m up to l with plane rotations.
      p = d[m];
      double c = 1.0, c2 = 1.0, c3 = 1.0;
      const double el1 = e[l + 1];
      double s = 0.0, s2 = 0.0;
      for (std::size_t i = m; i-- > l;) {
        c3 = c2;
        c2 = c;
        s2 = s;
        g = c * e[i];
        h = c * p;
        r = std::hypot(p, e[i]);
        e[i + 1] = s * r;
        s = e[i] / r;
        c = p / r;
        p = c * d[i] - s * g;
        d[i + 1] = h + s * (c * g + s * d[i]);
        for (std::size_t k = 0; k < n; ++k) {
          h = V(k, i + 1);
          V(k, i + 1) = s * V(k, i) + c * h;
          V(k, i) = c * V(k, i) - s * h;
        }
      }
      p = -s * s2 * c3 * el1 * e[l] / dl1;
      e[l] = s * p;
      d[l] = c * p;
    }
    d[l] += shift;
    e[l] = 0.0;
  }
  return 0;
}

// Eigenvalues into ascending order, their columns of V with them.
void sort_ascending(Square V, std::span<double> d) {
  const std::size_t n = V.n;
  for (std::size_t i = 0; i + 1 < n; ++i) {
    std::size_t k = i;
    for (std::size_t j = i + 1; j < n; ++j)
      if (d[j] < d[k]) k = j;
    if (k == i) continue;
    std::swap(d[i], d[k]);
    for (std::size_t r = 0; r < n; ++r) std::swap(V(r, i), V(r, k));
  }
}

}  // namespace

int symmetric_eigen(std::size_t n, std::span<const double> a, std::span<double> d, std::span<double> z, double tol,
                    int max_iterations) {
  if (n == 0) return 0;
  for (std::size_t k = 0; k < tri_size(n); ++k)
    if (!std::isfinite(a[k])) return static_cast<int>(n) + 1;

  Square V{z.first(n * n), n};
  for (std::size_t i = 0; i < n; ++i)
    for (std::size_t j = 0; j <= i; ++j) V(i, j) = V(j, i) = a[tri(i, j)];

  std::vector<double> diag(n), off(n);
  tridiagonalize(V, diag, off);
  if (int status = tridiagonal_ql(V, diag, off, tol, max_iterations); status != 0) return status;
  std::copy(diag.begin(), diag.end(), d.begin());
  sort_ascending(V, d.first(n));
  return 0;
}

}  // namespace mixed::host
