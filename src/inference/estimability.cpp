#include "inference/estimability.h"

#include <cmath>
#include <vector>

#include "host/vectors.h"

namespace mixed::inference {

bool is_estimable(const estimate::Estimates& est, std::span<const double> l) {
  const std::size_t p = l.size();
  const double norm = host::euclidean_norm(l);
  if (norm == 0.0) return true;
  const std::size_t nbasis = est.estimable_basis.size() / p;
  if (est.non_redundant.size() != p) return false;
  std::vector<double> t(p);
  const std::size_t nout = host::extract_members(l, est.non_redundant, t);
  if (nout != nbasis) return false;
  double residual = 0.0;
  for (std::size_t j = 0; j < p; ++j) {
    double combination = 0.0;
    for (std::size_t m = 0; m < nbasis; ++m) combination += t[m] / norm * est.estimable_basis[m * p + j];
    const double r = l[j] / norm - combination;
    residual += r * r;
  }
  return std::sqrt(residual) <= kEstimableTolerance;
}

}  // namespace mixed::inference
