#include "host/rowreduce.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <vector>

#include "host/vectors.h"

namespace mixed::host {
namespace {

// An orthonormal basis of a growing span, rows of p reals.
class Basis {
 public:
  explicit Basis(std::size_t p) : p_(p) {}

  // x -= Q Q' x, by modified Gram-Schmidt, twice.
  void project_out(std::span<double> x) const {
    for (int pass = 0; pass < 2; ++pass)
      for (std::size_t j = 0; j < size(); ++j) {
        const std::span<const double> q = row(j);
        axpy(-dot_product(q, x), q, x);
      }
  }

  // Adds x / ||x||; x must already be orthogonal to the basis.
  void append(std::span<const double> x) {
    const double norm = euclidean_norm(x);
    for (double v : x) q_.push_back(v / norm);
  }

  std::size_t size() const { return q_.size() / p_; }

 private:
  std::span<const double> row(std::size_t j) const { return {q_.data() + j * p_, p_}; }

  std::size_t p_;
  std::vector<double> q_;
};

// Projects x off the basis and reports whether a part of norm above
// tol * ||x_original|| is left; x holds the remainder.
bool independent_part(const Basis& basis, std::span<double> x, double tol) {
  const double original = euclidean_norm(x);
  basis.project_out(x);
  return euclidean_norm(x) > tol * original;
}

}  // namespace

std::size_t residuals_off_span(std::size_t m, std::size_t k, std::size_t p, std::span<const double> c,
                               std::span<double> t, BitSet& rows, double tol) {
  const double tol_eff = std::max(tol, 100.0 * static_cast<double>(p) * DBL_EPSILON);
  std::vector<double> work(p);

  Basis containing(p);
  for (std::size_t i = 0; i < m; ++i) {
    std::copy_n(c.begin() + i * p, p, work.begin());
    if (independent_part(containing, work, tol_eff)) containing.append(work);
  }

  // Surviving residuals span, with span(C), what the later rows are tested
  // against; their own orthonormal basis is kept apart so that the rows
  // returned are residuals against span(C) only.
  Basis survivors(p);
  for (std::size_t i = 0; i < k; ++i) {
    if (!rows.test(i)) continue;
    const std::span<double> ti = t.subspan(i * p, p);
    const double original = euclidean_norm(ti);
    containing.project_out(ti);
    std::copy(ti.begin(), ti.end(), work.begin());
    survivors.project_out(work);
    if (euclidean_norm(work) > tol_eff * original)
      survivors.append(work);
    else
      rows.reset(i);
  }
  return rows.count(0, k);
}

long eliminate_column(std::size_t k, std::size_t p, std::span<double> r, const BitSet& active, std::size_t col,
                      double tol) {
  long pivot = -1;
  double largest = tol;
  for (std::size_t i = 0; i < k; ++i) {
    const double v = std::fabs(r[i * p + col]);
    if (active.test(i) && v > largest) {
      largest = v;
      pivot = static_cast<long>(i);
    }
  }
  if (pivot < 0) return -1;

  const std::span<const double> rp = r.subspan(static_cast<std::size_t>(pivot) * p, p);
  for (std::size_t i = 0; i < k; ++i) {
    if (!active.test(i) || static_cast<long>(i) == pivot) continue;
    const std::span<double> ri = r.subspan(i * p, p);
    axpy(-ri[col] / rp[col], rp, ri);
    ri[col] = 0.0;
  }
  return pivot;
}

}  // namespace mixed::host
